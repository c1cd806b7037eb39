#pragma once

#include "engine/calculation_inputs.h"
#include "run/chart_surface.h"

namespace quarnel {

inline constexpr Rgb axis_grey{128, 128, 128};
inline constexpr Rgb grid_grey{200, 200, 200};
inline constexpr Rgb load_blue{0, 0, 255};
inline constexpr Rgb fiber_green{10, 70, 10};

// The coordinate ranges of one run's charts. A chart whose range is empty or
// not finite (Pmax or Vf of 0, Lf of 0) is not drawn for the run.
struct ChartRanges {
    double x_min = 0;  // -(Lf / 2) / 20, rounded to 32 bits
    double x_max = 0;  // (Lf / 2) * 1.05
    double sigma_min = 0;
    double sigma_max = 0;
    bool load_drawn = false;
    bool fiber_drawn = false;
};

// sigma_max: total_fiber Pmax / Am (Constant model) or
// 0.5 total_fiber A (Lf/2)^B / Am (Function lb model);
// sigma_min: -(total_fiber t / Am) / 10 with t the number of Text14.
ChartRanges chart_ranges(const CalculationInputs& inputs);

// Clears the load chart, sets its range and draws its two axes.
ChartRanges prepare_load_chart(ChartSurface& load_chart, const CalculationInputs& inputs);

// Clears the fiber chart, sets its range (ratios 0 to 1) and draws its
// vertical axis and the eleven grid lines at the ratios 0, 0.1, ..., 1.
void prepare_fiber_chart(ChartSurface& fiber_chart, const ChartRanges& ranges);

// Step 0 sets a point on each chart; later steps draw a line from the last
// point, so each chart grows one polyline through all steps.
void plot_step(ChartSurface& load_chart, ChartSurface& fiber_chart, const ChartRanges& ranges,
               int n, double Wcr, double sigma, double effective_fiber_ratio);

}  // namespace quarnel
