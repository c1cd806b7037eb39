#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "engine/calculation_inputs.h"

namespace quarnel {

// Wcr_mid: delta_max (Constant model) or C (Lf/2)^D (Function lb model), with
// Lf/2 rounded to 32 bits.
double mid_opening(const CalculationInputs& inputs);

// The "Division" scheme's opening of step n: Wcr_mid n / N up to N = division,
// then Wcr_mid + (Lf/2 - Wcr_mid)(n - N) / N, with Lf/2 rounded to 32 bits.
double crack_opening(const CalculationInputs& inputs, double Wcr_mid, int n);

// The openings of steps 0 .. 2 division; none when division is below 0.
std::vector<double> division_openings(const CalculationInputs& inputs);

// The position of the first opening that is negative or not a finite number.
std::optional<std::size_t> first_invalid_opening(const std::vector<double>& openings);

}  // namespace quarnel
