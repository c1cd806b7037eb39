#include "fit_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <sstream>

#include "app/law_files.h"
#include "app/output_places.h"
#include "app/process_guard.h"
#include "app/step_writers.h"
#include "app/study_output.h"
#include "engine/text_to_number.h"
#include "study/converged_criteria.h"
#include "study/law_run.h"
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

// The measured points beside the fitted stress; the message of a failure.
std::optional<std::string> write_points_csv(const std::string& path,
                                            const std::vector<MeasuredPoint>& points,
                                            const std::vector<StepValues>& steps,
                                            const std::vector<std::size_t>& order,
                                            const std::optional<double>& until) {
    LineFile file;
    if (const auto failure = file.open(path)) {
        return "cannot create " + path + ": " + failure->description;
    }
    std::vector<double> fitted(points.size());
    for (std::size_t s = 0; s < order.size(); ++s) fitted[order[s]] = steps[s].sigma;
    std::optional<FileFailure> failure =
        file.write_line("line,Wcr_mm,sigma_measured_MPa,sigma_fitted_MPa,used\n");
    for (std::size_t i = 0; i < points.size() && !failure; ++i) {
        const MeasuredPoint& p = points[i];
        const bool used = !until || p.opening <= *until;
        failure = file.write_line(std::to_string(p.line) + "," + exact(p.opening) + "," +
                                  exact(p.stress) + "," + exact(fitted[i]) + "," +
                                  (used ? "yes" : "no") + "\n");
    }
    if (failure) {
        return "writing " + path + " failed: " + failure->description + "; it holds " +
               (file.lines() == 0 ? std::string("nothing")
                                  : "the heading and " + rows_text(file.lines() - 1));
    }
    if (const auto closing = file.close()) {
        return "closing " + path + " failed: " + closing->description;
    }
    return std::nullopt;
}

std::string r2_text(const FitResult& r) {
    return r.r2 ? exact(*r.r2) : "undefined (the measured stresses are all equal)";
}

std::string figure(const char* format, double x) {
    char text[64];
    std::snprintf(text, sizeof text, format, x);
    return text;
}

// The fitted law's criteria beside the measured curve's: the law on the
// "Division" scheme, or why it has none.
struct CriteriaComparison {
    CurveCriteria measured;
    std::optional<LawCriteria> fitted;
    std::string not_fitted;  // why there are no fitted criteria
};

// The criteria compared, in the order of the table, the JSON and the summary.
struct ComparedCriterion {
    const char* name;  // as the summary names it
    const char* unit;
    double measured;
    std::optional<double> fitted;
};
std::vector<ComparedCriterion> compared(const CriteriaComparison& c) {
    const auto of = [&](double LawCriteria::*member) -> std::optional<double> {
        if (!c.fitted) return std::nullopt;
        return (*c.fitted).*member;
    };
    return {{"sigma_max", "MPa", c.measured.sigma_max, of(&LawCriteria::sigma_max)},
            {"Wcr_peak", "mm", c.measured.Wcr_peak, of(&LawCriteria::Wcr_peak)},
            {"J_b_prime", "J/m2", c.measured.J_b_prime, of(&LawCriteria::J_b_prime)},
            {"G_b", "J/m2", c.measured.G_b, of(&LawCriteria::G_b)}};
}

