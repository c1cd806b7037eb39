#include "pullout_law.h"

#include <cmath>

namespace quarnel {

BaseValues base_values(const CalculationInputs& inputs, float lb) {
    if (inputs.is_constant_model()) return {inputs.Pmax, inputs.delta_max};
    const double lbd = lb;
    return {inputs.A() * std::pow(lbd, inputs.B()), inputs.C * std::pow(lbd, inputs.D)};
}

Corner compute_corner(const CalculationInputs& inputs, float lb, double theta_s) {
    const SnubbingCoefficients f = snubbing_coefficients(inputs, lb);
    return snubbed_corner(base_values(inputs, lb), std::exp(f.fp * theta_s),
                          std::exp(f.fd * theta_s));
}

double rupture_load(const CalculationInputs& inputs, double theta_s) {
    return inputs.sigma_fu * std::exp(-static_cast<double>(inputs.f_reduction) * theta_s) *
           static_cast<double>(inputs.Af);
}

CellResponse evaluate_cell(const PulloutCell& cell, double Wcr, double P_rupture) {
    const auto r = bilinear_response(bilinear_cell(cell, P_rupture), Wcr);
    if (r.dropped) return {0.0, 0};
    return {r.load, 1};
}

}  // namespace quarnel
