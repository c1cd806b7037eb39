#include "mix_command.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "app/study_output.h"
#include "engine/text_to_number.h"
#include "run/input_fields.h"
#include "run/number_text.h"
#include "run/result_file.h"
#include "study_commands.h"

namespace quarnel {

namespace {

namespace fs = std::filesystem;

using UsageError = BatchUsageError;

// The 0 that no model text reads as: a request still holding it after its
// texts were read was not given a model.
constexpr std::int16_t no_model = 0;

}  // namespace

InputSet FiberFile::inputs() const {
    InputSet inputs;
    for (const auto& [member, value] : request.texts) {
        if (is_fiber_input(member)) inputs[member] = value;
    }
    inputs["model"] = static_cast<double>(request.model);
    return inputs;
}

FiberFile read_fiber_file(const std::string& path, const ParamsFileReader& read_file) {
    ParamsFileText file = read_file(path);
    if (!file.text) throw UsageError("--fiber: " + file.error);
    FiberFile fiber;
    fiber.path = path;
    assign_params_text(path, std::move(*file.text), fiber.request);
    for (const auto& [member, name] : fiber.request.names) {
        if (is_shared_mix_input(member)) {
            throw UsageError(path + ": \"" + name +
                             "\" is shared by every fiber type of a mix; give it on the command "
                             "line or with --params");
        }
    }
    return fiber;
}

InputSet MixRequest::shared_inputs() const {
    InputSet inputs;
    for (const std::string& member : shared_mix_members()) inputs[member] = shared.texts.at(member);
    return inputs;
}

std::string fiber_result_file_name(std::size_t fiber) {
    return "fiber-" + std::to_string(fiber) + ".p-d";
}

std::string mix_refusal_text(const MixRequest& request, const MixRefusal& r) {
    const std::string message = refusal_message(r.refusal, r.model);
    if (r.fiber == 0 || r.fiber > request.fibers.size() || r.refusal.member.empty() ||
        is_shared_mix_input(r.refusal.member)) {
        return message;
    }
    const FiberFile& f = request.fibers[r.fiber - 1];
    const auto given = f.request.names.find(r.refusal.member);
    const std::string name = given != f.request.names.end() ? given->second : r.refusal.member;
    return f.path + " (fiber " + std::to_string(r.fiber) + "), " + name + ": " + message;
}

namespace {

std::string help_footer() {
    std::string text =
        "\nShared inputs (NAME=TEXT or --params): Am crack_xy crack_zx division.\n"
        "Inputs of a fiber type (its --fiber file, NAME=TEXT lines): Vf Af Lf fp0 fp1 fd0\n"
        "fd1 f_reduction sigma_fu kxy theta_r_xy kzx theta_r_zx Pmax|A delta_max|B C D\n"
        "model. Names not given take the window's default texts "
        "(quarnel-batch --help).\n"
        "\nThe openings are those of --openings, or else the Division scheme of the type\n"
        "with the largest Lf (the first on a tie). The mix's P is the sum of the types'\n"
        "P in the order of the --fiber options, sigma = P / Am.\n"
        "\nExit status:\n"
        "  0    the mix was computed and every output was written\n"
        "  2    usage error or refused input; no file is written\n"
        "  3    an output (CSV, summary, result file, standard output) failed; standard\n"
        "       error says what each file holds\n"
        "  129  stopped by SIGHUP, 130 by SIGINT, 143 by SIGTERM (128 + the signal's\n"
        "       number); every file is closed with whole rows and lines\n";
    return text;
}

// Shared requests hold no input of a fiber type: `where` names their source.
void check_shared_names(const BatchRequest& shared, const std::string& where) {
    for (const auto& [member, name] : shared.names) {
        if (!is_shared_mix_input(member)) {
            throw UsageError(where + ": \"" + name +
                             "\" is an input of one fiber type; give it in its --fiber file");
        }
    }
    if (shared.model != no_model) {
        throw UsageError(where +
                         ": \"model\" is an input of one fiber type; give it in its "
                         "--fiber file");
    }
}

}  // namespace

std::variant<MixRequest, BatchParseEnd> parse_mix_request(const std::vector<std::string>& args,
                                                          const ParamsFileReader& read_file) {
    CLI::App app{
        "Computes the bridging law of a hybrid mix: the fiber types of the --fiber files\n"
        "bridging one crack. NAME=TEXT sets a shared input.",
        "quarnel-batch mix"};
    app.footer(help_footer());
    MixRequest request;
    std::vector<std::string> fiber_paths;
    std::string params;
    std::string at;
    std::string openings;
    std::string openings_file;
    std::vector<std::string> assignments;
    app.add_option("--fiber", fiber_paths,
                   "File of one fiber type's NAME=TEXT lines, as --params takes them; once per "
                   "type, in order")
        ->required()
        ->allow_extra_args(false);
    app.add_option("--params", params,
                   "File of NAME=TEXT lines of shared inputs; names on the command line override "
                   "it");
    app.add_option("--csv", request.shared.csv,
                   "Write the steps as UTF-8 CSV, the mix's values and each type's P and ratio");
    app.add_flag("--json", request.shared.json,
                 "Print one JSON object per step on standard output");
    app.add_option("--summary", request.summary,
                   "Write the mix's criteria: CSV, or JSON Lines for a name ending in .jsonl");
    app.add_option("--sigma-fc", request.matrix.sigma_fc,
                   "First-cracking strength of the matrix (MPa), for psh_strength");
    app.add_option("--J-tip", request.matrix.J_tip,
                   "Crack-tip toughness of the matrix (J/m2), for psh_energy");
    app.add_option("--files", request.files,
                   "Folder for one result file per type at the mix's openings, fiber-1.p-d, ...; "
                   "created when missing");
    app.add_option("--at", at, "Clock of the result files' header, \"YYYY-MM-DD hh:mm:ss\"");
    app.add_flag("--quiet", request.shared.quiet, "No summary at the end");
    auto* list_option = app.add_option(
        "--openings", openings,
        "Compute the law at these crack openings (mm), comma-separated decimal numbers read "
        "exactly; Division is then not used");
    app.add_option("--openings-file", openings_file,
                   "Compute the law at the openings of a file: one number per line, # starts a "
                   "comment line")
        ->excludes(list_option);
    app.add_option("assignments", assignments, "NAME=TEXT of a shared input");
    if (auto end = parse_command_line(app, args, "quarnel-batch mix: ")) return *end;
    try {
        request.shared.model = no_model;
        if (!params.empty()) {
            ParamsFileText file = read_file(params);
            if (!file.text) throw UsageError("--params: " + file.error);
            assign_params_text(params, std::move(*file.text), request.shared);
            check_shared_names(request.shared, params);
        }
        for (const std::string& a : assignments) assign_input(a, request.shared);
        check_shared_names(request.shared, "the command line");
        request.shared.model = 1;
        for (const std::string& path : fiber_paths) {
            request.fibers.push_back(read_fiber_file(path, read_file));
        }
        if (!at.empty()) request.shared.at = parse_clock(at);
        for (const auto& [option, value] : {std::pair{"--sigma-fc", request.matrix.sigma_fc},
                                            std::pair{"--J-tip", request.matrix.J_tip}}) {
            if (value && !(*value > 0 && std::isfinite(*value))) {
                throw UsageError(std::string(option) + " must be a finite number above 0");
            }
        }
        if (!openings.empty()) {
            try {
                request.shared.openings = parse_openings_list(openings);
            } catch (const std::invalid_argument& e) {
                throw UsageError(std::string("--openings: ") + e.what());
            }
        }
        if (!openings_file.empty()) {
            ParamsFileText file = read_file(openings_file);
            if (!file.text) throw UsageError("--openings-file: " + file.error);
            try {
                request.shared.openings = parse_openings_file_text(*file.text);
            } catch (const std::invalid_argument& e) {
                throw UsageError(openings_file + ": " + e.what());
            }
        }
    } catch (const UsageError& e) {
        return BatchParseEnd{exit_usage, "", "quarnel-batch mix: " + std::string(e.what()) + "\n"};
    }
    return request;
}

namespace {

std::string exact(double x) {
    return shortest_number_text(x);
}

// JSON has no infinity or NaN.
std::string json_number(double x) {
    return std::isfinite(x) ? exact(x) : "null";
}

std::string rows_text(long rows) {
    return std::to_string(rows) + (rows == 1 ? " row" : " rows");
}

// Two of the outputs naming one file, or standard output being one of them.
std::optional<std::string> shared_output(const MixRequest& r, std::size_t fibers) {
    std::vector<std::string> paths;
    if (!r.shared.csv.empty()) paths.push_back(r.shared.csv);
    if (!r.summary.empty()) paths.push_back(r.summary);
    if (!r.files.empty()) {
        for (std::size_t i = 1; i <= fibers; ++i) {
            paths.push_back((fs::path(r.files) / fiber_result_file_name(i)).string());
        }
    }
    for (std::size_t a = 0; a < paths.size(); ++a) {
        for (std::size_t b = a + 1; b < paths.size(); ++b) {
            if (same_file(paths[a], paths[b])) {
                return "two outputs name the same file \"" + paths[b] + "\"";
            }
        }
        if (is_standard_output(paths[a])) {
            return "standard output is the file \"" + paths[a] + "\", which is also an output";
        }
    }
    return std::nullopt;
}

// The mix's outputs, written step by step: each line whole or not at all,
// and after a failure or a signal, a statement of what each holds.
class MixOutputs {
  public:
    MixOutputs(const MixRequest& request, const MixRun& mix) : request_(request), mix_(mix) {}

