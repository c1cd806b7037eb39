#include "sample_report.h"

#include <cmath>
#include <cstdio>

#include "app/study_output.h"
#include "engine/text_to_number.h"
#include "quarnel_version.h"

namespace quarnel {

namespace {

std::string json_number(double x) {
    return std::isfinite(x) ? shortest_number_text(x) : std::string("null");
}

// Six significant digits, for reading on a terminal; "-" where no number.
std::string short_text(double x) {
    if (!std::isfinite(x)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", x);
    return text;
}

std::string padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

std::string statistics_csv(const SampleStatistics& s) {
    std::string text = "quantity,count,refused,mean,sd,q05,q50,q95,hits,probability,ci_low,ci_high";
    for (const std::string& input : s.inputs) text += "," + csv_cell("spearman_" + input);
    text += "\n";
    const std::string refused = std::to_string(s.refused);
    for (const CriterionStatistics& c : s.criteria) {
        text += c.name + "," + std::to_string(c.count) + "," + refused;
        for (const double x : {c.mean, c.sd, c.q05, c.q50, c.q95}) text += "," + number_cell(x);
        text += ",,,,";
        for (const double rho : c.spearman) text += "," + number_cell(rho);
        text += "\n";
    }
    for (const ProbabilityEstimate& p : s.probabilities) {
        text += p.name + "," + std::to_string(p.count) + "," + refused + ",,,,,," +
                std::to_string(p.hits);
        for (const double x : {p.probability, p.low, p.high}) text += "," + number_cell(x);
        text += std::string(s.inputs.size(), ',') + "\n";
    }
    return text;
}

std::string statistics_json(const SampleStatistics& s) {
    std::string text = "{\"runs\":" + std::to_string(s.runs) +
                       ",\"refused\":" + std::to_string(s.refused) + ",\"inputs\":[";
    for (std::size_t i = 0; i < s.inputs.size(); ++i) {
        text += (i == 0 ? "" : ",") + json_string(s.inputs[i]);
    }
    text += "],\"criteria\":{";
    for (std::size_t k = 0; k < s.criteria.size(); ++k) {
        const CriterionStatistics& c = s.criteria[k];
        text += (k == 0 ? "" : ",") + json_string(c.name) +
                ":{\"count\":" + std::to_string(c.count) + ",\"mean\":" + json_number(c.mean) +
                ",\"sd\":" + json_number(c.sd) + ",\"q05\":" + json_number(c.q05) +
                ",\"q50\":" + json_number(c.q50) + ",\"q95\":" + json_number(c.q95) +
                ",\"spearman\":{";
        for (std::size_t i = 0; i < s.inputs.size(); ++i) {
            text +=
                (i == 0 ? "" : ",") + json_string(s.inputs[i]) + ":" + json_number(c.spearman[i]);
        }
        text += "}}";
    }
    text += "},\"probabilities\":{";
    for (std::size_t k = 0; k < s.probabilities.size(); ++k) {
        const ProbabilityEstimate& p = s.probabilities[k];
        text += (k == 0 ? "" : ",") + json_string(p.name) +
                ":{\"count\":" + std::to_string(p.count) + ",\"hits\":" + std::to_string(p.hits) +
                ",\"probability\":" + json_number(p.probability) +
                ",\"low\":" + json_number(p.low) + ",\"high\":" + json_number(p.high) + "}";
    }
    // Last, so that readers of the keys before it are not disturbed.
    return text + "},\"quarnel_version\":" + json_string(version) + "}\n";
}

std::string statistics_text(const SampleStatistics& s) {
    std::string text = "Statistics of " + std::to_string(s.runs - s.refused) + " computed runs";
    text += s.refused == 0
                ? ":\n"
                : " (" + std::to_string(s.refused) +
                      (s.refused == 1 ? " refused run" : " refused runs") + " left out):\n";
    const std::size_t first = 16;
    const std::size_t width = 13;
    text += padded("criterion", first);
    for (const char* h : {"mean", "sd", "5 %", "50 %", "95 %"}) text += padded(h, width);
    text += "\n";
    for (const CriterionStatistics& c : s.criteria) {
        text += padded(c.name, first);
        for (const double x : {c.mean, c.sd, c.q05, c.q50, c.q95})
            text += padded(short_text(x), width);
        text += "\n";
    }
    if (!s.inputs.empty()) {
        text += "Spearman rank correlation of each criterion with each sampled input:\n";
        text += padded("criterion", first);
        for (const std::string& input : s.inputs) text += padded(input, width);
        text += "\n";
        for (const CriterionStatistics& c : s.criteria) {
            text += padded(c.name, first);
            for (const double rho : c.spearman) {
                char cell[32];
                std::snprintf(cell, sizeof cell, "%.3f", rho);
                text += padded(std::isfinite(rho) ? cell : "-", width);
            }
            text += "\n";
        }
    }
    for (const ProbabilityEstimate& p : s.probabilities) {
        text += "P(" + p.name + ") = " + short_text(p.probability) + ", 95 % Wilson interval " +
                short_text(p.low) + " to " + short_text(p.high) + " (" + std::to_string(p.hits) +
                " of " + std::to_string(p.count) + " runs)\n";
    }
    return text;
}

}  // namespace quarnel
