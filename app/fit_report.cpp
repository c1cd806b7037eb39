#include "fit_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "app/step_writers.h"
#include "app/study_output.h"
#include "engine/text_to_number.h"
#include "quarnel_version.h"

namespace quarnel {

namespace {

std::string exact(double x) {
    return shortest_number_text(x);
}

}  // namespace

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

namespace {

std::string r2_text(const FitResult& r) {
    return r.r2 ? exact(*r.r2) : "undefined (the measured stresses are all equal)";
}

}  // namespace

namespace {

std::string figure(const char* format, double x) {
    char text[64];
    std::snprintf(text, sizeof text, format, x);
    return text;
}

}  // namespace

namespace {

// The criteria compared, in the order of the table, the JSON and the summary.
struct ComparedCriterion {
    const char* name;  // as the summary names it
    const char* unit;
    double measured;
    std::optional<double> fitted;
};

}  // namespace

namespace {

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

}  // namespace

namespace {

// fitted / measured - 1; none where it is not a finite number.
std::optional<double> relative_difference(const ComparedCriterion& c) {
    if (!c.fitted) return std::nullopt;
    const double d = *c.fitted / c.measured - 1;
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

}  // namespace

namespace {

std::string padded(std::string text, std::size_t width) {
    text.resize(std::max(width, text.size()), ' ');
    return text;
}

}  // namespace

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

namespace {

std::string json_number_of(double x) {
    return std::isfinite(x) ? exact(x) : std::string("null");
}

}  // namespace

namespace {

std::string json_number_of(const std::optional<double>& x) {
    return x ? json_number_of(*x) : std::string("null");
}

}  // namespace

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
           differences + "},\"starts\":[" + starts + "],\"warnings\":[" + warnings +
           "],\"quarnel_version\":" + json_string(version) + "}\n";
}

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

}  // namespace quarnel
