#include "figure_files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <stdexcept>

namespace quarnel {

int CsvTable::column(const std::string& name) const {
    const auto it = std::find(columns.begin(), columns.end(), name);
    return it == columns.end() ? -1 : static_cast<int>(it - columns.begin());
}

CsvTable parse_csv(const std::string& path, const std::string& text) {
    CsvTable table;
    table.path = path;
    std::vector<std::vector<std::string>> records;
    std::vector<int> lines;
    std::vector<std::string> record;
    std::string cell;
    bool quoted = false;
    bool any = false;  // the record holds something
    int line = 1;
    int record_line = 1;
    std::size_t i = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
    const auto end_record = [&] {
        if (any) {
            record.push_back(cell);
            records.push_back(record);
            lines.push_back(record_line);
        }
        record.clear();
        cell.clear();
        any = false;
    };
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n') ++line;
                cell += c;
            }
            continue;
        }
        if (!any) record_line = line;
        if (c == '"') {
            quoted = true;
            any = true;
        } else if (c == ',') {
            record.push_back(cell);
            cell.clear();
            any = true;
        } else if (c == '\n') {
            end_record();
            ++line;
        } else if (c != '\r') {
            cell += c;
            any = true;
        }
    }
    if (quoted) {
        throw std::invalid_argument(path + ":" + std::to_string(record_line) +
                                    ": a quoted cell is not closed");
    }
    end_record();
    if (records.empty()) throw std::invalid_argument(path + ": the file is empty");
    table.columns = records.front();
    for (std::size_t r = 1; r < records.size(); ++r) {
        if (records[r].size() != table.columns.size()) {
            throw std::invalid_argument(path + ":" + std::to_string(lines[r]) + ": " +
                                        std::to_string(records[r].size()) + " cells under " +
                                        std::to_string(table.columns.size()) + " columns");
        }
        table.rows.push_back(std::move(records[r]));
        table.lines.push_back(lines[r]);
    }
    return table;
}

std::optional<FileKind> file_kind(const CsvTable& t) {
    const auto has = [&](const char* name) { return t.column(name) >= 0; };
    if (has("line") && has("sigma_measured_MPa") && has("sigma_fitted_MPa")) {
        return FileKind::fit_points;
    }
    if (has("run") && has("n") && has("Wcr_mm") && has("sigma_MPa")) return FileKind::curves;
    if (has("run") && has("status")) return FileKind::sweep_summary;
    if (has("step") && has("Wcr_mm") && has("sigma_MPa")) {
        return has("P_N_1") ? FileKind::mix_steps : FileKind::steps;
    }
    if (has("rmse") && has("sigma_max")) return FileKind::fit_summary;
    if (has("sigma_max") && has("Wcr_peak")) return FileKind::law_summary;
    return std::nullopt;
}

std::map<std::string, std::string> parse_params(const std::string& path, const std::string& text) {
    std::map<std::string, std::string> out;
    std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int line = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string row = text.substr(start, end - start);
        start = end + 1;
        ++line;
        if (!row.empty() && row.back() == '\r') row.pop_back();
        const std::size_t first = row.find_first_not_of(" \t");
        if (first == std::string::npos || row[first] == '#') continue;
        const std::size_t eq = row.find('=');
        if (eq == std::string::npos) {
            throw std::invalid_argument(path + ":" + std::to_string(line) + ": expected NAME=TEXT");
        }
        const auto trim = [](std::string s) {
            const std::size_t a = s.find_first_not_of(" \t");
            const std::size_t b = s.find_last_not_of(" \t");
            return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
        };
        out[trim(row.substr(0, eq))] = trim(row.substr(eq + 1));
    }
    return out;
}

std::optional<FigureKind> figure_kind_named(const std::string& name) {
    for (const FigureKind k :
         {FigureKind::law, FigureKind::sweep, FigureKind::map, FigureKind::fit, FigureKind::mix}) {
        if (name == figure_kind_name(k)) return k;
    }
    return std::nullopt;
}

const char* figure_kind_name(FigureKind kind) {
    switch (kind) {
        case FigureKind::law:
            return "law";
        case FigureKind::sweep:
            return "sweep";
        case FigureKind::map:
            return "map";
        case FigureKind::fit:
            return "fit";
        case FigureKind::mix:
            return "mix";
    }
    return "law";
}