// fitted / measured - 1; none where it is not a finite number.
std::optional<double> relative_difference(const ComparedCriterion& c) {
    if (!c.fitted) return std::nullopt;
    const double d = *c.fitted / c.measured - 1;
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

std::string padded(std::string text, std::size_t width) {
    text.resize(std::max(width, text.size()), ' ');
    return text;
}

// The result as a table for a reader.
std::string result_table(const FitRequest& q, const FitResult& r, const CriteriaComparison& cc,
                         std::size_t points, std::size_t all_points) {
    std::ostringstream out;
    const std::vector<FitValue>& values = q.fitted;
    const FitStatistics& st = r.statistics;
    out << "Fitted " << values.size() << (values.size() == 1 ? " value" : " values") << " to "
        << points << (points == 1 ? " point" : " points");
    if (points != all_points) out << " (of " << all_points << ")";
    out << " of " << q.measured << ", "
        << (q.values.inputs.model == 1 ? "Constant model" : "Function lb model") << ":\n";
    std::vector<std::string> se(values.size(), "-");
    std::vector<std::string> interval(values.size(), "-");
    for (std::size_t i = 0; i < values.size() && st.computed; ++i) {
        if (st.standard_errors[i]) se[i] = figure("%.4g", *st.standard_errors[i]);
        if (st.intervals_95[i]) {
            interval[i] = figure("%.6g", st.intervals_95[i]->first) + " to " +
                          figure("%.6g", st.intervals_95[i]->second);
        }
    }
    std::size_t name_width = 4;
    std::size_t value_width = 5;
    std::size_t text_width = 4;
    std::size_t se_width = 2;
    for (std::size_t i = 0; i < values.size(); ++i) {
        name_width = std::max(name_width, values[i].name.size());
        value_width = std::max(value_width, exact(r.values[i]).size());
        text_width = std::max(text_width, r.texts[i].size());
        se_width = std::max(se_width, se[i].size());
    }
    out << "  " << padded("name", name_width) << "  " << padded("value", value_width) << "  "
        << padded("text", text_width) << "  " << padded("SE", se_width) << "  95 % interval\n";
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string line = "  " + padded(values[i].name, name_width) + "  " +
                           padded(exact(r.values[i]), value_width) + "  " +
                           padded(r.texts[i], text_width) + "  " + padded(se[i], se_width) + "  " +
                           interval[i];
        if (r.at_bound[i]) line += "  (at a bound)";
        out << line << "\n";
    }
    if (st.computed) {
        out << "SE: standard error; 95 % interval: value -/+ " << figure("%.5g", st.t_95)
            << " SE (Student's t, " << st.degrees_of_freedom
            << " degrees of freedom), by the law linearised at the optimum\n";
        bool heading = false;
        for (std::size_t j = 0; j < values.size(); ++j) {
            for (std::size_t k = j + 1; k < values.size(); ++k) {
                if (!st.correlations[j][k]) continue;
                if (!heading) out << "Correlations of the fitted values:\n";
                heading = true;
                out << "  " << values[j].name << " and " << values[k].name << ": "
                    << figure("%+.3f", *st.correlations[j][k]) << "\n";
            }
        }
    } else {
        out << "No standard errors: " << st.not_computed << "\n";
    }
    out << "RMSE " << exact(r.rmse) << " MPa, R2 " << r2_text(r);
    if (r.local_scatter) {
        out << "; local scatter of the residuals " << figure("%.4g", *r.local_scatter) << " MPa";
    }
    out << "\n";
    out << "Criteria            measured     fitted law   difference\n";
    for (const ComparedCriterion& c : compared(cc)) {
        const std::optional<double> d = relative_difference(c);
        out << "  " << padded(std::string(c.name) + " (" + c.unit + ")", 18)
            << padded(figure("%.6g", c.measured), 13)
            << padded(c.fitted ? figure("%.6g", *c.fitted) : "-", 13)
            << (d ? figure("%+.1f %%", 100 * *d) : "-") << "\n";
    }
    if (!cc.fitted) out << "  (the fitted law has no criteria: " << cc.not_fitted << ")\n";
    out << r.evaluations << " evaluations";
    if (r.refused_evaluations > 0) out << " (" << r.refused_evaluations << " refused)";
    out << " in " << figure("%.2f", r.seconds) << " s: " << fit_stop_text(r.stop) << "\n";
    if (!r.start_ends.empty()) {
        out << "Each start's end, RMSE MPa:";
        for (const FitStartEnd& e : r.start_ends) {
            out << " " << (std::isfinite(e.rmse) ? figure("%.4g", e.rmse) : std::string("-"));
        }
        out << "\n";
    }
    if (!r.warnings.empty()) {
        out << "Warnings:\n";
        for (const std::string& w : r.warnings) out << "  - " << w << "\n";
    }
    out << "The same law:";
    for (std::size_t i = 0; i < values.size(); ++i)
        out << " " << values[i].name << "=" << r.texts[i];
    out << "\n";
    return out.str();
}

std::string json_number_of(double x) {
    return std::isfinite(x) ? exact(x) : std::string("null");
}

std::string json_number_of(const std::optional<double>& x) {
    return x ? json_number_of(*x) : std::string("null");
}

