#include "sweep.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "engine/text_to_number.h"

namespace quarnel {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(separator, from);
        parts.push_back(trimmed(text.substr(from, at == std::string::npos ? at : at - from)));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

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
    if (reading.value > 1e9) throw std::invalid_argument("the count must be at most 1000000000");
    return static_cast<std::size_t>(reading.value);
}

}  // namespace

SweepAxis parse_sweep_axis(const std::string& argument,
                           const std::function<bool(const std::string&)>& name_known) {
    const auto eq = argument.find('=');
    if (eq == std::string::npos) {
        throw std::invalid_argument("--vary takes NAME=VALUES, not \"" + argument + "\"");
    }
    SweepAxis axis;
    axis.name = trimmed(argument.substr(0, eq));
    const std::string values_text = trimmed(argument.substr(eq + 1));
    if (!name_known(axis.name)) throw std::invalid_argument("unknown name \"" + axis.name + "\"");
    const std::string where = "--vary " + axis.name + ": ";
    if (values_text.empty()) throw std::invalid_argument(where + "the list of values is empty");
    try {
        if (values_text.find(':') == std::string::npos) {
            for (const std::string& item : split(values_text, ',')) {
                if (item.empty()) throw std::invalid_argument("a value of the list is empty");
                axis.values.emplace_back(item);
                axis.numbers.push_back(read_number(item));
            }
            return axis;
        }
        const std::vector<std::string> parts = split(values_text, ':');
        const bool log = parts.size() == 4 && parts[3] == "log";
        if (parts.size() != 3 && !log) {
            throw std::invalid_argument(
                "a range is start:stop:count or start:stop:count:log, not \"" + values_text + "\"");
        }
        const double start = bound(parts[0], "the start");
        const double stop = bound(parts[1], "the stop");
        const std::size_t count = count_of(parts[2]);
        if (log && !(start > 0 && stop > 0)) {
            throw std::invalid_argument("a log range needs a start and a stop above 0");
        }
        for (std::size_t i = 0; i < count; ++i) {
            double x = start;
            if (i + 1 == count && count > 1) {
                x = stop;  // the end exactly, whatever the rounding on the way
            } else if (i > 0) {
                const double n = static_cast<double>(count - 1);
                const double k = static_cast<double>(i);
                x = log ? start * std::pow(stop / start, k / n) : start + (stop - start) * (k / n);
                // Rounded to 15 significant digits, so that 0.005:0.03:11 gives
                // 0.0125 rather than 0.012499999999999999 and a log range of
                // 0.1:1000:5 gives 1, 10 and 100.
                char text[32];
                std::snprintf(text, sizeof text, "%.15g", x);
                x = read_number(text);
            }
            if (!std::isfinite(x))
                throw std::invalid_argument("a value of the range is not finite");
            axis.values.emplace_back(x);
            axis.numbers.push_back(x);
        }
    } catch (const std::invalid_argument& e) {
        const std::string message = e.what();
        if (message.rfind(where, 0) == 0) throw;
        throw std::invalid_argument(where + message);
    }
    return axis;
}

SweepPlan::SweepPlan(std::vector<SweepAxis> axes, bool zip) : axes_(std::move(axes)), zip_(zip) {
    if (axes_.empty()) throw std::invalid_argument("a sweep needs at least one --vary");
    if (zip_) {
        runs_ = axes_.front().values.size();
        for (const SweepAxis& a : axes_) {
            if (a.values.size() != runs_) {
                throw std::invalid_argument("--zip pairs lists of equal length, but " +
                                            axes_.front().name + " has " + std::to_string(runs_) +
                                            " values and " + a.name + " has " +
                                            std::to_string(a.values.size()));
            }
        }
        return;
    }
    runs_ = 1;
    for (const SweepAxis& a : axes_) {
        if (runs_ > std::numeric_limits<std::size_t>::max() / 2 / a.values.size() ||
            runs_ * a.values.size() > 1000000000) {
            throw std::invalid_argument(
                "the combinations of the --vary lists exceed 1000000000 runs");
        }
        runs_ *= a.values.size();
    }
}

std::vector<std::size_t> SweepPlan::value_indices(std::size_t r) const {
    std::vector<std::size_t> at(axes_.size());
    if (zip_) {
        for (std::size_t a = 0; a < axes_.size(); ++a) at[a] = r;
        return at;
    }
    for (std::size_t a = axes_.size(); a-- > 0;) {
        const std::size_t n = axes_[a].values.size();
        at[a] = r % n;
        r /= n;
    }
    return at;
}

}  // namespace quarnel