namespace {

// The varied names of a sweep's summary: its columns between run and status.
std::vector<std::string> varied_names(const CsvTable& summary) {
    const int status = summary.column("status");
    return {summary.columns.begin() + 1, summary.columns.begin() + std::max(status, 1)};
}

bool is_map_summary(const CsvTable& summary) {
    return varied_names(summary).size() == 2 && summary.column("psh_strength") >= 0 &&
           summary.column("psh_energy") >= 0;
}

// A cell's number: NaN for an empty cell; a cell that is no number is refused.
double cell_number(const CsvTable& t, std::size_t row, int column) {
    const std::string& text = t.rows[row][static_cast<std::size_t>(column)];
    if (text.empty()) return NAN;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument(t.path + ":" + std::to_string(t.lines[row]) + ": " +
                                    t.columns[static_cast<std::size_t>(column)] + " \"" +
                                    text.substr(0, 40) + "\" is not a number");
    }
    return value;
}

int required_column(const CsvTable& t, const std::string& name) {
    const int c = t.column(name);
    if (c < 0) throw std::invalid_argument(t.path + ": no column " + name);
    return c;
}

std::vector<double> number_column(const CsvTable& t, const std::string& name) {
    const int c = required_column(t, name);
    std::vector<double> values;
    for (std::size_t r = 0; r < t.rows.size(); ++r) values.push_back(cell_number(t, r, c));
    return values;
}

const CsvTable& table_of(const FigureSources& s, FileKind kind, const std::string& what) {
    const auto it = s.tables.find(kind);
    if (it == s.tables.end()) throw std::invalid_argument("this figure needs " + what);
    return it->second;
}

std::string names_text(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}

std::string runs_text(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " run" : " runs");
}

LawFigure law_from(const FigureSources& s, const FigureExtras& extras) {
    const CsvTable& steps = table_of(s, FileKind::steps, "a run's steps (its --csv file)");
    LawFigure f;
    f.w = number_column(steps, "Wcr_mm");
    f.sigma = number_column(steps, "sigma_MPa");
    f.ratio = number_column(steps, "effective_fiber_ratio");
    f.sigma_fc = extras.sigma_fc;
    f.J_tip = extras.J_tip;
    f.title = s.params.empty() ? "Bridging law" : law_title(s.params);
    return f;
}

SweepFigure sweep_from(const FigureSources& s) {
    const CsvTable& curves = table_of(s, FileKind::curves, "a sweep's --curves file");
    const auto summary_it = s.tables.find(FileKind::sweep_summary);
    const CsvTable* summary = summary_it == s.tables.end() ? nullptr : &summary_it->second;
    SweepFigure f;
    std::vector<std::string> names;
    std::map<std::string, std::size_t> summary_row;  // by run number text
    if (summary) {
        names = varied_names(*summary);
        for (std::size_t r = 0; r < summary->rows.size(); ++r) summary_row[summary->rows[r][0]] = r;
    }
    // One varied number gives the ramp its values; otherwise the run numbers.
    const bool by_value = names.size() == 1;
    f.ramp_title = by_value ? names[0] : "Run";
    const int run_c = required_column(curves, "run");
    const int w_c = required_column(curves, "Wcr_mm");
    const int s_c = required_column(curves, "sigma_MPa");
    for (std::size_t r = 0; r < curves.rows.size(); ++r) {
        const std::string& run = curves.rows[r][static_cast<std::size_t>(run_c)];
        if (f.curves.empty() || r == 0 ||
            curves.rows[r - 1][static_cast<std::size_t>(run_c)] != run) {
            SweepCurve c;
            c.label = "Run " + run;
            c.value = cell_number(curves, r, run_c);
            const auto it = summary_row.find(run);
            if (it != summary_row.end()) {
                std::string label;
                for (std::size_t k = 0; k < names.size(); ++k) {
                    label +=
                        (k == 0 ? "" : ", ") + names[k] + " = " + summary->rows[it->second][k + 1];
                }
                if (!label.empty()) c.label = label;
                if (by_value) {
                    const double v = cell_number(*summary, it->second, 1);
                    if (std::isfinite(v)) c.value = v;
                }
            }
            f.curves.push_back(std::move(c));
        }
        f.curves.back().w.push_back(cell_number(curves, r, w_c));
        f.curves.back().sigma.push_back(cell_number(curves, r, s_c));
    }
    if (f.curves.empty()) throw std::invalid_argument(curves.path + ": no run has steps");
    f.title = names.empty() ? "Sweep: " + runs_text(f.curves.size())
                            : "Sweep over " + names_text(names) + ": " + runs_text(f.curves.size());
    return f;
}

