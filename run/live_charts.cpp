#include "live_charts.h"

#include <cmath>

namespace quarnel {

namespace {

bool usable(double low, double high) {
    return std::isfinite(low) && std::isfinite(high) && low != high;
}

}  // namespace

ChartRanges chart_ranges(const CalculationInputs& in) {
    ChartRanges r;
    const double half_Lf = static_cast<double>(in.Lf) / 2;
    r.x_min = static_cast<float>(-half_Lf / 20);
    r.x_max = half_Lf * 1.05;
    const double total = in.total_fiber;
    const double Am = in.Am;
    r.sigma_min = -(total * in.Pmax / Am) / 10;
    if (in.is_constant_model()) {
        r.sigma_max = total * in.Pmax / Am;
    } else {
        r.sigma_max = 0.5 * total * in.A() * std::pow(half_Lf, in.B()) / Am;
    }
    r.fiber_drawn = usable(r.x_min, r.x_max);
    r.load_drawn = r.fiber_drawn && usable(r.sigma_min, r.sigma_max);
    return r;
}

ChartRanges prepare_load_chart(ChartSurface& load_chart, const CalculationInputs& inputs) {
    const ChartRanges r = chart_ranges(inputs);
    load_chart.clear();
    if (!r.load_drawn) return r;
    load_chart.set_scale(r.x_min, r.sigma_max, r.x_max, r.sigma_min);
    load_chart.line(r.x_min, 0, r.x_max, 0, axis_grey);
    load_chart.line(0, r.sigma_min, 0, r.sigma_max, axis_grey);
    return r;
}

void prepare_fiber_chart(ChartSurface& fiber_chart, const ChartRanges& r) {
    fiber_chart.clear();
    if (!r.fiber_drawn) return;
    fiber_chart.set_scale(r.x_min, 1, r.x_max, 0);
    fiber_chart.line(0, 1, 0, 0, axis_grey);
    // Counted in tenths rather than summed in steps of 0.1, so the last line
    // lies at 1 exactly, on the top edge.
    for (int tenth = 0; tenth <= 10; ++tenth) {
        const double ratio = tenth / 10.0;
        fiber_chart.line(r.x_min, ratio, r.x_max, ratio, grid_grey);
    }
}

void plot_step(ChartSurface& load_chart, ChartSurface& fiber_chart, const ChartRanges& r, int n,
               double Wcr, double sigma, double effective_fiber_ratio) {
    if (r.load_drawn) {
        if (n == 0) {
            load_chart.point(Wcr, sigma, load_blue);
        } else {
            load_chart.line_to(Wcr, sigma, load_blue);
        }
    }
    if (r.fiber_drawn) {
        if (n == 0) {
            fiber_chart.point(Wcr, effective_fiber_ratio, fiber_green);
        } else {
            fiber_chart.line_to(Wcr, effective_fiber_ratio, fiber_green);
        }
    }
}

}  // namespace quarnel
