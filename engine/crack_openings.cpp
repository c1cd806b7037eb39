#include "crack_openings.h"

#include <cmath>

namespace quarnel {

namespace {

float half_fiber_length(const CalculationInputs& inputs) {
    return static_cast<float>(static_cast<double>(inputs.Lf) / 2);
}

}  // namespace

double mid_opening(const CalculationInputs& inputs) {
    if (inputs.is_constant_model()) return inputs.delta_max;
    return inputs.C * std::pow(static_cast<double>(half_fiber_length(inputs)), inputs.D);
}

double crack_opening(const CalculationInputs& inputs, double Wcr_mid, int n) {
    const int N = inputs.division;
    if (n <= N) return Wcr_mid * n / N;
    return Wcr_mid + (half_fiber_length(inputs) - Wcr_mid) * (n - N) / N;
}

std::vector<double> division_openings(const CalculationInputs& inputs) {
    std::vector<double> openings;
    if (inputs.division < 0) return openings;
    // The last step number is 2 division in 16-bit arithmetic; the checks keep
    // division at most 16383, so it fits.
    const int last = static_cast<std::int16_t>(2 * inputs.division);
    const double Wcr_mid = mid_opening(inputs);
    openings.reserve(static_cast<std::size_t>(last) + 1);
    for (int n = 0; n <= last; ++n) openings.push_back(crack_opening(inputs, Wcr_mid, n));
    return openings;
}

std::optional<std::size_t> first_invalid_opening(const std::vector<double>& openings) {
    for (std::size_t n = 0; n < openings.size(); ++n) {
        if (!std::isfinite(openings[n]) || openings[n] < 0) return n;
    }
    return std::nullopt;
}

}  // namespace quarnel
