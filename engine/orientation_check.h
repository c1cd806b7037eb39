#pragma once

#include <string>
#include <vector>

#include "engine/calculation_inputs.h"

namespace quarnel {

// Each plane's 90 orientation weights, w_xy(1..90) and w_zx(1..90), summed in
// cell order. A plane's density integrates to 1 over its period; the sum is
// that integral as the run's cells count it.
struct PlaneWeightSums {
    double xy = 0;
    double zx = 0;
};
PlaneWeightSums orientation_weight_sums(const CalculationInputs& inputs);

// How far a sum may lie from 1 before the user is warned.
inline constexpr double orientation_weight_tolerance = 1e-3;

// The larger |sum - 1| of the two planes: 0 to rounding for moderate
// intensities and for exact weights; NaN when a weight is not a number.
double orientation_weight_error(const CalculationInputs& inputs);

// One warning per plane whose sum lies away from 1 by more than the
// tolerance, x-y first: the plane, its sum, its intensity and principal
// angle, what the sum does to the fiber count, the effective fiber ratio and
// the stresses, and the exact weights that mend it.
std::vector<std::string> orientation_weight_warnings(const CalculationInputs& inputs);

}  // namespace quarnel
