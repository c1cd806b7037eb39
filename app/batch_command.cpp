#include "batch_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <map>

#include "app/law_files.h"
#include "app/output_places.h"
#include "app/plot_launcher.h"
#include "app/process_guard.h"
#include "app/step_writers.h"
#include "app/study_output.h"
#include "engine/input_table.h"
#include "engine/text_to_number.h"
#include "run/number_text.h"
#include "study/law_warnings.h"

namespace quarnel {

namespace {

constexpr const char* program = "quarnel-batch: ";

// What each name means, with its unit, where the window's caption alone does
// not say it.
std::string input_meaning(const InputInfo& f) {
    static const std::map<std::string, std::string> meaning = {
        {"Am", "sectional area of the matrix, mm2"},
        {"Vf", "fiber volume fraction"},
        {"Af", "sectional area of one fiber, mm2"},
        {"Lf", "fiber length, mm"},
        {"fp0", "load snubbing coefficient, per rad"},
        {"fp1", "its term in lb, per rad per mm (negative: left out)"},
        {"fd0", "displacement snubbing coefficient, per rad"},
        {"fd1", "its term in lb, per rad per mm"},
        {"f_reduction", "strength reduction coefficient, per rad"},
        {"sigma_fu", "fiber rupture strength, MPa"},
        {"crack_xy", "crack angle in x-y, degrees (0-90)"},
        {"crack_zx", "crack angle in z-x, degrees (0-90)"},
        {"kxy", "orientation intensity in x-y"},
        {"theta_r_xy", "principal orientation angle in x-y, degrees"},
        {"kzx", "orientation intensity in z-x"},
        {"theta_r_zx", "principal orientation angle in z-x, degrees"},
        {"Pmax", "model 1: peak pull-out load Pmax, N; model 2: A of A*lb^B"},
        {"delta_max", "model 1: displacement at peak, mm; model 2: B of A*lb^B"},
        {"C", "model 2: C of the displacement at peak C*lb^D, mm"},
        {"D", "model 2: D of C*lb^D"},
        {"division", "Division: 2*division+1 crack-opening steps"},
        {"orientation_weights",
         "classic or exact: the density at each 2-degree cell's centre, or its integral "
         "over the cell"},
        {"weibull_m",
         "Weibull modulus of fiber strength, sigma_fu its scale; empty or 0: every fiber "
         "ruptures at sigma_fu"},
    };
    const auto it = meaning.find(f.member);
    return it == meaning.end() ? f.caption : it->second;
}

std::string help_footer() {
    std::string text =
        "\nNames, units and default texts (TEXT is read as the window reads a field:\n"
        "blanks skipped, the longest leading number taken, \".\" as the decimal point):\n";
    for (const InputInfo& f : input_table()) {
        std::string name = f.member;
        if (f.member == "Pmax") name = "Pmax, A";
        if (f.member == "delta_max") name = "delta_max, B";
        name.resize(std::max<std::size_t>(name.size() + 1, 14), ' ');
        std::string value = f.default_text;
        value.resize(std::max<std::size_t>(value.size() + 1, 9), ' ');
        text += "  " + name + value + input_meaning(f) + "\n";
    }
    return text +
           "  model         1        1 or constant: Constant model; 2 or function-lb: Function lb "
           "model\n"
           "\nExit status:\n"
           "  0    the run finished and every output was written\n"
           "  2    usage error or refused input; no file is written\n"
           "  3    an output (result file, CSV, standard output) failed; standard error says\n"
           "       what each file holds\n" +
           shared_exit_status_help();
}

}  // namespace

void setup_batch_command(CLI::App& app, BatchOptions& o) {
    describe_command(app,
                     "Computes the fiber bridging law from field texts and writes its result "
                     "file.\nNAME=TEXT sets the field of a member name (below); names not given "
                     "keep the\nwindow's default texts.",
                     help_footer());
    add_text_option(app, "-o,--output", o.output, "Result file to write");
    app.get_option("--output")->capture_default_str();
    add_shared_options(app, o.shared, {});
    add_text_option(app, "--save-params", o.save_params,
                    "Write every input of the run as NAME=TEXT lines, for --params");
}

BatchRequest read_batch_options(const BatchOptions& o, const InputFileReader& read_file) {
    BatchRequest r;
    read_shared_options(o.shared, read_file, r.values);
    r.output = o.output;
    r.csv = o.shared.csv;
    r.summary = o.shared.summary;
    r.save_params = o.save_params;
    r.params = o.shared.params;
    r.openings_file = o.shared.openings_file;
    r.json = o.shared.json;
    r.quiet = o.shared.quiet;
    r.plot = o.shared.plot;
    return r;
}

std::variant<BatchRequest, CommandEnd> parse_batch_request(const std::vector<std::string>& args,
                                                           const InputFileReader& read_file) {
    CLI::App app{"", "quarnel-batch"};
    BatchOptions options;
    setup_batch_command(app, options);
    if (auto end = parse_command_line(app, args, "")) return *end;
    try {
        return read_batch_options(options, read_file);
    } catch (const UsageError& e) {
        return CommandEnd{exit_usage, "", program + std::string(e.what()) + "\n"};
    }
}

int run_batch_command(const BatchRequest& request) {
    for (const std::string& note : input_notes(request.values.inputs)) {
        std::cerr << program << note << "\n";
    }
    const std::vector<Place> outputs = {{"the result file", request.output, {}},
                                        {"the CSV", request.csv, {}},
                                        {"the summary", request.summary, {}},
                                        {"the parameter file", request.save_params, {}},
                                        {"the figure", request.plot.plot, {}}};
    SharedOptions given;
    given.params = request.params;
    given.openings_file = request.openings_file;
    const std::vector<Place> inputs = input_places(given);
    if (const auto fault = output_place_fault(outputs, inputs)) {
        std::cerr << program << *fault << "; nothing was written.\n";
        return exit_usage;
    }

    // The figure is drawn from the steps' CSV and the inputs' file: the
    // user's, or scratch ones.
    FigureHandOff figure(request.plot);
    if (const auto failure = figure.prepare()) {
        std::cerr << program << *failure << "; nothing was written.\n";
        return exit_file_error;
    }
    const std::string csv = figure.file(request.csv, "steps.csv");
    const std::string save_params = figure.file(request.save_params, "run.params");

    guard_process_signals();
    LawFilesRequest law;
    law.inputs = request.values.inputs;
    law.openings = request.values.openings;
    law.output = request.output;
    law.csv = csv;
    law.json = request.json;
    law.at = request.values.at;
    law.progress = !request.quiet;
    law.program = program;
    law.criteria = request.values.criteria;
    const MatrixProperties& matrix = request.values.matrix;
    const LawFilesResult result = write_law_files(law, matrix);
    if (result.status != exit_ok) return result.status;

    if (!request.summary.empty()) {
        if (const auto failure =
                write_law_summary(request.summary, result.criteria, matrix, request.values.criteria,
                                  law_orientation_weight_error(request.values.inputs.inputs()))) {
            std::cerr << program << *failure << "\n";
            return exit_file_error;
        }
    }
    if (!save_params.empty()) {
        const InputTexts& in = request.values.inputs;
        if (const auto failure =
                write_text_file(save_params, params_file_text(in.texts, in.model))) {
            std::cerr << program << *failure << "\n";
            return exit_file_error;
        }
    }
    if (!request.quiet) {
        std::FILE* report = request.json ? stderr : stdout;
        std::fprintf(report, "Wrote %s (%d steps).\n", request.output.c_str(), result.rows);
        if (result.rows > 0) {
            std::fprintf(report, "Peak: P = %s N, sigma = %s MPa.\n",
                         fixed_point_text(result.last.P_top, 2).c_str(),
                         fixed_point_text(result.last.sigma_top, 5).c_str());
            std::fputs(criteria_report(result.criteria, request.values.criteria).c_str(), report);
        }
    }
    if (figure.wanted()) {
        std::vector<std::string> args = {csv, "--params", save_params};
        if (matrix.sigma_fc)
            args.insert(args.end(), {"--sigma-fc", shortest_number_text(*matrix.sigma_fc)});
        if (matrix.J_tip) args.insert(args.end(), {"--J-tip", shortest_number_text(*matrix.J_tip)});
        if (!standard_output_flushed(program)) return exit_file_error;
        if (const int status = figure.draw(program, args); status != exit_ok) return status;
        if (!request.quiet) {
            std::fprintf(request.json ? stderr : stdout, "Drew %s.\n", request.plot.plot.c_str());
        }
    }
    if (!standard_output_flushed(program)) return exit_file_error;
    return exit_ok;
}

}  // namespace quarnel
