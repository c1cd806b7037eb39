#include "pullout_law.h"

#include <cmath>

namespace quarnel {

Corner compute_corner(const CalculationInputs& inputs, float lb, double theta_s) {
    const double lbd = lb;
    const float fp = static_cast<float>(inputs.fp0 + static_cast<double>(inputs.fp1) * lbd);
    const float fd = static_cast<float>(inputs.fd0 + static_cast<double>(inputs.fd1) * lbd);
    double P_base = inputs.Pmax;
    double delta_base = inputs.delta_max;
    if (!inputs.is_constant_model()) {
        P_base = inputs.A() * std::pow(lbd, inputs.B());
        delta_base = inputs.C * std::pow(lbd, inputs.D);
    }
    return {static_cast<float>(P_base * std::exp(fp * theta_s)),
            static_cast<float>(delta_base * std::exp(fd * theta_s))};
}

double rupture_load(const CalculationInputs& inputs, double theta_s) {
    return inputs.sigma_fu * std::exp(-static_cast<double>(inputs.f_reduction) * theta_s) *
           static_cast<double>(inputs.Af);
}

float rising_ratio(const PulloutCell& cell) {
    return static_cast<float>(static_cast<double>(cell.P1) / cell.delta1);
}

float falling_slope(const PulloutCell& cell) {
    return static_cast<float>(-static_cast<double>(cell.P1) /
                              (static_cast<double>(cell.lb) - cell.delta1));
}

CellResponse evaluate_cell(const PulloutCell& cell, double Wcr, double P_rupture) {
    if (Wcr >= cell.lb) return {0.0, 0};
    double P_fiber = 0;
    if (Wcr <= cell.delta1) {
        P_fiber = Wcr * rising_ratio(cell);
    } else {
        P_fiber = cell.P1 + falling_slope(cell) * (Wcr - cell.delta1);
    }
    // Equal to the rupture load still holds.
    if (P_fiber > P_rupture) return {0.0, 0};
    return {P_fiber, 1};
}

}  // namespace quarnel
