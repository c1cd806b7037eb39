#include "sweep_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <thread>

#include "app/output_places.h"
#include "app/plot_launcher.h"
#include "app/process_guard.h"
#include "app/step_writers.h"
#include "app/study_output.h"
#include "engine/text_to_number.h"

namespace quarnel {

namespace {

namespace fs = std::filesystem;

constexpr const char* program = "quarnel-batch sweep: ";
constexpr const char* curves_heading = "run,n,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio\n";

std::string help_footer() {
    return "\nNAME is any input name of quarnel-batch (see quarnel-batch --help), model,\n"
           "division, weibull_m and orientation_weights (classic,exact) included. VALUES\n"
           "is v1,v2,... "
           "(field texts), start:stop:count (evenly spaced, both ends included) or\n"
           "start:stop:count:log (geometric, ends above 0).\n"
           "Several --vary give every combination, the first varying slowest.\n"
           "\nExit status:\n"
           "  0    every run was computed and every output written\n"
           "  2    usage error; nothing is written\n"
           "  3    an output failed; standard error says what each file holds\n"
           "  4    some runs were refused (their rows say why); the others were computed\n" +
           shared_exit_status_help();
}

// The name of run r's files in the --files folder: run-00001, with as many
// digits as the largest run number needs (at least 5).
std::string run_file_stem(std::size_t run, std::size_t total) {
    const std::size_t width = std::max<std::size_t>(5, std::to_string(total).size());
    std::string number = std::to_string(run + 1);
    number.insert(0, width - std::min(width, number.size()), '0');
    return "run-" + number;
}

// Whether a file name is one that --files writes: run-DIGITS, an optional
// .fiber-DIGITS, then .p-d or .params.
bool is_run_file_name(const std::string& name) {
    if (name.rfind("run-", 0) != 0) return false;
    std::size_t at = 4;
    const auto digits = [&] {
        const std::size_t from = at;
        while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at;
        return at > from;
    };
    if (!digits()) return false;
    if (name.compare(at, 7, ".fiber-") == 0) {
        at += 7;
        if (!digits()) return false;
    }
    const std::string rest = name.substr(at);
    return rest == ".p-d" || rest == ".params";
}

// Whether an axis holds words rather than numbers (orientation_weights), for
// the summary's cells.
bool is_text_axis(const SweepSpec& spec, std::size_t axis) {
    return spec.targets[axis].member == "orientation_weights";
}

// The sweep's outputs and what each holds so far.
struct SweepOutputs {
    SummaryFile summary;
    LineFile curves;
    long curve_runs = 0;
    long file_runs = 0;
    long json_lines = 0;
    std::size_t written = 0;  // runs whose every output is written
};

// A sweep's figure: the strain-hardening map over two names combined into a
// grid, with both indices; otherwise a family of curves.
bool draws_map(const SweepSpec& spec, bool zip) {
    return spec.axes.size() == 2 && !zip && spec.matrix.sigma_fc && spec.matrix.J_tip;
}

}  // namespace

void setup_sweep_command(CLI::App& app, SweepOptions& o) {
    describe_command(
        app, "Computes the bridging law for every combination of varied inputs, in parallel.",
        help_footer());
    add_repeated_option(app, "--fiber", o.fibers,
                        "A fiber type's NAME=TEXT file (repeatable): sweep over mixes of the "
                        "types, varying a type's inputs as fiberN.NAME",
                        false);
    add_repeated_option(app, "--vary", o.varied,
                        "NAME=VALUES: an input and its values (repeatable)", true);
    SharedOptionSet set;
    set.csv = false;
    set.help = {
        {"--summary",
         "One row per run: varied values, status, message and criteria (CSV; JSON Lines when "
         "the name ends in .jsonl)"},
        {"--json", "One JSON object per run on standard output"},
        {"--quiet", "No progress"},
        {"assignments", "NAME=TEXT for every run"},
    };
    add_shared_options(app, o.shared, set);
    app.add_flag("--zip", o.zip, "Pair the i-th values of every --vary instead of combining");
    add_text_option(app, "--jobs", o.jobs,
                    "Threads to compute on, 1 to 256 (default: the machine's cores)");
    add_text_option(app, "--curves", o.curves,
                    "Every step of every run: run,n,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio");
    add_text_option(app, "--files", o.files,
                    "Folder for run-00001.p-d (the classic result file) and run-00001.params");
}

SweepRequest read_sweep_options(const SweepOptions& o, const InputFileReader& read_file) {
    SweepRequest r;
    r.options = o.shared;
    r.curves = o.curves;
    r.files = o.files;
    r.zip = o.zip;
    r.jobs = o.jobs.empty()
                 ? static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 256u))
                 : static_cast<int>(option_count(o.jobs, "--jobs", 1, 256));
    SharedValues base;
    const bool mix = !o.fibers.empty();
    if (mix) base.inputs.model = 0;
    read_shared_options(o.shared, read_file, base);
    if (mix) {
        check_shared_names(base.inputs, base.inputs.model != 0, "the command line");
        for (const std::string& path : o.fibers)
            r.fibers.push_back(read_fiber_file(path, read_file));
        base.inputs.model = 1;
    }
    r.at = base.at;
    r.notes = ignored_character_notes(base.inputs);
    SweepSpec& spec = r.spec;
    spec.base = mix ? shared_inputs_of(base.inputs.inputs()) : base.inputs.inputs();
    spec.fibers = fiber_input_sets(r.fibers);
    spec.zip = o.zip;
    spec.openings = base.openings;
    spec.matrix = base.matrix;
    spec.criteria = base.criteria;
    spec.keep_laws = !o.files.empty();
    try {
        for (const std::string& v : o.varied) {
            SweepVaried varied = parse_varied_input(v, r.fibers.size());
            // Its texts are words, not numbers read in part.
            if (varied.target.member != "orientation_weights") {
                for (std::string& note : axis_notes(varied.axis)) r.notes.push_back(note);
            }
            spec.axes.push_back(std::move(varied.axis));
            spec.targets.push_back(std::move(varied.target));
        }
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--vary ") + e.what());
    }
    check_plot_summary(o.shared);
    spec.keep_steps = !o.curves.empty() || (base.plot && !draws_map(spec, o.zip));
    try {
        (void)sweep_plan(spec);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
    return r;
}