MapFigure map_from(const FigureSources& s, const FigureExtras& extras) {
    const CsvTable& summary = table_of(s, FileKind::sweep_summary, "a sweep's --summary file");
    const std::vector<std::string> names = varied_names(summary);
    if (!is_map_summary(summary)) {
        throw std::invalid_argument(summary.path +
                                    ": a map needs a sweep over two varied names with "
                                    "psh_strength and psh_energy (--sigma-fc and --J-tip)");
    }
    MapFigure f;
    f.x_name = names[0];
    f.y_name = names[1];
    std::set<double> xs;
    std::set<double> ys;
    for (std::size_t r = 0; r < summary.rows.size(); ++r) {
        const double x = cell_number(summary, r, 1);
        const double y = cell_number(summary, r, 2);
        if (!std::isfinite(x) || !std::isfinite(y)) {
            throw std::invalid_argument(summary.path + ":" + std::to_string(summary.lines[r]) +
                                        ": a map needs numbers for both varied names");
        }
        xs.insert(x);
        ys.insert(y);
    }
    if (xs.size() < 2 || ys.size() < 2) {
        throw std::invalid_argument(summary.path +
                                    ": a map needs at least two values of each varied name");
    }
    f.x.assign(xs.begin(), xs.end());
    f.y.assign(ys.begin(), ys.end());
    f.strength.assign(f.x.size() * f.y.size(), NAN);
    f.energy.assign(f.strength.size(), NAN);
    const int strength_c = summary.column("psh_strength");
    const int energy_c = summary.column("psh_energy");
    for (std::size_t r = 0; r < summary.rows.size(); ++r) {
        const auto i = static_cast<std::size_t>(
            std::lower_bound(f.x.begin(), f.x.end(), cell_number(summary, r, 1)) - f.x.begin());
        const auto j = static_cast<std::size_t>(
            std::lower_bound(f.y.begin(), f.y.end(), cell_number(summary, r, 2)) - f.y.begin());
        f.strength[j * f.x.size() + i] = cell_number(summary, r, strength_c);
        f.energy[j * f.x.size() + i] = cell_number(summary, r, energy_c);
    }
    f.margins = extras.margins;
    f.title = "Strain-hardening indices over " + f.x_name + " and " + f.y_name;
    return f;
}

FitFigure fit_from(const FigureSources& s) {
    const CsvTable& points = table_of(s, FileKind::fit_points, "a fit's --csv file");
    FitFigure f;
    f.w = number_column(points, "Wcr_mm");
    f.measured = number_column(points, "sigma_measured_MPa");
    f.fitted = number_column(points, "sigma_fitted_MPa");
    const int used_c = points.column("used");
    for (const auto& row : points.rows) {
        f.used.push_back(used_c < 0 || row[static_cast<std::size_t>(used_c)] != "no");
    }
    std::vector<std::string> names;
    const auto summary_it = s.tables.find(FileKind::fit_summary);
    if (summary_it != s.tables.end() && !summary_it->second.rows.empty()) {
        const CsvTable& summary = summary_it->second;
        // The fitted values are the columns NAME that have a NAME_se beside them.
        for (const std::string& c : summary.columns) {
            if (c.size() > 3 && c.compare(c.size() - 3, 3, "_se") == 0 &&
                summary.column(c.substr(0, c.size() - 3)) >= 0) {
                const std::string name = c.substr(0, c.size() - 3);
                FittedValue v;
                v.name = name;
                v.value = cell_number(summary, 0, summary.column(name));
                const int low = summary.column(name + "_low_95");
                const int high = summary.column(name + "_high_95");
                if (low >= 0 && high >= 0) {
                    const double l = cell_number(summary, 0, low);
                    const double h = cell_number(summary, 0, high);
                    if (std::isfinite(l) && std::isfinite(h)) {
                        v.low = l;
                        v.high = h;
                    }
                }
                f.values.push_back(v);
                names.push_back(name);
            }
        }
        const double rmse = cell_number(summary, 0, summary.column("rmse"));
        if (std::isfinite(rmse)) f.rmse = rmse;
    }
    f.title = names.empty() ? "Fit to " + std::to_string(f.w.size()) + " measured points"
                            : "Fit of " + names_text(names) + " to " + std::to_string(f.w.size()) +
                                  " measured points";
    return f;
}

