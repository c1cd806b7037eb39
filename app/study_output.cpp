#include "study_output.h"

#include <cmath>
#include <cstdio>

#include "engine/text_to_number.h"

namespace quarnel {

namespace {

bool margin_column(const MatrixProperties& matrix, const CriteriaSettings& settings) {
    return matrix.sigma_fc && matrix.J_tip && settings.psh_margins;
}

}  // namespace

std::vector<std::string> criteria_columns(const MatrixProperties& matrix,
                                          const CriteriaSettings& settings) {
    std::vector<std::string> columns = {"sigma_max",     "P_max",     "Wcr_peak", "ratio_initial",
                                        "ratio_at_peak", "J_b_prime", "G_b"};
    if (matrix.sigma_fc) columns.push_back("psh_strength");
    if (matrix.J_tip) columns.push_back("psh_energy");
    if (matrix.sigma_fc && matrix.J_tip) columns.push_back("strain_hardening");
    columns.insert(columns.end(), {"criteria_openings", "criteria_change"});
    if (margin_column(matrix, settings)) columns.push_back("strain_hardening_margin");
    return columns;
}

bool is_verdict_column(const std::string& column) {
    return column == "strain_hardening" || column == "strain_hardening_margin";
}

std::string number_cell(double x) {
    return std::isfinite(x) ? shortest_number_text(x) : std::string();
}

std::vector<std::string> criteria_cells(const LawCriteria& c, const MatrixProperties& matrix,
                                        const CriteriaSettings& settings) {
    const auto verdict = [](const std::optional<bool>& v) { return v ? (*v ? "yes" : "no") : ""; };
    std::vector<std::string> cells;
    for (const double x :
         {c.sigma_max, c.P_max, c.Wcr_peak, c.ratio_initial, c.ratio_at_peak, c.J_b_prime, c.G_b}) {
        cells.push_back(number_cell(x));
    }
    if (matrix.sigma_fc) cells.push_back(number_cell(c.psh_strength.value_or(0)));
    if (matrix.J_tip) cells.push_back(number_cell(c.psh_energy.value_or(0)));
    if (matrix.sigma_fc && matrix.J_tip) {
        cells.push_back(c.strain_hardening.value_or(false) ? "yes" : "no");
    }
    cells.push_back(std::to_string(c.openings));
    cells.push_back(c.change ? number_cell(*c.change) : std::string());
    if (margin_column(matrix, settings)) cells.push_back(verdict(c.strain_hardening_margin));
    return cells;
}

std::string csv_cell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char ch : text) {
        if (ch == '"') quoted += '"';
        quoted += ch;
    }
    return quoted + "\"";
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\r') {
            out += "\\r";
        } else if (ch == '\t') {
            out += "\\t";
        } else if (u < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
            out += buffer;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

namespace {

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A number's text as JSON takes it: JSON has no infinity or NaN.
std::string json_number(const std::string& text) {
    if (text.empty() || text == "inf" || text == "-inf" || text == "nan" || text == "-nan") {
        return "null";
    }
    return text;
}

}  // namespace

std::string json_value(const std::string& column, const std::string& cell, bool numeric) {
    if (is_verdict_column(column)) {
        return cell == "yes" ? "true" : cell == "no" ? "false" : "null";
    }
    return numeric ? json_number(cell) : json_string(cell);
}

std::optional<FileFailure> SummaryFile::open(const std::string& path,
                                             std::vector<std::string> columns) {
    columns_ = std::move(columns);
    json_ = ends_with(path, ".jsonl");
    if (auto failure = file_.open(path)) return failure;
    if (json_) return std::nullopt;
    std::string header;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        header += (c == 0 ? "" : ",") + csv_cell(columns_[c]);
    }
    return file_.write_line(header + "\n");
}

std::optional<FileFailure> SummaryFile::write_row(const std::vector<std::string>& cells,
                                                  const std::vector<bool>& numeric) {
    std::string line;
    if (json_) {
        line = "{";
        for (std::size_t c = 0; c < columns_.size() && c < cells.size(); ++c) {
            const std::string value =
                json_value(columns_[c], cells[c], c < numeric.size() && numeric[c]);
            line += (c == 0 ? "" : ",") + json_string(columns_[c]) + ":" + value;
        }
        line += "}\n";
    } else {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            line += (c == 0 ? "" : ",") + csv_cell(cells[c]);
        }
        line += "\n";
    }
    return file_.write_line(line);
}

std::optional<FileFailure> SummaryFile::close() {
    return file_.close();
}

std::optional<std::string> write_law_summary(const std::string& path, const LawCriteria& criteria,
                                             const MatrixProperties& matrix,
                                             const CriteriaSettings& settings,
                                             double orientation_weight_error) {
    SummaryFile file;
    std::vector<std::string> columns = criteria_columns(matrix, settings);
    columns.push_back(orientation_weight_column);
    std::vector<bool> numeric;
    for (const std::string& column : columns) numeric.push_back(!is_verdict_column(column));
    std::vector<std::string> cells = criteria_cells(criteria, matrix, settings);
    cells.push_back(number_cell(orientation_weight_error));
    std::optional<FileFailure> failure = file.open(path, columns);
    if (!failure) failure = file.write_row(cells, numeric);
    const std::optional<FileFailure> closing = file.close();
    if (!failure) failure = closing;
    if (failure) return "writing " + path + " failed: " + failure->description;
    return std::nullopt;
}

std::string criteria_report(const LawCriteria& c, const CriteriaSettings& settings) {
    if (!c.available()) return "No criteria: " + c.why_none + ".\n";
    const auto line = [](const char* name, double x, const char* unit) {
        return std::string(name) + " = " + shortest_number_text(x) + unit + "\n";
    };
    std::string text = line("sigma_max", c.sigma_max, " MPa") + line("P_max", c.P_max, " N") +
                       line("Wcr_peak", c.Wcr_peak, " mm") +
                       line("ratio_initial", c.ratio_initial, "") +
                       line("ratio_at_peak", c.ratio_at_peak, "") +
                       line("J_b_prime", c.J_b_prime, " J/m2") + line("G_b", c.G_b, " J/m2");
    if (c.psh_strength) text += line("psh_strength", *c.psh_strength, "");
    if (c.psh_energy) text += line("psh_energy", *c.psh_energy, "");
    if (c.strain_hardening) {
        text += std::string("strain_hardening = ") + (*c.strain_hardening ? "yes" : "no") + "\n";
    }
    if (c.strain_hardening_margin && settings.psh_margins) {
        text +=
            "strain_hardening_margin = " + std::string(*c.strain_hardening_margin ? "yes" : "no") +
            " (psh_strength >= " + shortest_number_text(settings.psh_margins->strength) +
            ", psh_energy >= " + shortest_number_text(settings.psh_margins->energy) + ")\n";
    }
    const std::string openings = std::to_string(c.openings) + " openings";
    if (c.source == CriteriaSource::steps) {
        return text + "Criteria from the " + std::to_string(c.openings) +
               " steps, trapezoids from (0, 0).\n";
    }
    const auto two_digits = [](double x) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2g", x);
        return std::string(text);
    };
    const std::string change = c.change ? two_digits(*c.change) : "none";
    if (c.converged) {
        return text + "Criteria converged on " + openings + " of their own in " +
               std::to_string(c.laws) + " laws (last change " + change + ", tolerance " +
               two_digits(settings.tolerance) + ").\n";
    }
    return text + "Criteria NOT converged: the last change " + change + " after " +
           std::to_string(c.laws) + " laws on " + openings + " is above the tolerance " +
           two_digits(settings.tolerance) + ".\n";
}

}  // namespace quarnel
