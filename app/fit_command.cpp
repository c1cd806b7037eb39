#include "fit_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <sstream>

#include "app/fit_report.h"
#include "app/law_files.h"
#include "app/output_places.h"
#include "app/plot_launcher.h"
#include "app/process_guard.h"
#include "app/step_writers.h"
#include "app/study_output.h"
#include "engine/text_to_number.h"
#include "study/converged_criteria.h"
#include "study/law_run.h"
#include "study/law_warnings.h"
#include "study/measured_curve.h"

namespace quarnel {

namespace {

constexpr const char* program = "quarnel-batch fit: ";

std::string exact(double x) {
    return shortest_number_text(x);
}

std::string help_footer() {
    return "\nThe measured file: two columns, crack opening (mm) and bridging stress (MPa),\n"
           "separated by a comma, a semicolon, a tab or blanks; an optional header row;\n"
           "# comment lines; a decimal comma where the separator is not a comma. A lab\n"
           "file of more columns and metadata lines reads with --columns and --skip.\n"
           "\nThe result: each fitted value with its standard error (SE) and 95 % interval\n"
           "(the law linearised at the optimum), their correlations, RMSE, R2 and the\n"
           "residuals' local scatter, the measured curve's criteria beside the fitted\n"
           "law's (sigma_max, Wcr_peak, J_b_prime, G_b), each start's end, and warnings:\n"
           "values the curve cannot tell apart (|correlation| above 0.95), a value at a\n"
           "bound, a misfit beyond the noise or over a region, starts in different minima.\n"
           "--json adds the keys standard_errors, intervals_95, correlations,\n"
           "undetermined, degrees_of_freedom, t_95, statistics_note, local_scatter,\n"
           "measured_criteria, fitted_criteria, criteria_differences, starts, warnings;\n"
           "--summary adds, after the law's criteria, rmse, r2, local_scatter, NAME,\n"
           "NAME_se, NAME_low_95, NAME_high_95, correlation_NAME_NAME, measured_sigma_max,\n"
           "measured_Wcr_peak, measured_J_b_prime, measured_G_b, sigma_max_difference,\n"
           "Wcr_peak_difference, J_b_prime_difference, G_b_difference, warnings.\n"
           "\nExit status:\n"
           "  0    fitted, every output written\n"
           "  2    usage error, refused input or measured file (the message names the field\n"
           "       or the line), an input file that cannot be read, or every candidate\n"
           "       refused; nothing is written\n"
           "  3    an output failed\n" +
           shared_exit_status_help();
}

}  // namespace

void setup_fit_command(CLI::App& app, FitOptions& o) {
    describe_command(app,
                     "Fits inputs of the model (the pull-out values, or any numeric input) to a "
                     "measured\nbridging curve by least squares of the stress at the measured "
                     "openings.\nNAME=TEXT sets the other inputs as for a single run.",
                     help_footer());
    refuse_empty(
        app.add_option("measured", o.measured, "The measured curve (opening mm, stress MPa)")
            ->required());
    add_repeated_option(app, "--fit", o.fits,
                        "NAME=LOW:HIGH or NAME=LOW:HIGH:START: an input to fit within inclusive "
                        "bounds (repeat for more)",
                        true);
    SharedOptionSet set;
    set.openings = false;
    set.help = {
        {"--csv", "Write the measured points beside the fitted stress"},
        {"--summary",
         "Write the fitted law's criteria and the fit's figures (CSV, or JSON Lines for .jsonl)"},
        {"--json", "Print the result as one JSON object"},
        {"--quiet", "No progress on standard error"},
    };
    add_shared_options(app, o.shared, set);
    add_text_option(app, "--until", o.until, "Fit only the points with an opening up to W mm");
    add_text_option(app, "--columns", o.columns,
                    "W,S: the column numbers (from 1) of the opening and the stress in a "
                    "measured file of several columns");
    add_text_option(app, "--skip", o.skip,
                    "Skip the first N lines of the measured file (metadata before the header)");
    add_text_option(app, "--starts", o.starts, "Local searches, 1 to 10000");
    app.get_option("--starts")->capture_default_str();
    add_text_option(app, "--extra-starts", o.extra_starts,
                    "Local searches added, one at a time, while fewer than two have ended at the "
                    "best minimum, 0 to 10000");
    app.get_option("--extra-starts")->capture_default_str();
    add_text_option(app, "--seed", o.seed, "Seed of the starts' points, 0 to 18446744073709551615");
    app.get_option("--seed")->capture_default_str();
    add_text_option(app, "--max-evaluations", o.max_evaluations,
                    "Laws computed at most, at least 1 (default 100 + 100 per fitted value for "
                    "each start and extra start, and at least 400 + 400 per value)");
    add_text_option(app, "--max-time", o.max_time, "Seconds at most (default: no limit)");
    add_text_option(app, "-o,--output", o.output,
                    "Write the fitted law's result file (Division scheme)");
}

FitRequest read_fit_options(const FitOptions& o, const InputFileReader& read_file) {
    FitRequest q;
    for (const std::string& a : o.shared.assignments) {
        if (!a.empty() && a[0] == '-') throw UsageError("unknown option " + quoted(a));
    }
    read_shared_options(o.shared, read_file, q.values);
    check_plot_summary(o.shared);
    q.options = o.shared;
    q.measured = o.measured;
    q.output = o.output;
    try {
        for (const std::string& argument : o.fits) q.fitted.push_back(parse_fit_value(argument));
    } catch (const FitSetupError& e) {
        const std::string message = e.what();
        throw UsageError((message.rfind("unknown name", 0) == 0 ? "--fit: " : "--fit ") + message);
    }
    if (!o.columns.empty()) {
        const auto comma = o.columns.find(',');
        const std::string rule =
            "--columns takes W,S, the column numbers (from 1) of the "
            "opening and the stress, not " +
            quoted(o.columns);
        if (comma == std::string::npos || o.columns.find(',', comma + 1) != std::string::npos) {
            throw UsageError(rule);
        }
        constexpr std::uint64_t most_columns = 100000;
        const auto column = [&](const std::string& text) {
            if (text.empty()) throw UsageError(rule);
            return static_cast<int>(option_count(text, "--columns W,S", 1, most_columns));
        };
        q.layout.columns =
            std::make_pair(column(o.columns.substr(0, comma)), column(o.columns.substr(comma + 1)));
    }
    if (!o.skip.empty()) {
        q.layout.skip = static_cast<long>(option_count(o.skip, "--skip", 0, 1000000000));
    }
    const double most = std::numeric_limits<double>::max();
    if (!o.until.empty()) {
        q.until = option_number(o.until, "--until", -most, most, "a finite number");
    }
    if (!o.max_time.empty()) {
        q.settings.max_seconds = option_number(o.max_time, "--max-time", 0, most, "above 0");
        if (!(*q.settings.max_seconds > 0)) throw UsageError("--max-time must be above 0");
    }
    q.settings.starts = static_cast<int>(option_count(o.starts, "--starts", 1, 10000));
    q.settings.extra_starts =
        static_cast<int>(option_count(o.extra_starts, "--extra-starts", 0, max_fit_starts));
    q.settings.seed = option_count(o.seed, "--seed", 0, std::numeric_limits<std::uint64_t>::max());
    if (!o.max_evaluations.empty()) {
        q.settings.max_evaluations =
            static_cast<long>(option_count(o.max_evaluations, "--max-evaluations", 1, 1000000000));
    }
    return q;
}

int run_fit(const FitRequest& q) {
    const auto usage = [](const std::string& message) {
        std::cerr << program << message << "\n";
        return exit_usage;
    };
    const InputFileText file = read_input_file(q.measured);
    if (!file.text) return usage(file.error);
    const auto curve = read_measured_curve(*file.text, q.layout);
    if (const auto* refusal = std::get_if<CurveRefusal>(&curve)) {
        return usage(q.measured + ": " + curve_refusal_text(*refusal));
    }
    const std::vector<MeasuredPoint>& points = std::get<std::vector<MeasuredPoint>>(curve);
    for (const std::string& note : input_notes(q.values.inputs)) {
        std::cerr << program << note << "\n";
    }
    // The figure is drawn from the points' CSV and the summary (the fitted
    // values): the user's files or scratch ones. Like --summary, it needs the
    // fitted law's criteria, so "Division" is used.
    FigureHandOff figure(q.options.plot);
    SharedOptions o = q.options;
    const bool division_used = !q.output.empty() || !o.summary.empty() || figure.wanted();
    const std::int16_t model = q.values.inputs.model;
    const InputSet inputs = q.values.inputs.inputs();
    auto made = make_fit_problem(inputs, q.fitted, points, q.until, division_used);
    if (const auto* refusal = std::get_if<FitProblemRefusal>(&made)) {
        if (refusal->input) return usage(refusal_message(*refusal->input, model));
        return usage(refusal->about_point_count ? q.measured + " holds " + refusal->message
                                                : refusal->message);
    }
    const FitProblem& problem = std::get<FitProblem>(made);
    const std::vector<Place> outputs = {{"-o", q.output, {}},
                                        {"--csv", o.csv, {}},
                                        {"--summary", o.summary, {}},
                                        {"--plot", o.plot.plot, {}}};
    std::vector<Place> input_files = input_places(o);
    input_files.push_back({"the measured file", q.measured, {}});
    if (const auto fault = output_place_fault(outputs, input_files)) {
        return usage(*fault + "; nothing was written.");
    }

    if (const auto failure = figure.prepare()) {
        std::cerr << program << *failure << "; nothing was written.\n";
        return exit_file_error;
    }
    o.csv = figure.file(o.csv, "points.csv");
    o.summary = figure.file(o.summary, "summary.csv");

    guard_process_signals();
    ProgressLine progress(!o.quiet);
    FitHooks hooks;
    hooks.progress = [&](long evaluations, double rmse) {
        char best[32] = "-";
        if (std::isfinite(rmse)) std::snprintf(best, sizeof best, "%.4g MPa", rmse);
        progress.show("fit: " + std::to_string(evaluations) + " evaluations, best RMSE " + best);
    };
    hooks.stop_requested = [] { return ending_signal_number() != 0; };
    const FitResult result = fit_law(problem, q.settings, hooks);
    progress.finish();

    if (result.stop == FitStop::interrupted) {
        const int s = ending_signal_number();
        std::string best = "no candidate was computed";
        if (result.found) {
            best = "best so far (RMSE " + exact(result.rmse) + " MPa):";
            for (std::size_t i = 0; i < q.fitted.size(); ++i) {
                best += " " + q.fitted[i].name + "=" + result.texts[i];
            }
        }
        std::cerr << program << "stopped by " << signal_name(s) << " after " << result.evaluations
                  << " evaluations; " << best << "; nothing was written.\n";
        return exit_signal_base + s;
    }
    if (!result.found) {
        return usage("every candidate was refused" +
                     (result.last_refusal ? ": " + refusal_message(*result.last_refusal, model)
                                          : std::string()));
    }

    // The fitted law from its texts, as a single run reads them.
    std::vector<InputValue> texts(result.texts.begin(), result.texts.end());
    const InputSet fitted = inputs_with_fitted(inputs, q.fitted, texts);
    // The criteria of the whole measured curve, those beyond --until too,
    // beside the fitted law's.
    CriteriaComparison criteria;
    {
        std::vector<double> openings;
        std::vector<double> stresses;
        for (const MeasuredPoint& p : points) {
            openings.push_back(p.opening);
            stresses.push_back(p.stress);
        }
        criteria.measured = measured_curve_criteria(openings, stresses);
        LawScratch scratch;
        const LawRun law = compute_law(fitted, std::nullopt, scratch);
        if (law.refused()) {
            if (division_used) return usage(refusal_message(*law.refusal, model));
            criteria.not_fitted = refusal_message(*law.refusal, model);
        } else {
            criteria.fitted =
                criteria_of_law(fitted, law.steps, q.values.matrix, q.values.criteria, scratch);
        }
    }
    std::string error;
    const std::string shown =
        o.json ? result_json(q, result, criteria)
               : result_table(q, result, criteria, problem.openings.size(), points.size());
    if (!write_standard_output(shown, error)) {
        std::cerr << program << error << "\n";
        return exit_file_error;
    }

    int status = exit_ok;
    if (!q.output.empty()) {
        LawFilesRequest law;
        law.inputs = q.values.inputs;
        for (std::size_t i = 0; i < q.fitted.size(); ++i) {
            law.inputs.texts[q.fitted[i].member] = result.texts[i];
        }
        law.output = q.output;
        law.at = q.values.at;
        law.program = program;
        const LawFilesResult written = write_law_files(law, q.values.matrix);
        if (written.status == exit_usage || written.status >= exit_signal_base)
            return written.status;
        if (written.status != exit_ok) status = written.status;
    }
    if (!o.csv.empty()) {
        std::vector<std::size_t> order(points.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return points[a].opening < points[b].opening;
        });
        std::vector<double> openings;
        for (const std::size_t i : order) openings.push_back(points[i].opening);
        const LawRun law = compute_law(fitted, openings);
        if (law.refused()) return usage(refusal_message(*law.refusal, model));
        if (const auto failure = write_points_csv(o.csv, points, law.steps, order, q.until)) {
            std::cerr << program << *failure << "\n";
            status = exit_file_error;
        }
    }
    if (!o.summary.empty() && criteria.fitted) {
        FitColumns columns = fit_columns(q, result, criteria);
        columns.columns.push_back(orientation_weight_column);
        columns.cells.push_back(number_cell(law_orientation_weight_error(fitted)));
        columns.numeric.push_back(true);
        if (const auto failure = write_fit_summary(o.summary, *criteria.fitted, q.values.matrix,
                                                   q.values.criteria, columns)) {
            std::cerr << program << *failure << "\n";
            status = exit_file_error;
        }
    }
    if (figure.wanted() && status == exit_ok) {
        if (!standard_output_flushed(program)) return exit_file_error;
        status = figure.draw(program, {o.csv, o.summary, "--kind", "fit"});
    }
    return status;
}

int fit_command_main(const std::vector<std::string>& args) {
    CLI::App app{"", "quarnel-batch fit"};
    FitOptions options;
    setup_fit_command(app, options);
    if (auto end = parse_command_line(app, args, program)) return finish_command(*end, program);
    try {
        return run_fit(read_fit_options(options, read_input_file));
    } catch (const UsageError& e) {
        std::cerr << program << e.what() << "\n";
        return exit_usage;
    }
}

}  // namespace quarnel
