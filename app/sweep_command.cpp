#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <thread>

#include "batch_command.h"
#include "engine/text_to_number.h"
#include "mix_command.h"
#include "run/input_fields.h"
#include "run/result_file.h"
#include "study/criteria.h"
#include "study/fiber_mix.h"
#include "study/law_run.h"
#include "study/sweep.h"
#include "study/sweep_study.h"
#include "study_commands.h"
#include "study_output.h"

namespace quarnel {

namespace {

namespace fs = std::filesystem;

constexpr const char* curves_heading = "run,n,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio\n";

struct SweepRequest {
    BatchRequest base;  // defaults, then --params, then NAME=TEXT
    std::vector<SweepAxis> axes;
    std::vector<SweepTarget> targets;  // where each axis's values go
    bool zip = false;
    int jobs = 1;
    std::string summary;
    std::string curves;
    std::string files;
    bool json = false;
    bool quiet = false;
    MatrixProperties matrix;
    std::optional<ClockReading> at;
    // With --fiber, the sweep is over mixes of these types: base then holds
    // the shared inputs only.
    MixRequest mix;
    bool is_mix() const { return !mix.fibers.empty(); }
};

std::string sweep_help_footer() {
    return "\nNAME is any input name of quarnel-batch (see quarnel-batch --help), model and\n"
           "division included. VALUES is v1,v2,... (field texts), start:stop:count (evenly\n"
           "spaced, both ends included) or start:stop:count:log (geometric, ends above 0).\n"
           "Several --vary give every combination, the first varying slowest.\n"
           "\nExit status:\n"
           "  0    every run was computed and every output written\n"
           "  2    usage error; nothing is written\n"
           "  3    an output failed; standard error says what each file holds\n"
           "  4    some runs were refused (their rows say why); the others were computed\n"
           "  130  stopped by SIGINT after the runs under way (129 SIGHUP, 143 SIGTERM)\n";
}

std::variant<SweepRequest, BatchParseEnd> parse_sweep_request(
    const std::vector<std::string>& args) {
    CLI::App app{"Computes the bridging law for every combination of varied inputs, in parallel.",
                 "quarnel-batch sweep"};
    app.footer(sweep_help_footer());
    SweepRequest request;
    std::string params;
    std::vector<std::string> assignments;
    std::vector<std::string> varied;
    std::string openings;
    std::string openings_file;
    std::string at;
    std::optional<double> sigma_fc;
    std::optional<double> J_tip;
    request.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::string> fiber_files;
    app.add_option("--params", params, "File of NAME=TEXT lines, as for a single run");
    app.add_option("--fiber", fiber_files,
                   "A fiber type's NAME=TEXT file (repeatable): sweep over mixes of the types, "
                   "varying a type's inputs as fiberN.NAME")
        ->allow_extra_args(false);
    app.add_option("--vary", varied, "NAME=VALUES: an input and its values (repeatable)")
        ->required()
        ->allow_extra_args(false);
    app.add_flag("--zip", request.zip, "Pair the i-th values of every --vary instead of combining");
    app.add_option("--jobs", request.jobs, "Threads to compute on (default: the machine's cores)")
        ->check(CLI::Range(1, 256));
    app.add_option("--summary", request.summary,
                   "One row per run: varied values, status, message and criteria (CSV; JSON "
                   "Lines when the name ends in .jsonl)");
    app.add_option("--curves", request.curves,
                   "Every step of every run: run,n,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio");
    app.add_option("--files", request.files,
                   "Folder for run-00001.p-d (the classic result file) and run-00001.params");
    app.add_flag("--json", request.json, "One JSON object per run on standard output");
    app.add_option("--sigma-fc", sigma_fc, "First-cracking strength of the matrix, MPa");
    app.add_option("--J-tip", J_tip, "Crack-tip toughness of the matrix, J/m2");
    auto* list_option = app.add_option("--openings", openings,
                                       "Compute every law at these openings (mm), comma-separated");
    app.add_option("--openings-file", openings_file, "Openings from a file, one per line")
        ->excludes(list_option);
    app.add_option("--at", at, "Clock of the result files' headers, \"YYYY-MM-DD hh:mm:ss\"");
    app.add_flag("--quiet", request.quiet, "No progress");
    app.add_option("assignments", assignments, "NAME=TEXT for every run");
    if (auto end = parse_command_line(app, args, "quarnel-batch sweep: ")) return *end;
    try {
        // The inputs common to every run are read as a single run reads them.
        std::vector<std::string> single;
        if (!params.empty()) single = {"--params", params};
        single.insert(single.end(), assignments.begin(), assignments.end());
        if (!openings.empty()) single.insert(single.end(), {"--openings", openings});
        if (!openings_file.empty()) single.insert(single.end(), {"--openings-file", openings_file});
        if (!at.empty()) single.insert(single.end(), {"--at", at});
        auto base = parse_batch_request(single);
        if (auto* end = std::get_if<BatchParseEnd>(&base)) {
            end->error = "quarnel-batch sweep:" + end->error.substr(end->error.find(':') + 1);
            return *end;
        }
        request.base = std::get<BatchRequest>(base);
        request.at = request.base.at;
        for (const std::string& file : fiber_files) {
            request.mix.fibers.push_back(read_fiber_file(file));
        }
        if (request.is_mix()) {
            for (const auto& [member, name] : request.base.names) {
                if (!is_shared_mix_input(member)) {
                    throw BatchUsageError("\"" + name +
                                          "\" is an input of a fiber type: give it in its --fiber "
                                          "file or vary it as fiberN." +
                                          name);
                }
            }
            if (request.base.model != 1) {
                throw BatchUsageError(
                    "the model is an input of a fiber type: give it in its --fiber "
                    "file");
            }
            request.mix.shared = request.base;
        }
        const std::size_t fibers = request.mix.fibers.size();
        for (const std::string& v : varied) {
            SweepVaried one;
            try {
                one = parse_varied_input(v, fibers);
            } catch (const std::invalid_argument& e) {
                throw BatchUsageError(std::string("--vary ") + e.what());
            }
            request.axes.push_back(std::move(one.axis));
            request.targets.push_back(one.target);
        }
        if (sigma_fc && !(*sigma_fc > 0 && std::isfinite(*sigma_fc))) {
            throw BatchUsageError("--sigma-fc must be a finite number above 0");
        }
        if (J_tip && !(*J_tip > 0 && std::isfinite(*J_tip))) {
            throw BatchUsageError("--J-tip must be a finite number above 0");
        }
        request.matrix = {sigma_fc, J_tip};
        if (!request.summary.empty() && !request.curves.empty() &&
            same_file(request.summary, request.curves)) {
            throw BatchUsageError("--summary and --curves name the same file");
        }
    } catch (const BatchUsageError& e) {
        return BatchParseEnd{exit_usage, "",
                             std::string("quarnel-batch sweep: ") + e.what() + "\n"};
    }
    return request;
}

class Progress {
  public:
    Progress(std::size_t total, bool shown) : total_(total), shown_(shown) {}
    ~Progress() { finish(); }
    void update(std::size_t done) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (done != total_ && now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
        const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0;
        std::fprintf(stderr, "\r%zu/%zu runs, %.1f runs/s, %.0f s left   ", done, total_, rate,
                     left);
        dirty_ = true;
    }
    void finish() {
        if (dirty_) std::fprintf(stderr, "\r%60s\r", "");
        dirty_ = false;
    }