    // Creates the CSV and the result files with their headings; false, with
    // `failure` set, when one cannot be.
    bool open() {
        if (!request_.shared.csv.empty()) {
            if (const auto f = csv_.open(request_.shared.csv)) {
                return fail("cannot create " + request_.shared.csv + ": " + f->description);
            }
            csv_created_ = true;
            std::string heading = "step,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio";
            for (std::size_t i = 1; i <= mix_.fibers.size(); ++i) {
                const std::string t = std::to_string(i);
                heading += ",P_N_" + t + ",effective_fiber_ratio_" + t;
            }
            if (const auto f = csv_.write_line(heading + "\n")) {
                return fail("writing " + request_.shared.csv + " failed: " + f->description);
            }
        }
        if (request_.files.empty()) return true;
        std::error_code ec;
        fs::create_directories(request_.files, ec);
        if (ec || !fs::is_directory(request_.files)) {
            return fail("cannot create the folder " + request_.files + ": " +
                        (ec ? ec.message() : std::string("a file has that name")));
        }
        const ClockReading clock = request_.shared.at ? *request_.shared.at : local_clock_now();
        for (std::size_t i = 0; i < mix_.fibers.size(); ++i) {
            auto& file = result_files_.emplace_back();
            file.path = (fs::path(request_.files) / fiber_result_file_name(i + 1)).string();
            std::optional<FileFailure> f = file.file.open(file.path);
            if (!f) {
                file.created = true;
                f = file.file.write_header(mix_.fibers[i].inputs, clock);
            }
            if (f) return fail_result_file(file, *f);
            file.headed = true;
        }
        return true;
    }

