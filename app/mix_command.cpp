#include "mix_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <deque>
#include <iostream>

#include "app/output_places.h"
#include "app/plot_launcher.h"
#include "app/process_guard.h"
#include "app/step_writers.h"
#include "app/study_output.h"
#include "run/file_paths.h"
#include "run/number_text.h"
#include "study/converged_criteria.h"
#include "study/law_warnings.h"

namespace quarnel {

namespace {

constexpr const char* program = "quarnel-batch mix: ";

std::string fiber_result_file_name(std::size_t fiber) {
    return "fiber-" + std::to_string(fiber) + ".p-d";
}

std::string help_footer() {
    return "\nShared inputs (NAME=TEXT or --params): Am crack_xy crack_zx division.\n"
           "Inputs of a fiber type (its --fiber file, NAME=TEXT lines): Vf Af Lf fp0 fp1 fd0\n"
           "fd1 f_reduction sigma_fu kxy theta_r_xy kzx theta_r_zx Pmax|A delta_max|B C D\n"
           "weibull_m orientation_weights model. Names not given take the window's default\n"
           "texts (quarnel-batch --help).\n"
           "\nThe openings are those of --openings, or else the Division scheme of the type\n"
           "with the largest Lf (the first on a tie). The mix's P is the sum of the types'\n"
           "P in the order of the --fiber options, sigma = P / Am.\n"
           "\nExit status:\n"
           "  0    the mix was computed and every output was written\n"
           "  2    usage error or refused input; no file is written\n"
           "  3    an output (CSV, summary, result file, standard output) failed; standard\n"
           "       error says what each file holds\n" +
           shared_exit_status_help();
}

std::string openings_text(const MixRequest& request, const MixRun& mix) {
    const std::string count =
        std::to_string(mix.openings.size()) + (mix.openings.size() == 1 ? " opening" : " openings");
    if (mix.openings_fiber == 0) return count + " given";
    return count + " of the Division scheme of fiber " + std::to_string(mix.openings_fiber) + " (" +
           request.fibers[mix.openings_fiber - 1].path + ")";
}

// The mix's outputs written step by step; after a failure or a signal,
// what each holds.
struct MixOutputs {
    MixOutputs(const MixRequest& request, const MixRun& mix)
        : request(request),
          mix(mix),
          steps(request.options.csv, request.options.json, mix.fibers.size()) {}

    std::optional<std::string> open() {
        if (!request.files.empty()) {
            if (auto failure = make_output_folder(request.files)) return failure;
        }
        if (auto failure = steps.open()) return failure;
        if (request.files.empty()) return std::nullopt;
        const ClockReading clock = request.shared.at ? *request.shared.at : local_clock_now();
        for (std::size_t i = 0; i < mix.fibers.size(); ++i) {
            files.emplace_back(text_of(path_of(request.files) / fiber_result_file_name(i + 1)));
            if (auto failure = files.back().open(mix.fibers[i].inputs, clock)) return failure;
        }
        return std::nullopt;
    }
    std::optional<std::string> write(std::size_t n) {
        std::vector<const StepValues*> types;
        for (const LawRun& fiber : mix.fibers) types.push_back(&fiber.steps[n]);
        if (auto failure = steps.write(mix.steps[n], types)) return failure;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (auto failure = files[i].write(mix.fibers[i].steps[n])) return failure;
        }
        return std::nullopt;
    }
    std::optional<std::string> close() {
        std::optional<std::string> failure = steps.close();
        for (ResultFileOutput& file : files) {
            const auto closing = file.close();
            if (!failure) failure = closing;
        }
        return failure;
    }
    std::string left_behind() const {
        std::vector<std::string> parts = steps.held();
        if (!request.files.empty()) {
            for (std::size_t i = 0; i < mix.fibers.size(); ++i) {
                parts.push_back(i < files.size() ? files[i].held()
                                                 : text_of(path_of(request.files) /
                                                           fiber_result_file_name(i + 1)) +
                                                       " was not created");
            }
        }
        if (!request.options.summary.empty()) {
            parts.push_back(request.options.summary + " was not written");
        }
        return sentence(parts);
    }

    const MixRequest& request;
    const MixRun& mix;
    StepWriter steps;
    std::deque<ResultFileOutput> files;  // not moved as it grows: files are not movable
};

}  // namespace

void setup_mix_command(CLI::App& app, MixOptions& o) {
    describe_command(app,
                     "Computes the bridging law of a hybrid mix: the fiber types of the --fiber "
                     "files\nbridging one crack. NAME=TEXT sets a shared input.",
                     help_footer());
    add_repeated_option(app, "--fiber", o.fibers,
                        "File of one fiber type's NAME=TEXT lines, as --params takes them; once "
                        "per type, in order",
                        true);
    SharedOptionSet set;
    set.help = {
        {"--params",
         "File of NAME=TEXT lines of shared inputs; names on the command line override it"},
        {"--csv", "Write the steps as UTF-8 CSV, the mix's values and each type's P and ratio"},
        {"--summary", "Write the mix's criteria: CSV, or JSON Lines for a name ending in .jsonl"},
        {"--quiet", "No summary at the end"},
        {"assignments", "NAME=TEXT of a shared input"},
    };
    add_shared_options(app, o.shared, set);
    add_text_option(app, "--files", o.files,
                    "Folder for one result file per type at the mix's openings, fiber-1.p-d, ...; "
                    "created when missing");
}