  private:
    std::size_t total_;
    bool shown_;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace

int run_sweep_command(const std::vector<std::string>& args) {
    auto parsed = parse_sweep_request(args);
    if (const auto* end = std::get_if<BatchParseEnd>(&parsed)) {
        std::fputs(end->output.c_str(), stdout);
        std::fputs(end->error.c_str(), stderr);
        return std::fflush(stdout) == 0 ? end->status : exit_file_error;
    }
    const SweepRequest& request = std::get<SweepRequest>(parsed);
    SweepSpec spec;
    if (request.is_mix()) {
        spec.base = request.mix.shared_inputs();
        for (const FiberFile& f : request.mix.fibers) spec.fibers.push_back(f.inputs());
    } else {
        spec.base = request.base.texts;
        spec.base["model"] = static_cast<double>(request.base.model);
    }
    spec.axes = request.axes;
    spec.targets = request.targets;
    spec.zip = request.zip;
    spec.openings = request.base.openings;
    spec.matrix = request.matrix;
    spec.keep_steps = !request.curves.empty();
    spec.keep_laws = !request.files.empty();
    std::optional<SweepPlan> plan;
    try {
        plan.emplace(sweep_plan(spec));
    } catch (const std::invalid_argument& e) {
        std::cerr << "quarnel-batch sweep: " << e.what() << "\n";
        return exit_usage;
    }
    const std::size_t total = plan->runs();

    // The summary's columns: the run, the varied values, the status, then the
    // criteria.
    std::vector<std::string> columns = {"run"};
    std::vector<bool> numeric = {true};
    for (const SweepAxis& a : request.axes) {
        columns.push_back(a.name);
        numeric.push_back(true);
    }
    columns.insert(columns.end(), {"status", "message"});
    numeric.insert(numeric.end(), {false, false});
    for (const std::string& c : criteria_columns(request.matrix)) {
        columns.push_back(c);
        numeric.push_back(c != "strain_hardening");
    }

    SummaryFile summary;
    LineFile curves;
    const auto fail = [&](const std::string& message) {
        std::cerr << "quarnel-batch sweep: " << message << "\n";
        return exit_file_error;
    };
    if (!request.summary.empty()) {
        if (const auto f = summary.open(request.summary, columns)) {
            return fail("cannot create " + request.summary + ": " + f->description);
        }
    }
    if (!request.curves.empty()) {
        std::optional<FileFailure> f = curves.open(request.curves);
        if (!f) f = curves.write_line(curves_heading);
        if (f) return fail("cannot create " + request.curves + ": " + f->description);
    }
    if (!request.files.empty()) {
        std::error_code ec;
        fs::create_directories(request.files, ec);
        if (!fs::is_directory(request.files, ec)) {
            return fail("cannot create the folder " + request.files +
                        (ec ? ": " + ec.message() : ""));
        }
    }
    const int name_width = std::max<int>(5, static_cast<int>(std::to_string(total).size()));
    const auto file_stem = [&](std::size_t run) {
        std::string number = std::to_string(run + 1);
        number.insert(0, static_cast<std::size_t>(name_width) - number.size(), '0');
        return (fs::path(request.files) / ("run-" + number)).string();
    };

    long refused = 0;
    std::optional<std::string> failure;
    Progress progress(total, !request.quiet && isatty(fileno(stderr)));
    std::size_t consumed = 0;
    const ClockReading clock = request.at ? *request.at : local_clock_now();
    const std::function<bool(SweepRunResult &&)> consume = [&](SweepRunResult&& run) {
        std::vector<std::string> cells = {std::to_string(run.run + 1)};
        for (std::size_t a = 0; a < request.axes.size(); ++a) {
            cells.push_back(shortest_number_text(request.axes[a].number(run.at[a])));
        }
        if (run.refused()) {
            ++refused;
            cells.push_back("refused");
            // A single law's refusal has no type, and reads as a single run's.
            cells.push_back(mix_refusal_text(request.mix, *run.refusal));
            cells.resize(columns.size());
        } else {
            cells.push_back("ok");
            cells.push_back("");
            for (std::string& c : criteria_cells(run.criteria, request.matrix)) {
                cells.push_back(std::move(c));
            }
        }
        if (summary.is_open()) {
            if (const auto f = summary.write_row(cells, numeric)) {
                failure = "writing " + request.summary + " failed: " + f->description;
                return false;
            }
        }
        if (curves.is_open() && !run.refused()) {
            std::string rows;
            const std::string prefix = std::to_string(run.run + 1) + ",";
            for (const StepValues& s : run.steps) {
                rows += prefix + std::to_string(s.n) + "," + shortest_number_text(s.Wcr) + "," +
                        shortest_number_text(s.P) + "," + shortest_number_text(s.sigma) + "," +
                        shortest_number_text(s.effective_fiber_ratio) + "\n";
            }
            // A run's rows go out in one write, so that a stop leaves whole runs.
            if (const auto f = curves.write_line(rows)) {
                failure = "writing " + request.curves + " failed: " + f->description;
                return false;
            }
        }
        for (std::size_t i = 0; i < run.laws.size(); ++i) {
            const SweepLaw& file = run.laws[i];
            const std::string stem =
                file_stem(run.run) + (request.is_mix() ? ".fiber-" + std::to_string(i + 1) : "");
            LineFile params;
            std::optional<FileFailure> f = params.open(stem + ".params");
            if (!f) f = params.write_line(params_file_text(file.inputs, file.calculation.model));
            const auto closing = params.close();
            if (!f) f = closing;
            if (f) {
                failure = "writing " + stem + ".params failed: " + f->description;
                return false;
            }
            ResultFile result;
            CalculationInputs header_inputs = file.calculation;
            header_inputs.data_file_name = stem + ".p-d";
            f = result.open(header_inputs.data_file_name);
            if (!f) f = result.write_header(header_inputs, clock);
            for (const StepValues& s : file.steps) {
                if (f) break;
                f = result.write_step_row(s.n, s.Wcr, s.P, s.sigma, s.effective_fiber_ratio);
            }
            const auto result_closing = result.close();
            if (!f) f = result_closing;
            if (f) {
                failure = "writing " + header_inputs.data_file_name + " failed: " + f->description;
                return false;
            }
        }
        if (request.json) {
            std::string line = "{";
            for (std::size_t c = 0; c < columns.size(); ++c) {
                line += (c == 0 ? "" : ",") + json_string(columns[c]) + ":" +
                        json_value(columns[c], cells[c], numeric[c]);
            }
            line += "}\n";
            if (std::fputs(line.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
                failure = "writing standard output failed";
                return false;
            }
        }
        ++consumed;
        progress.update(consumed);
        return true;
    };

    catch_ending_signals();
    run_sweep(spec, *plan, 0, total, request.jobs, consume,
              [] { return ending_signal_number() != 0; });
    progress.finish();

    if (summary.is_open()) {
        if (auto f = summary.close(); f && !failure) {
            failure = "closing " + request.summary + " failed: " + f->description;
        }
    }
    if (curves.is_open()) {
        if (auto f = curves.close(); f && !failure) {
            failure = "closing " + request.curves + " failed: " + f->description;
        }
    }
    const auto held = [&] {
        std::string text =
            std::to_string(consumed) + " of " + std::to_string(total) + " runs were written";
        if (!request.summary.empty()) text += "; " + request.summary + " holds their rows";
        return text + ".";
    };
    if (failure) {
        std::cerr << "quarnel-batch sweep: " << *failure << "; " << held() << "\n";
        return exit_file_error;
    }
    if (const int s = ending_signal_number(); s != 0 && consumed < total) {
        std::cerr << "quarnel-batch sweep: stopped by " << signal_name(s) << ": " << held() << "\n";
        return exit_signal_base + s;
    }
    if (!request.quiet) {
        std::FILE* out = request.json ? stderr : stdout;
        std::fprintf(out, "%zu runs: %zu computed, %ld refused.\n", total,
                     total - static_cast<std::size_t>(refused), refused);
    }
    if (std::fflush(stdout) != 0) return fail("writing standard output failed");
    return refused > 0 ? exit_some_refused : exit_ok;
}

}  // namespace quarnel
