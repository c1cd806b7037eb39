#include "study_runner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <set>

#include "app/plot_launcher.h"
#include "app/process_guard.h"
#include "app/step_writers.h"
#include "app/study_output.h"
#include "engine/text_to_number.h"
#include "run/file_paths.h"

namespace quarnel {

namespace {

constexpr const char* curves_heading = "run,n,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio\n";

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

}  // namespace

bool draws_map(const SweepSpec& spec) {
    return spec.axes.size() == 2 && !spec.zip && spec.matrix.sigma_fc && spec.matrix.J_tip;
}

void finish_study_options(SweepSpec& study, const SharedOptions& shared, bool curves, bool plot) {
    check_plot_summary(shared);
    study.keep_steps = curves || (plot && !draws_map(study));
    try {
        (void)sweep_plan(study);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
}

int run_study(const StudyJob& request, const StudyExtras& extras) {
    const std::string& program = request.program;
    for (const std::string& note : request.notes) std::cerr << program << note << "\n";
    const SweepSpec& spec = request.study;
    const SweepPlan plan = sweep_plan(spec);
    const std::size_t total = plan.runs();
    // The figure is drawn from the summary and, for curves, the steps: the
    // user's files or scratch ones.
    FigureHandOff figure(request.options.plot);
    const bool map = draws_map(spec);
    SharedOptions o = request.options;
    std::string curves_path = request.curves;

    std::vector<Place> inputs = input_places(o);
    for (const FiberFile& f : request.fibers) inputs.push_back({"the file of --fiber", f.path, {}});
    inputs.insert(inputs.end(), request.inputs.begin(), request.inputs.end());
    std::vector<Place> outputs = {{"--summary", o.summary, {}},
                                  {"--curves", request.curves, {}},
                                  {"--files", request.files, is_run_file_name},
                                  {"--plot", o.plot.plot, {}}};
    outputs.insert(outputs.end(), extras.outputs.begin(), extras.outputs.end());
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
    const MatrixProperties matrix = sweep_matrix(spec);
    for (const std::string& c : criteria_columns(matrix, spec.criteria)) {
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
    if (extras.open) {
        if (const auto failure = extras.open()) return fail(*failure);
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
            for (std::string& c : criteria_cells(run.criteria, matrix, spec.criteria)) {
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
                text_of(path_of(request.files) / run_file_stem(run.run, total)) +
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
        if (extras.written) extras.written(run);
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
    if (extras.finish) {
        if (auto f = extras.finish(); f && !failure) failure = std::move(f);
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
        if (extras.held) {
            for (std::string& part : extras.held()) parts.push_back(std::move(part));
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
        if (extras.report) extras.report(report);
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