std::string result_json(const FitRequest& q, const FitResult& r, const CriteriaComparison& cc) {
    const auto number = [](double x) { return json_number_of(x); };
    const FitStatistics& st = r.statistics;
    const std::size_t p = q.fitted.size();
    std::string parameters;
    std::string texts;
    std::string at_bound;
    std::string errors;
    std::string intervals;
    std::string correlations;
    for (std::size_t i = 0; i < p; ++i) {
        const std::string sep = i == 0 ? "" : ",";
        const std::string key = json_string(q.fitted[i].name);
        parameters += sep + key + ":" + number(r.values[i]);
        texts += sep + key + ":" + json_string(r.texts[i]);
        if (r.at_bound[i]) at_bound += (at_bound.empty() ? "" : ",") + key;
        const bool known = st.computed && st.standard_errors[i];
        errors += sep + key + ":" + (known ? number(*st.standard_errors[i]) : "null");
        intervals += sep + key + ":" +
                     (known && st.intervals_95[i] ? "[" + number(st.intervals_95[i]->first) + "," +
                                                        number(st.intervals_95[i]->second) + "]"
                                                  : std::string("null"));
        std::string row;
        for (std::size_t k = 0; k < p; ++k) {
            row += (k == 0 ? "" : ",") + json_string(q.fitted[k].name) + ":" +
                   (st.computed ? json_number_of(st.correlations[i][k]) : "null");
        }
        correlations += sep + key + ":{" + row + "}";
    }
    std::string undetermined;
    for (const std::vector<std::size_t>& group : st.undetermined) {
        std::string names;
        for (const std::size_t d : group) {
            names += (names.empty() ? "" : ",") + json_string(q.fitted[d].name);
        }
        undetermined += (undetermined.empty() ? "[" : ",[") + names + "]";
    }
    std::string measured;
    std::string fitted;
    std::string differences;
    for (const ComparedCriterion& c : compared(cc)) {
        const std::string sep = measured.empty() ? "" : ",";
        const std::string key = json_string(c.name);
        measured += sep + key + ":" + number(c.measured);
        fitted += sep + key + ":" + json_number_of(c.fitted);
        differences += sep + key + ":" + json_number_of(relative_difference(c));
    }
    std::string starts;
    for (const FitStartEnd& e : r.start_ends) {
        std::string end_values;
        for (std::size_t i = 0; i < p && i < e.values.size(); ++i) {
            end_values +=
                (i == 0 ? "" : ",") + json_string(q.fitted[i].name) + ":" + number(e.values[i]);
        }
        starts += std::string(starts.empty() ? "" : ",") + "{\"parameters\":{" + end_values +
                  "},\"rmse\":" + number(e.rmse) +
                  ",\"evaluations\":" + std::to_string(e.evaluations) + "}";
    }
    std::string warnings;
    for (const std::string& w : r.warnings) {
        warnings += (warnings.empty() ? "" : ",") + json_string(w);
    }
    return "{\"parameters\":{" + parameters + "},\"texts\":{" + texts +
           "},\"rmse\":" + number(r.rmse) + ",\"r2\":" + (r.r2 ? number(*r.r2) : "null") +
           ",\"evaluations\":" + std::to_string(r.evaluations) +
           ",\"seconds\":" + number(r.seconds) + ",\"at_bound\":[" + at_bound +
           "],\"standard_errors\":{" + errors + "},\"intervals_95\":{" + intervals +
           "},\"correlations\":{" + correlations + "},\"undetermined\":[" + undetermined +
           "],\"degrees_of_freedom\":" +
           (st.computed ? std::to_string(st.degrees_of_freedom) : "null") +
           ",\"t_95\":" + (st.computed ? number(st.t_95) : "null") +
           ",\"statistics_note\":" + (st.computed ? "null" : json_string(st.not_computed)) +
           ",\"local_scatter\":" + json_number_of(r.local_scatter) + ",\"measured_criteria\":{" +
           measured + "},\"fitted_criteria\":{" + fitted + "},\"criteria_differences\":{" +
           differences + "},\"starts\":[" + starts + "],\"warnings\":[" + warnings + "]}\n";
}

