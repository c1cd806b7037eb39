#pragma once

#include <string>
#include <vector>

namespace quarnel {

// An axis over round numbers: its ends are multiples of the step, which is
// 1, 2 or 5 times a power of ten, and every multiple between them is a tick.
struct AxisTicks {
    double low = 0;
    double high = 1;
    double step = 0.2;
    std::vector<double> ticks;
    int decimals = 1;  // digits after the point that every tick's label needs
};

// The axis that holds [low, high] with about `target` intervals. An empty
// or degenerate range gets a unit range around its value; values that are
// not finite are left out by the caller.
AxisTicks round_axis(double low, double high, int target = 5);

// A tick's label: fixed point with the axis's decimals, "-0" written as "0".
std::string tick_label(double value, int decimals);

}  // namespace quarnel