MixRequest read_mix_options(const MixOptions& o, const InputFileReader& read_file) {
    MixRequest r;
    r.options = o.shared;
    r.files = o.files;
    // The model's 0, which no text reads as, tells whether one was given.
    r.shared.inputs.model = 0;
    SharedOptions params_only;
    params_only.params = o.shared.params;
    read_input_options(params_only, read_file, r.shared.inputs);
    if (!o.shared.params.empty()) {
        check_shared_names(r.shared.inputs, r.shared.inputs.model != 0, o.shared.params);
    }
    SharedOptions rest = o.shared;
    rest.params.clear();
    read_shared_options(rest, read_file, r.shared);
    check_shared_names(r.shared.inputs, r.shared.inputs.model != 0, "the command line");
    r.shared.inputs.model = 1;
    for (const std::string& path : o.fibers) r.fibers.push_back(read_fiber_file(path, read_file));
    return r;
}

int run_mix_command(const MixRequest& request) {
    for (const FiberFile& fiber : request.fibers) {
        for (const std::string& note : input_notes(fiber.inputs)) {
            std::cerr << program << fiber.path << ": " << note << "\n";
        }
    }
    for (const std::string& note : ignored_character_notes(request.shared.inputs)) {
        std::cerr << program << note << "\n";
    }
    const SharedOptions& o = request.options;
    std::vector<Place> outputs = {
        {"--csv", o.csv, {}}, {"--summary", o.summary, {}}, {"--plot", o.plot.plot, {}}};
    std::vector<Place> inputs = input_places(o);
    for (const FiberFile& f : request.fibers) inputs.push_back({"the file of --fiber", f.path, {}});
    if (!request.files.empty()) {
        const std::size_t types = request.fibers.size();
        outputs.push_back({"--files", request.files, [types](const std::string& name) {
                               for (std::size_t i = 1; i <= types; ++i) {
                                   if (name == fiber_result_file_name(i)) return true;
                               }
                               return false;
                           }});
    }
    if (const auto fault = output_place_fault(outputs, inputs)) {
        std::cerr << program << *fault << "; nothing was written.\n";
        return exit_usage;
    }

    guard_process_signals();
    const std::vector<InputSet> fibers = fiber_input_sets(request.fibers);
    const InputSet shared = shared_inputs_of(request.shared.inputs.inputs());
    MixScratch scratch;
    const MixRun mix = compute_mix(fibers, shared, request.shared.openings, scratch);
    if (mix.refused()) {
        std::cerr << program << mix_refusal_text(request.fibers, *mix.refusal) << "\n";
        return exit_usage;
    }
    if (const int s = ending_signal_number(); s != 0) {
        std::cerr << program << "stopped by " << signal_name(s) << ": no file was written.\n";
        return exit_signal_base + s;
    }

    // The figure is drawn from the steps' CSV: the user's or a scratch one.
    FigureHandOff figure(o.plot);
    if (const auto prepared = figure.prepare()) {
        std::cerr << program << *prepared << "; nothing was written.\n";
        return exit_file_error;
    }
    MixRequest written = request;
    written.options.csv = figure.file(o.csv, "steps.csv");
    MixOutputs out(written, mix);
    std::optional<std::string> failure = out.open();
    for (std::size_t n = 0; !failure && n < mix.steps.size() && ending_signal_number() == 0; ++n) {
        failure = out.write(n);
    }
    const auto closing = out.close();
    if (!failure) failure = closing;
    if (failure) {
        std::cerr << program << *failure << "\n" << program << out.left_behind() << "\n";
        return exit_file_error;
    }
    if (const int s = ending_signal_number(); s != 0) {
        std::cerr << program << "stopped by " << signal_name(s) << ": " << out.left_behind()
                  << "\n";
        standard_output_flushed(program);
        return exit_signal_base + s;
    }

    const MatrixProperties& matrix = request.shared.matrix;
    const CriteriaSettings& settings = request.shared.criteria;
    const LawCriteria criteria =
        criteria_of_mix(fibers, shared, mix.steps, matrix, settings, scratch);
    if (!o.summary.empty()) {
        if (const auto summary_failure =
                write_law_summary(o.summary, criteria, matrix, settings,
                                  mix_orientation_weight_error(fibers, shared))) {
            std::cerr << program << *summary_failure << "\n";
            return exit_file_error;
        }
    }
    if (!o.quiet) {
        std::FILE* report = o.json ? stderr : stdout;
        std::fprintf(report, "Mix of %zu fiber %s at %s.\n", mix.fibers.size(),
                     mix.fibers.size() == 1 ? "type" : "types",
                     openings_text(request, mix).c_str());
        if (!mix.steps.empty()) {
            std::fprintf(report, "Peak: P = %s N, sigma = %s MPa.\n",
                         fixed_point_text(mix.steps.back().P_top, 2).c_str(),
                         fixed_point_text(mix.steps.back().sigma_top, 5).c_str());
            std::fputs(criteria_report(criteria, settings).c_str(), report);
        }
    }
    if (figure.wanted()) {
        if (!standard_output_flushed(program)) return exit_file_error;
        if (const int status = figure.draw(program, {written.options.csv, "--kind", "mix"});
            status != exit_ok) {
            return status;
        }
        if (!o.quiet) std::fprintf(o.json ? stderr : stdout, "Drew %s.\n", o.plot.plot.c_str());
    }
    if (!standard_output_flushed(program)) return exit_file_error;
    return exit_ok;
}

}  // namespace quarnel
