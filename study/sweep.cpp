#include "sweep.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "engine/text_to_number.h"
#include "study/list_text.h"

namespace quarnel {

namespace {

// A range's bound: the whole text must be a number, read by the field rule.
double bound(const std::string& text, const std::string& what) {
    const NumberReading reading = read_number_text(text);
    if (text.empty() || !reading.ignored.empty() || !std::isfinite(reading.value)) {
        throw std::invalid_argument(what + " \"" + text + "\" is not a finite number");
    }
    return reading.value;
}

std::size_t count_of(const std::string& text) {
    const NumberReading reading = read_number_text(text);
    if (text.empty() || !reading.ignored.empty() || reading.value != std::floor(reading.value)) {
        throw std::invalid_argument("the count \"" + text + "\" is not a whole number");
    }
    if (reading.value < 1) throw std::invalid_argument("the count must be at least 1");
    if (reading.value > static_cast<double>(max_sweep_runs)) {
        throw std::invalid_argument("the count must be at most " + std::to_string(max_sweep_runs));
    }
    return static_cast<std::size_t>(reading.value);
}

// Inner point i of a range before its rounding to 15 digits.
double unrounded_point(const SweepRange& range, std::size_t i) {
    const double n = static_cast<double>(range.count - 1);
    const double k = static_cast<double>(i);
    return range.log ? range.start * std::pow(range.stop / range.start, k / n)
                     : range.start + (range.stop - range.start) * (k / n);
}

// Rounded to 15 significant digits, so that 0.005:0.03:11 gives 0.0125
// rather than 0.012499999999999999 and a log range of 0.1:1000:5 gives 1,
// 10 and 100.
double fifteen_digits(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", x);
    return read_number(text);
}

double range_point(const SweepRange& range, std::size_t i) {
    if (i == 0) return range.start;
    // The end exactly, whatever the rounding on the way.
    if (i + 1 == range.count) return range.stop;
    return fifteen_digits(unrounded_point(range, i));
}

// Refuses a range whose points are not all finite numbers. The points are
// monotonic, so the inner points next to the ends are the extremes: only
// they are computed, whatever the count.
void check_range_points(const SweepRange& range, const std::string& text) {
    const auto refuse = [&](const std::string& why) {
        throw std::invalid_argument("the range " + text +
                                    " has points that are not finite numbers: " + why);
    };
    if (!std::isfinite(range.start) || !std::isfinite(range.stop)) refuse("an end is not finite");
    if (range.count <= 2) return;
    if (range.log) {
        const double ratio = range.stop / range.start;
        if (!std::isfinite(ratio)) refuse("the ratio of its ends overflows");
        if (ratio == 0) refuse("the ratio of its ends underflows to 0");
    } else if (!std::isfinite(range.stop - range.start)) {
        refuse("its span overflows");
    }
    for (const std::size_t i : {std::size_t{1}, range.count - 2}) {
        // Checked before the rounding too: an infinity's text reads as 0.
        const double x = unrounded_point(range, i);
        if (!std::isfinite(x) || !std::isfinite(fifteen_digits(x))) {
            refuse("point " + std::to_string(i + 1) + " of " + std::to_string(range.count) +
                   " rounds to infinity");
        }
    }
}

std::string range_text(const SweepRange& range) {
    return shortest_number_text(range.start) + ":" + shortest_number_text(range.stop) + ":" +
           std::to_string(range.count) + (range.log ? ":log" : "");
}

}  // namespace

std::size_t SweepAxis::size() const {
    if (const auto* items = std::get_if<std::vector<std::string>>(&values)) return items->size();
    if (const auto* numbers = std::get_if<std::vector<double>>(&values)) return numbers->size();
    return std::get<SweepRange>(values).count;
}

InputValue SweepAxis::value(std::size_t i) const {
    if (const auto* items = std::get_if<std::vector<std::string>>(&values)) return (*items)[i];
    if (const auto* numbers = std::get_if<std::vector<double>>(&values)) return (*numbers)[i];
    return range_point(std::get<SweepRange>(values), i);
}

double SweepAxis::number(std::size_t i) const {
    if (const auto* items = std::get_if<std::vector<std::string>>(&values)) {
        return read_number((*items)[i]);
    }
    if (const auto* numbers = std::get_if<std::vector<double>>(&values)) return (*numbers)[i];
    return range_point(std::get<SweepRange>(values), i);
}

SweepAxis parse_sweep_axis(const std::string& argument,
                           const std::function<bool(const std::string&)>& name_known) {
    const auto eq = argument.find('=');
    if (eq == std::string::npos) {
        throw std::invalid_argument("\"" + argument + "\" is not NAME=VALUES");
    }
    SweepAxis axis;
    axis.name = trimmed(argument.substr(0, eq));
    const std::string values_text = trimmed(argument.substr(eq + 1));
    if (axis.name.empty()) {
        throw std::invalid_argument("\"" + argument + "\" names no input before the \"=\"");
    }
    if (!name_known(axis.name)) throw std::invalid_argument(axis.name + ": unknown name");
    const std::string where = axis.name + ": ";
    if (values_text.empty()) throw std::invalid_argument(where + "the list of values is empty");
    try {
        if (values_text.find(':') == std::string::npos) {
            std::vector<std::string> items = split(values_text, ',');
            for (const std::string& item : items) {
                if (item.empty()) throw std::invalid_argument("a value of the list is empty");
            }
            axis.values = std::move(items);
            return axis;
        }
        const std::vector<std::string> parts = split(values_text, ':');
        const bool log = parts.size() == 4 && parts[3] == "log";
        if (parts.size() != 3 && !log) {
            throw std::invalid_argument(
                "a range is start:stop:count or start:stop:count:log, not \"" + values_text + "\"");
        }
        SweepRange range;
        range.start = bound(parts[0], "the start");
        range.stop = bound(parts[1], "the stop");
        range.count = count_of(parts[2]);
        range.log = log;
        if (log && !(range.start > 0 && range.stop > 0)) {
            throw std::invalid_argument("a log range needs a start and a stop above 0");
        }
        check_range_points(range, values_text);
        axis.values = range;
    } catch (const std::invalid_argument& e) {
        throw std::invalid_argument(where + e.what());
    }
    return axis;
}

SweepPlan::SweepPlan(const std::vector<SweepAxis>& axes, bool zip) : zip_(zip) {
    if (axes.empty()) throw std::invalid_argument("a sweep needs at least one varied input");
    for (const SweepAxis& a : axes) {
        if (a.size() == 0) throw std::invalid_argument(a.name + ": the list of values is empty");
        if (const auto* range = std::get_if<SweepRange>(&a.values)) {
            try {
                if (range->log && !(range->start > 0 && range->stop > 0)) {
                    throw std::invalid_argument("a log range needs a start and a stop above 0");
                }
                check_range_points(*range, range_text(*range));
            } catch (const std::invalid_argument& e) {
                throw std::invalid_argument(a.name + ": " + e.what());
            }
        }
        sizes_.push_back(a.size());
    }
    if (zip_) {
        runs_ = sizes_.front();
        for (std::size_t a = 1; a < axes.size(); ++a) {
            if (sizes_[a] != runs_) {
                throw std::invalid_argument("zipped lists must be of equal length, but " +
                                            axes.front().name + " has " + std::to_string(runs_) +
                                            " values and " + axes[a].name + " has " +
                                            std::to_string(sizes_[a]));
            }
        }
    } else {
        // Checked factor by factor, so that the product never overflows.
        runs_ = 1;
        for (const std::size_t size : sizes_) {
            if (size > max_sweep_runs / runs_) {
                throw std::invalid_argument("the combinations of the varied lists exceed " +
                                            std::to_string(max_sweep_runs) + " runs");
            }
            runs_ *= size;
        }
    }
    if (runs_ > max_sweep_runs) {
        throw std::invalid_argument("a sweep may have at most " + std::to_string(max_sweep_runs) +
                                    " runs");
    }
}

std::vector<std::size_t> SweepPlan::value_indices(std::size_t r) const {
    std::vector<std::size_t> at(sizes_.size());
    if (zip_) {
        for (std::size_t a = 0; a < sizes_.size(); ++a) at[a] = r;
        return at;
    }
    for (std::size_t a = sizes_.size(); a-- > 0;) {
        at[a] = r % sizes_[a];
        r /= sizes_[a];
    }
    return at;
}

}  // namespace quarnel
