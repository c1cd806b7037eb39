#include "ticks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quarnel {

AxisTicks round_axis(double low, double high, int target) {
    if (!std::isfinite(low) || !std::isfinite(high)) low = 0, high = 1;
    if (low > high) std::swap(low, high);
    if (high - low <= std::abs(high) * 1e-12) {
        const double pad = low == 0 ? 1 : std::abs(low) * 0.1;
        low -= pad;
        high += pad;
    }
    target = std::max(target, 2);
    const double raw = (high - low) / target;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power * 10;
    for (const double m : {1.0, 2.0, 5.0}) {
        if (raw <= m * power * 1.0000001) {
            step = m * power;
            break;
        }
    }
    AxisTicks axis;
    axis.step = step;
    // Ticks as whole multiples of the step, so that a label never shows the
    // rounding of repeated sums.
    const long first = static_cast<long>(std::floor(low / step + 1e-9));
    const long last = static_cast<long>(std::ceil(high / step - 1e-9));
    axis.low = static_cast<double>(first) * step;
    axis.high = static_cast<double>(last) * step;
    for (long k = first; k <= last; ++k) axis.ticks.push_back(static_cast<double>(k) * step);
    axis.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    return axis;
}

std::string tick_label(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string label = text;
    if (label.find_first_not_of("-0.") == std::string::npos && label[0] == '-') label.erase(0, 1);
    return label;
}

}  // namespace quarnel