int run_sweep_command(const SweepRequest& request) {
    for (const std::string& note : request.notes) std::cerr << program << note << "\n";
    const SweepSpec& spec = request.spec;
    const SweepPlan plan = sweep_plan(spec);
    const std::size_t total = plan.runs();
    // The figure is drawn from the summary and, for curves, the steps: the
    // user's files or scratch ones.
    FigureHandOff figure(request.options.plot);
    const bool map = draws_map(spec, request.zip);
    SharedOptions o = request.options;
    std::string curves_path = request.curves;

    std::vector<Place> inputs = input_places(o);
    for (const FiberFile& f : request.fibers) inputs.push_back({"the file of --fiber", f.path, {}});
    const std::vector<Place> outputs = {{"--summary", o.summary, {}},
                                        {"--curves", curves_path, {}},
                                        {"--files", request.files, is_run_file_name},
                                        {"--plot", o.plot.plot, {}}};
    if (const auto fault = output_place_fault(outputs, inputs)) {
        std::cerr << program << *fault << "; nothing was written.\n";
        return exit_usage;
    }

    // The summary's columns: the run, the varied values, the status, then the
    // criteria.
    std::vector<std::string> columns = {"run"};
    std::vector<bool> numeric = {true};
    for (std::size_t a = 0; a < spec.axes.size(); ++a) {
        columns.push_back(spec.axes[a].name);
        numeric.push_back(!is_text_axis(spec, a));
    }
    columns.insert(columns.end(), {"status", "message"});
    numeric.insert(numeric.end(), {false, false});
    for (const std::string& c : criteria_columns(spec.matrix, spec.criteria)) {
        columns.push_back(c);
        numeric.push_back(!is_verdict_column(c));
    }
    columns.push_back(orientation_weight_column);
    numeric.push_back(true);

    if (const auto failure = figure.prepare()) {
        std::cerr << program << *failure << "; nothing was written.\n";
        return exit_file_error;
    }
    o.summary = figure.file(request.options.summary, "summary.csv");
    if (!map) curves_path = figure.file(request.curves, "curves.csv");
    SweepOutputs out;
    const auto fail = [&](const std::string& message) {
        std::cerr << program << message << "\n";
        return exit_file_error;
    };
    // The folder first: a folder that cannot be made leaves the files untouched.
    if (!request.files.empty()) {
        if (const auto failure = make_output_folder(request.files)) return fail(*failure);
    }
    if (!o.summary.empty()) {
        if (const auto f = out.summary.open(o.summary, columns)) {
            return fail("cannot create " + o.summary + ": " + f->description);
        }
    }
    if (!curves_path.empty()) {
        std::optional<FileFailure> f = out.curves.open(curves_path);
        if (!f) f = out.curves.write_line(curves_heading);
        if (f) return fail("cannot create " + curves_path + ": " + f->description);
    }

    long refused = 0;
    std::set<std::string> warned;  // each distinct warning once, however many runs give it
    std::optional<std::string> failure;
    ProgressLine progress(!o.quiet);
    const auto started = std::chrono::steady_clock::now();
    const ClockReading clock = request.at ? *request.at : local_clock_now();
    const auto consume = [&](SweepRunResult&& run) {
        std::vector<std::string> cells = {std::to_string(run.run + 1)};
        for (std::size_t a = 0; a < spec.axes.size(); ++a) {
            cells.push_back(is_text_axis(spec, a)
                                ? std::get<std::string>(spec.axes[a].value(run.at[a]))
                                : shortest_number_text(spec.axes[a].number(run.at[a])));
        }
        for (const std::string& warning : run.warnings) {
            if (!warned.insert(warning).second) continue;
            progress.finish();
            std::cerr << program << warning << "\n";
        }
        if (run.refused()) {
            ++refused;
            cells.push_back("refused");
            cells.push_back(mix_refusal_text(request.fibers, *run.refusal));
            cells.resize(columns.size());
        } else {
            cells.push_back("ok");
            // A run without criteria says why; its numbers stay empty.
            cells.push_back(run.criteria.available() ? ""
                                                     : "no criteria: " + run.criteria.why_none);
            for (std::string& c : criteria_cells(run.criteria, spec.matrix, spec.criteria)) {
                cells.push_back(std::move(c));
            }
            cells.push_back(number_cell(run.orientation_weight_error));
        }
        if (out.summary.is_open()) {
            if (const auto f = out.summary.write_row(cells, numeric)) {
                failure = "writing " + o.summary + " failed: " + f->description;
                return false;
            }
        }
        if (out.curves.is_open() && !run.refused()) {
            std::string rows;
            const std::string prefix = std::to_string(run.run + 1) + ",";
            for (const StepValues& s : run.steps) {
                rows += prefix + std::to_string(s.n) + "," + shortest_number_text(s.Wcr) + "," +
                        shortest_number_text(s.P) + "," + shortest_number_text(s.sigma) + "," +
                        shortest_number_text(s.effective_fiber_ratio) + "\n";
            }
            // A run's rows go out in one write, so that a stop leaves whole runs.
            if (const auto f = out.curves.write_line(rows)) {
                failure = "writing " + curves_path + " failed: " + f->description;
                return false;
            }
            ++out.curve_runs;
        }
        for (std::size_t l = 0; l < run.laws.size(); ++l) {
            const SweepLaw& law = run.laws[l];
            const std::string stem =
                (fs::path(request.files) / run_file_stem(run.run, total)).string() +
                (spec.is_mix() ? ".fiber-" + std::to_string(l + 1) : "");
            failure = write_text_file(stem + ".params",
                                      params_file_text(law.inputs, law.calculation.model));
            CalculationInputs header = law.calculation;
            header.data_file_name = stem + ".p-d";
            if (!failure)
                failure = write_result_file(header.data_file_name, header, law.steps, clock);
            if (failure) return false;
        }
        if (!run.laws.empty()) ++out.file_runs;
        if (o.json) {
            std::string line = "{";
            for (std::size_t c = 0; c < columns.size(); ++c) {
                line += (c == 0 ? "" : ",") + json_string(columns[c]) + ":" +
                        json_value(columns[c], cells[c], numeric[c]);
            }
            std::string error;
            if (!write_standard_output(line + "}\n", error)) {
                failure = error;
                return false;
            }
            ++out.json_lines;
        }
        ++out.written;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double rate = seconds > 0 ? static_cast<double>(out.written) / seconds : 0;
        char text[96];
        std::snprintf(text, sizeof text, "%zu/%zu runs, %.1f runs/s, %.0f s left", out.written,
                      total, rate,
                      rate > 0 ? static_cast<double>(total - out.written) / rate : 0.0);
        progress.show(text, out.written == total);
        return true;
    };

    guard_process_signals();
    run_sweep(spec, plan, 0, total, request.jobs, consume,
              [] { return ending_signal_number() != 0; });
    progress.finish();

    if (out.summary.is_open()) {
        if (auto f = out.summary.close(); f && !failure) {
            failure = "closing " + o.summary + " failed: " + f->description;
        }
    }
    if (out.curves.is_open()) {
        if (auto f = out.curves.close(); f && !failure) {
            failure = "closing " + curves_path + " failed: " + f->description;
        }
    }
    const auto held = [&] {
        std::vector<std::string> parts = {std::to_string(out.written) + " of " +
                                          std::to_string(total) + " runs were written whole"};
        if (!o.summary.empty())
            parts.push_back(o.summary + " holds " + rows_text(out.summary.rows()));
        if (!curves_path.empty()) {
            parts.push_back(curves_path + " holds the steps of " + std::to_string(out.curve_runs) +
                            (out.curve_runs == 1 ? " run" : " runs"));
        }
        if (!request.files.empty()) {
            parts.push_back(request.files + " holds the files of " + std::to_string(out.file_runs) +
                            (out.file_runs == 1 ? " run" : " runs"));
        }
        if (o.json) {
            parts.push_back("standard output holds " + std::to_string(out.json_lines) +
                            (out.json_lines == 1 ? " JSON line" : " JSON lines"));
        }
        std::string text = parts[0];
        if (parts.size() > 1) {
            text += "; " + sentence(std::vector<std::string>(parts.begin() + 1, parts.end()));
            return text;
        }
        return text + ".";
    };
    if (failure) {
        std::cerr << program << *failure << "; " << held() << "\n";
        return exit_file_error;
    }
    if (const int s = ending_signal_number(); s != 0 && out.written < total) {
        std::cerr << program << "stopped by " << signal_name(s) << ": " << held() << "\n";
        return exit_signal_base + s;
    }
    if (!o.quiet) {
        std::FILE* report = o.json ? stderr : stdout;
        std::fprintf(report, "%zu runs: %zu computed, %ld refused.\n", total,
                     total - static_cast<std::size_t>(refused), refused);
    }
    if (figure.wanted()) {
        std::vector<std::string> args = {o.summary};
        if (!map) args.push_back(curves_path);
        args.insert(args.end(), {"--kind", map ? "map" : "sweep"});
        if (spec.criteria.psh_margins) {
            args.insert(
                args.end(),
                {"--psh-margins", shortest_number_text(spec.criteria.psh_margins->strength) + "," +
                                      shortest_number_text(spec.criteria.psh_margins->energy)});
        }
        if (!standard_output_flushed(program)) return exit_file_error;
        if (const int status = figure.draw(program, args); status != exit_ok) return status;
        if (!o.quiet) std::fprintf(o.json ? stderr : stdout, "Drew %s.\n", o.plot.plot.c_str());
    }
    if (!standard_output_flushed(program)) return exit_file_error;
    return refused > 0 ? exit_some_refused : exit_ok;
}

}  // namespace quarnel