    // Writes step n to every output; false, with `failure` set, when one fails.
    bool write_step(std::size_t n) {
        const StepValues& s = mix_.steps[n];
        if (csv_.is_open()) {
            std::string row = std::to_string(s.n) + "," + exact(s.Wcr) + "," + exact(s.P) + "," +
                              exact(s.sigma) + "," + exact(s.effective_fiber_ratio);
            for (const LawRun& fiber : mix_.fibers) {
                row += "," + exact(fiber.steps[n].P) + "," +
                       exact(fiber.steps[n].effective_fiber_ratio);
            }
            if (const auto f = csv_.write_line(row + "\n")) {
                return fail("writing " + request_.shared.csv + " failed: " + f->description);
            }
        }
        if (request_.shared.json) {
            std::string line =
                "{\"n\":" + std::to_string(s.n) + ",\"Wcr\":" + json_number(s.Wcr) +
                ",\"P\":" + json_number(s.P) + ",\"sigma\":" + json_number(s.sigma) +
                ",\"effective_fiber_ratio\":" + json_number(s.effective_fiber_ratio) +
                ",\"P_top\":" + json_number(s.P_top) + ",\"sigma_top\":" + json_number(s.sigma_top);
            for (std::size_t i = 0; i < mix_.fibers.size(); ++i) {
                const StepValues& f = mix_.fibers[i].steps[n];
                const std::string t = std::to_string(i + 1);
                line += ",\"P_" + t + "\":" + json_number(f.P) + ",\"effective_fiber_ratio_" + t +
                        "\":" + json_number(f.effective_fiber_ratio);
            }
            line += "}\n";
            errno = 0;
            // Each line goes out whole, so that a signal or a failure leaves
            // whole lines behind.
            if (std::fputs(line.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
                return fail(std::string("writing standard output failed: ") +
                            std::strerror(errno != 0 ? errno : EIO));
            }
            ++json_lines_;
        }
        for (std::size_t i = 0; i < result_files_.size(); ++i) {
            const StepValues& f = mix_.fibers[i].steps[n];
            ResultOutput& file = result_files_[i];
            if (const auto failure =
                    file.file.write_step_row(f.n, f.Wcr, f.P, f.sigma, f.effective_fiber_ratio)) {
                return fail_result_file(file, *failure);
            }
            ++file.rows;
        }
        return true;
    }

    // Closes every file; false, with `failure` set, when a closing failed.
    bool close() {
        bool closed = true;
        if (const auto f = csv_.close()) {
            closed =
                closed && fail("closing " + request_.shared.csv + " failed: " + f->description);
        }
        for (ResultOutput& file : result_files_) {
            if (const auto f = file.file.close()) closed = closed && fail_result_file(file, *f);
        }
        return closed;
    }

    const std::optional<std::string>& failure() const { return failure_; }

    // What the outputs hold, for a mix whose outputs did not finish.
    std::string left_behind() const {
        std::vector<std::string> parts;
        if (!request_.shared.csv.empty()) {
            const std::string& csv = request_.shared.csv;
            parts.push_back(!csv_created_ ? csv + " was not created"
                            : csv_.lines() == 0
                                ? csv + " is empty"
                                : csv + " holds the heading and " + rows_text(csv_.lines() - 1));
        }
        if (request_.shared.json) {
            parts.push_back("standard output holds " + std::to_string(json_lines_) +
                            (json_lines_ == 1 ? " JSON line" : " JSON lines"));
        }
        if (!request_.files.empty()) {
            for (std::size_t i = 0; i < mix_.fibers.size(); ++i) {
                if (i >= result_files_.size() || !result_files_[i].created) {
                    const std::string name =
                        (fs::path(request_.files) / fiber_result_file_name(i + 1)).string();
                    parts.push_back(name + " was not created");
                } else if (!result_files_[i].headed) {
                    parts.push_back(result_files_[i].path + " holds part of the header");
                } else {
                    parts.push_back(result_files_[i].path + " holds the header and " +
                                    rows_text(result_files_[i].rows));
                }
            }
        }
        if (!request_.summary.empty()) parts.push_back(request_.summary + " was not written");
        std::string text;
        for (std::size_t p = 0; p < parts.size(); ++p) {
            text += (p == 0 ? "" : p + 1 == parts.size() ? " and " : ", ") + parts[p];
        }
        return text + ".";
    }

  private:
    struct ResultOutput {
        std::string path;
        ResultFile file;
        bool created = false;
        bool headed = false;
        long rows = 0;
    };

    bool fail(const std::string& what) {
        if (!failure_) failure_ = what;
        return false;
    }
    bool fail_result_file(const ResultOutput& file, const FileFailure& f) {
        return fail(file.path + ": " + file_error_message(f.code) + " " + f.description);
    }

    const MixRequest& request_;
    const MixRun& mix_;
    LineFile csv_;
    bool csv_created_ = false;
    long json_lines_ = 0;
    std::deque<ResultOutput> result_files_;  // not moved as it grows: files are not movable
    std::optional<std::string> failure_;
};

// Flushes standard output; false, with a message, when it failed.
bool standard_output_flushed() {
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
    std::cerr << "quarnel-batch: writing standard output failed: "
              << std::strerror(errno != 0 ? errno : EIO) << "\n";
    return false;
}

std::string openings_text(const MixRequest& request, const MixRun& mix) {
    const std::string count =
        std::to_string(mix.openings.size()) + (mix.openings.size() == 1 ? " opening" : " openings");
    if (mix.openings_fiber == 0) return count + " given";
    return count + " of the Division scheme of fiber " + std::to_string(mix.openings_fiber) + " (" +
           request.fibers[mix.openings_fiber - 1].path + ")";
}

}  // namespace

int run_mix_command(const std::vector<std::string>& args) {
    const auto parsed = parse_mix_request(args);
    if (const auto* end = std::get_if<BatchParseEnd>(&parsed)) {
        std::fputs(end->output.c_str(), stdout);
        std::fputs(end->error.c_str(), stderr);
        if (!standard_output_flushed()) return exit_file_error;
        return end->status;
    }
    const MixRequest& request = std::get<MixRequest>(parsed);
    for (const FiberFile& fiber : request.fibers) {
        for (const std::string& note : ignored_character_notes(fiber.request)) {
            std::cerr << "quarnel-batch: " << fiber.path << ": " << note << "\n";
        }
    }
    for (const std::string& note : ignored_character_notes(request.shared)) {
        std::cerr << "quarnel-batch: " << note << "\n";
    }
    if (const auto shared = shared_output(request, request.fibers.size())) {
        std::cerr << "quarnel-batch: " << *shared << "; nothing was written.\n";
        return exit_usage;
    }

    catch_ending_signals();
    std::vector<InputSet> fibers;
    for (const FiberFile& fiber : request.fibers) fibers.push_back(fiber.inputs());
    const MixRun mix = compute_mix(fibers, request.shared_inputs(), request.shared.openings);
    if (mix.refused()) {
        std::cerr << "quarnel-batch: " << mix_refusal_text(request, *mix.refusal) << "\n";
        return exit_usage;
    }
    if (const int s = ending_signal_number(); s != 0) {
        std::cerr << "quarnel-batch: stopped by " << signal_name(s) << ": no file was written.\n";
        return exit_signal_base + s;
    }

    MixOutputs outputs(request, mix);
    bool written = outputs.open();
    for (std::size_t n = 0; written && n < mix.steps.size() && ending_signal_number() == 0; ++n) {
        written = outputs.write_step(n);
    }
    const bool closed = outputs.close();
    const int signal_number = ending_signal_number();
    if (!written || !closed || signal_number != 0) {
        if (outputs.failure()) {
            std::cerr << "quarnel-batch: " << *outputs.failure() << "\n";
            std::cerr << "quarnel-batch: " << outputs.left_behind() << "\n";
            return exit_file_error;
        }
        std::cerr << "quarnel-batch: stopped by " << signal_name(signal_number) << ": "
                  << outputs.left_behind() << "\n";
        standard_output_flushed();
        return exit_signal_base + signal_number;
    }

    const LawCriteria criteria = law_criteria(mix.steps, request.matrix);
    if (!request.summary.empty()) {
        if (const auto failure = write_law_summary(request.summary, criteria, request.matrix)) {
            std::cerr << "quarnel-batch: " << *failure << "\n";
            return exit_file_error;
        }
    }
    if (!request.shared.quiet) {
        std::FILE* report = request.shared.json ? stderr : stdout;
        std::fprintf(report, "Mix of %zu fiber %s at %s.\n", mix.fibers.size(),
                     mix.fibers.size() == 1 ? "type" : "types",
                     openings_text(request, mix).c_str());
        if (!mix.steps.empty()) {
            std::fprintf(report, "Peak: P = %s N, sigma = %s MPa.\n",
                         fixed_point_text(mix.steps.back().P_top, 2).c_str(),
                         fixed_point_text(mix.steps.back().sigma_top, 5).c_str());
            std::fputs(criteria_report(criteria).c_str(), report);
        }
    }
    if (!standard_output_flushed()) return exit_file_error;
    return exit_ok;
}

}  // namespace quarnel