// The summary's columns after the fitted law's criteria, and their cells.
struct FitColumns {
    std::vector<std::string> columns;
    std::vector<std::string> cells;
    std::vector<bool> numeric;
};
FitColumns fit_columns(const FitRequest& q, const FitResult& r, const CriteriaComparison& cc) {
    FitColumns f;
    const auto add = [&](const std::string& column, const std::string& cell, bool numeric) {
        f.columns.push_back(column);
        f.cells.push_back(cell);
        f.numeric.push_back(numeric);
    };
    const auto number = [](const std::optional<double>& x) {
        return x && std::isfinite(*x) ? exact(*x) : std::string();
    };
    const FitStatistics& st = r.statistics;
    const std::size_t p = q.fitted.size();
    add("rmse", number(r.rmse), true);
    add("r2", number(r.r2), true);
    add("local_scatter", number(r.local_scatter), true);
    for (std::size_t i = 0; i < p; ++i) {
        const std::string& name = q.fitted[i].name;
        const bool known = st.computed && st.standard_errors[i];
        add(name, number(r.values[i]), true);
        add(name + "_se", known ? number(st.standard_errors[i]) : "", true);
        const auto& interval = st.computed ? st.intervals_95[i] : std::nullopt;
        add(name + "_low_95", interval ? number(interval->first) : "", true);
        add(name + "_high_95", interval ? number(interval->second) : "", true);
    }
    for (std::size_t j = 0; j < p; ++j) {
        for (std::size_t k = j + 1; k < p; ++k) {
            add("correlation_" + q.fitted[j].name + "_" + q.fitted[k].name,
                st.computed ? number(st.correlations[j][k]) : "", true);
        }
    }
    const std::vector<ComparedCriterion> criteria = compared(cc);
    for (const ComparedCriterion& c : criteria) {
        add(std::string("measured_") + c.name, number(c.measured), true);
    }
    for (const ComparedCriterion& c : criteria) {
        add(std::string(c.name) + "_difference", number(relative_difference(c)), true);
    }
    std::string warnings;
    for (const std::string& w : r.warnings) warnings += (warnings.empty() ? "" : " ") + w;
    add("warnings", warnings, false);
    return f;
}

// The fitted law's summary: its criteria's columns, then the fit's.
std::optional<std::string> write_fit_summary(const std::string& path, const LawCriteria& criteria,
                                             const MatrixProperties& matrix,
                                             const CriteriaSettings& settings,
                                             const FitColumns& fit) {
    std::vector<std::string> columns = criteria_columns(matrix, settings);
    std::vector<std::string> cells = criteria_cells(criteria, matrix, settings);
    std::vector<bool> numeric;
    // A criterion's cell is a number, or empty where it has none; "yes" and
    // "no" are verdicts.
    for (const std::string& cell : cells) {
        numeric.push_back(cell.empty() || read_decimal_number(cell).has_value());
    }
    columns.insert(columns.end(), fit.columns.begin(), fit.columns.end());
    cells.insert(cells.end(), fit.cells.begin(), fit.cells.end());
    numeric.insert(numeric.end(), fit.numeric.begin(), fit.numeric.end());
    SummaryFile file;
    std::optional<FileFailure> failure = file.open(path, columns);
    if (!failure) failure = file.write_row(cells, numeric);
    const std::optional<FileFailure> closing = file.close();
    if (!failure) failure = closing;
    if (failure) return "writing " + path + " failed: " + failure->description;
    return std::nullopt;
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
    const SharedOptions& o = q.options;
    const bool division_used = !q.output.empty() || !o.summary.empty();
    const std::int16_t model = q.values.inputs.model;
    const InputSet inputs = q.values.inputs.inputs();
    auto made = make_fit_problem(inputs, q.fitted, points, q.until, division_used);
    if (const auto* refusal = std::get_if<FitProblemRefusal>(&made)) {
        if (refusal->input) return usage(refusal_message(*refusal->input, model));
        return usage(refusal->about_point_count ? q.measured + " holds " + refusal->message
                                                : refusal->message);
    }
    const FitProblem& problem = std::get<FitProblem>(made);
    const std::vector<Place> outputs = {
        {"-o", q.output, {}}, {"--csv", o.csv, {}}, {"--summary", o.summary, {}}};
    std::vector<Place> input_files = input_places(o);
    input_files.push_back({"the measured file", q.measured, {}});
    if (const auto fault = output_place_fault(outputs, input_files)) {
        return usage(*fault + "; nothing was written.");
    }

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
            criteria.fitted = criteria_of_law(fitted, law.steps, q.values.matrix,
                                              q.values.criteria, scratch);
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
        if (const auto failure =
                write_fit_summary(o.summary, *criteria.fitted, q.values.matrix, q.values.criteria,
                                  fit_columns(q, result, criteria))) {
            std::cerr << program << *failure << "\n";
            status = exit_file_error;
        }
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
