#include "measured_curve.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "engine/text_to_number.h"

namespace quarnel {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view t) {
    while (!t.empty() && is_blank(t.front())) t.remove_prefix(1);
    while (!t.empty() && is_blank(t.back())) t.remove_suffix(1);
    return t;
}

bool has_blank(std::string_view t) {
    return std::any_of(t.begin(), t.end(), is_blank);
}

// Whether a line without semicolons or tabs is split at its commas: when it
// holds one (or, for lines of many values, one or more) and no part holds a
// blank, so that "0,5 1,25" keeps its decimal commas.
bool comma_separates(std::string_view t, bool many) {
    const auto commas = std::count(t.begin(), t.end(), ',');
    if (commas == 0 || (!many && commas != 1)) return false;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = t.find(',', from);
        if (has_blank(trimmed(t.substr(from, at == std::string_view::npos ? t.npos : at - from)))) {
            return false;
        }
        if (at == std::string_view::npos) return true;
        from = at + 1;
    }
}

// A line's values, split at its separator; whether that was a comma.
struct SplitLine {
    std::vector<std::string> values;
    bool comma_separated = false;
};

SplitLine split_line(std::string_view line, bool many) {
    SplitLine split;
    const auto split_at = [&](char separator) {
        std::size_t from = 0;
        for (;;) {
            const std::size_t at = line.find(separator, from);
            split.values.emplace_back(
                trimmed(line.substr(from, at == std::string_view::npos ? line.npos : at - from)));
            if (at == std::string_view::npos) break;
            from = at + 1;
        }
    };
    const std::string_view t = trimmed(line);
    if (t.find(';') != t.npos) {
        split_at(';');
    } else if (t.find('\t') != t.npos) {
        split_at('\t');
    } else if (comma_separates(t, many)) {
        split_at(',');
        split.comma_separated = true;
    } else {
        std::size_t at = 0;
        while (at < t.size()) {
            const std::size_t end = std::min(t.find(' ', at), t.size());
            split.values.emplace_back(t.substr(at, end - at));
            at = end;
            while (at < t.size() && t[at] == ' ') ++at;
        }
    }
    return split;
}

// "inf", "-Infinity", "nan" and the like: numbers, but not finite ones.
bool is_non_finite_word(std::string_view t) {
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) t.remove_prefix(1);
    std::string lower(t);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "inf" || lower == "infinity" || lower == "nan";
}

// A value of a data row: the number, or the reason it is none.
struct ValueReading {
    std::optional<double> value;
    std::string reason;
};

ValueReading read_value(const std::string& text, bool comma_separated, const char* what) {
    std::string t = text;
    if (!comma_separated) std::replace(t.begin(), t.end(), ',', '.');
    const std::string quoted = "\"" + text + "\"";
    if (text.empty()) return {std::nullopt, std::string("the ") + what + " is empty"};
    if (is_non_finite_word(t)) {
        return {std::nullopt,
                std::string("the ") + what + " " + quoted + " is not a finite number"};
    }
    if (!is_decimal_number(t)) {
        return {std::nullopt, std::string("the ") + what + " " + quoted + " is not a number"};
    }
    const double value = read_number(t);
    if (!std::isfinite(value)) {
        return {std::nullopt, std::string("the ") + what + " " + quoted +
                                  " is not a finite number (beyond the range of numbers)"};
    }
    return {value, ""};
}

}  // namespace

std::string measured_limit_text(double value) {
    return (value < 0 ? "-" : "") + std::string(measured_value_limit_text);
}

namespace {

bool looks_numeric(const std::string& text, bool comma_separated) {
    std::string t = text;
    if (!comma_separated) std::replace(t.begin(), t.end(), ',', '.');
    return is_decimal_number(t) || is_non_finite_word(t);
}

}  // namespace