MixFigure mix_from(const FigureSources& s) {
    const CsvTable& steps = table_of(s, FileKind::mix_steps, "a mix's --csv file");
    MixFigure f;
    f.w = number_column(steps, "Wcr_mm");
    f.sigma = number_column(steps, "sigma_MPa");
    f.ratio = number_column(steps, "effective_fiber_ratio");
    const std::vector<double> P = number_column(steps, "P_N");
    // Am, the matrix section, as P / sigma where the load is largest.
    double Am = NAN;
    double largest = 0;
    for (std::size_t i = 0; i < P.size(); ++i) {
        if (std::isfinite(P[i]) && std::abs(P[i]) > largest && f.sigma[i] != 0) {
            largest = std::abs(P[i]);
            Am = P[i] / f.sigma[i];
        }
    }
    for (int k = 1; steps.column("P_N_" + std::to_string(k)) >= 0; ++k) {
        std::vector<double> load = number_column(steps, "P_N_" + std::to_string(k));
        for (double& v : load) v = std::isfinite(Am) ? v / Am : 0;
        f.type_sigma.push_back(std::move(load));
        const std::string ratio = "effective_fiber_ratio_" + std::to_string(k);
        f.type_ratio.push_back(steps.column(ratio) >= 0 ? number_column(steps, ratio)
                                                        : std::vector<double>());
    }
    f.title = "Mix of " + std::to_string(f.type_sigma.size()) + " fiber types";
    if (!s.params.empty()) {
        const auto am = s.params.find("Am");
        if (am != s.params.end()) f.title += ", Am = " + am->second + " mm²";
    }
    return f;
}

}  // namespace

FigureKind default_figure_kind(const FigureSources& s) {
    const auto has = [&](FileKind k) { return s.tables.count(k) > 0; };
    if (has(FileKind::fit_points)) return FigureKind::fit;
    if (has(FileKind::mix_steps)) return FigureKind::mix;
    if (has(FileKind::steps)) return FigureKind::law;
    if (has(FileKind::sweep_summary) && is_map_summary(s.tables.at(FileKind::sweep_summary))) {
        return FigureKind::map;
    }
    if (has(FileKind::curves)) return FigureKind::sweep;
    throw std::invalid_argument(
        "no figure can be drawn from these files: give a run's or a mix's --csv, a sweep's "
        "--curves (and --summary), a sweep's --summary over two names with both indices, or a "
        "fit's --csv");
}

Figure figure_from_files(FigureKind kind, const FigureSources& sources,
                         const FigureExtras& extras) {
    switch (kind) {
        case FigureKind::law:
            return law_from(sources, extras);
        case FigureKind::sweep:
            return sweep_from(sources);
        case FigureKind::map:
            return map_from(sources, extras);
        case FigureKind::fit:
            return fit_from(sources);
        case FigureKind::mix:
            return mix_from(sources);
    }
    return law_from(sources, extras);
}

std::string law_title(const std::map<std::string, std::string>& texts) {
    const auto text = [&](const std::string& name) {
        const auto it = texts.find(name);
        return it == texts.end() ? std::string() : it->second;
    };
    const std::string model = text("model");
    const bool lb = model == "2" || model == "function-lb";
    std::string title = lb ? "Function lb model" : "Constant model";
    std::vector<std::pair<std::string, std::string>> shown = {
        {"Vf", "Vf=%"}, {"Lf", "Lf=% mm"}, {"Af", "Af=% mm²"}};
    if (lb) {
        shown.insert(shown.end(),
                     {{"Pmax", "A=%"}, {"delta_max", "B=%"}, {"C", "C=%"}, {"D", "D=%"}});
    } else {
        shown.insert(shown.end(), {{"Pmax", "Pmax=% N"}, {"delta_max", "δmax=% mm"}});
    }
    shown.insert(shown.end(), {{"kxy", "kxy=%"}, {"crack_xy", "crack %°"}});
    std::string parts;
    for (const auto& [name, pattern] : shown) {
        const std::string value = text(name);
        if (value.empty()) continue;
        std::string part = pattern;
        part.replace(part.find('%'), 1, value);
        parts += (parts.empty() ? "" : ", ") + part;
    }
    return parts.empty() ? title : title + ": " + parts;
}

}  // namespace quarnel