std::variant<std::vector<MeasuredPoint>, CurveRefusal> read_measured_curve(
    std::string_view text, const MeasuredLayout& layout) {
    if (layout.skip < 0 ||
        (layout.columns && (layout.columns->first < 1 || layout.columns->second < 1))) {
        throw std::invalid_argument("read_measured_curve: columns count from 1, skip from 0");
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const bool many = layout.columns.has_value();
    // The columns read, from 0, and the values a line must hold.
    const std::size_t opening_at = many ? static_cast<std::size_t>(layout.columns->first) - 1 : 0;
    const std::size_t stress_at = many ? static_cast<std::size_t>(layout.columns->second) - 1 : 1;
    const std::size_t needed = std::max(opening_at, stress_at) + 1;
    // A refusal of a value names its column when the columns were chosen.
    const auto at_column = [&](int line, std::size_t index, std::string reason) {
        return CurveRefusal{line, std::move(reason), many ? static_cast<int>(index) + 1 : 0};
    };
    std::vector<MeasuredPoint> points;
    bool first = true;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == text.npos ? text.size() : end + 1);
        if (number <= layout.skip) continue;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string_view t = trimmed(line);
        if (t.empty() || t.front() == '#') continue;
        const SplitLine split = split_line(t, many);
        if (first) {
            first = false;
            const bool header = std::none_of(
                split.values.begin(), split.values.end(),
                [&](const std::string& v) { return looks_numeric(v, split.comma_separated); });
            if (header) continue;
        }
        if (!many && split.values.size() != 2) {
            return CurveRefusal{number,
                                "expected two values (opening in mm, stress in MPa), found " +
                                    std::to_string(split.values.size())};
        }
        if (split.values.size() < needed) {
            return CurveRefusal{
                number, "expected at least " + std::to_string(needed) +
                            " values (the opening in column " + std::to_string(opening_at + 1) +
                            ", the stress in column " + std::to_string(stress_at + 1) +
                            "), found " + std::to_string(split.values.size())};
        }
        const std::string& opening_text = split.values[opening_at];
        const std::string& stress_text = split.values[stress_at];
        const ValueReading opening = read_value(opening_text, split.comma_separated, "opening");
        if (!opening.value) return at_column(number, opening_at, opening.reason);
        const ValueReading stress = read_value(stress_text, split.comma_separated, "stress");
        if (!stress.value) return at_column(number, stress_at, stress.reason);
        if (*opening.value < 0) {
            return at_column(number, opening_at, "the opening " + opening_text + " is negative");
        }
        if (*opening.value > measured_value_limit) {
            return at_column(
                number, opening_at,
                "the opening " + opening_text + " is beyond " + measured_limit_text(1) + " mm");
        }
        if (std::abs(*stress.value) > measured_value_limit) {
            return at_column(number, stress_at,
                             "the stress " + stress_text + " is beyond " +
                                 measured_limit_text(*stress.value) +
                                 " MPa, which a fit cannot square");
        }
        points.push_back({*opening.value + 0.0, *stress.value, number});
    }
    if (points.empty()) {
        if (layout.skip > 0 && number <= layout.skip) {
            return CurveRefusal{0, "the file holds " + std::to_string(number) +
                                       (number == 1 ? " line" : " lines") + ", none after the " +
                                       std::to_string(layout.skip) + " skipped"};
        }
        return CurveRefusal{0, "the file holds no data rows"};
    }
    return points;
}

std::optional<double> read_decimal_number(std::string_view text) {
    if (!is_decimal_number(text)) return std::nullopt;
    return read_number(text);
}

CurveCriteria measured_curve_criteria(const std::vector<double>& openings,
                                      const std::vector<double>& stresses) {
    const std::size_t n = std::min(openings.size(), stresses.size());
    if (n == 0) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan, nan, nan};
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return openings[a] < openings[b]; });
    // 1 MPa mm = 1 N/mm = 1000 J/m2.
    constexpr double joules_per_square_metre_per_MPa_mm = 1000;
    double w = 0;
    double sigma = 0;
    double integral = 0;  // MPa mm
    double integral_at_peak = 0;
    CurveCriteria c;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = order[k];
        integral += (sigma + stresses[i]) * (openings[i] - w) / 2;
        w = openings[i];
        sigma = stresses[i];
        if (k == 0 || sigma >= c.sigma_max) {
            c.sigma_max = sigma;
            c.Wcr_peak = w;
            integral_at_peak = integral;
        }
    }
    c.J_b_prime =
        (c.sigma_max * c.Wcr_peak - integral_at_peak) * joules_per_square_metre_per_MPa_mm;
    c.G_b = integral * joules_per_square_metre_per_MPa_mm;
    return c;
}

std::string curve_refusal_text(const CurveRefusal& refusal) {
    if (refusal.line == 0) return refusal.reason;
    const std::string column =
        refusal.column > 0 ? ", column " + std::to_string(refusal.column) : std::string();
    return "line " + std::to_string(refusal.line) + column + ": " + refusal.reason;
}

}  // namespace quarnel
