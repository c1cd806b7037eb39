#pragma once

#include <cstdint>

#include "engine/bilinear_law.h"
#include "engine/calculation_inputs.h"

namespace quarnel {

// Peak load and displacement at peak of one fiber, snubbing included:
//   fp = fp0 + fp1 lb, fd = fd0 + fd1 lb (each rounded to 32 bits),
//   P1 = P_base exp(fp theta_s), delta1 = delta_base exp(fd theta_s),
// with P_base = Pmax, delta_base = delta_max (Constant model) or
// P_base = A lb^B, delta_base = C lb^D (Function lb model).
struct Corner {
    float P1 = 0;
    float delta1 = 0;
};
Corner compute_corner(const CalculationInputs& inputs, float lb, double theta_s);

// The parts of compute_corner, for callers that reuse its exponentials:
// fp and fd rounded to 32 bits, the base values by model, and the corner
// from the base values and exp(fp theta_s), exp(fd theta_s).
struct SnubbingCoefficients {
    float fp = 0;
    float fd = 0;
};
inline SnubbingCoefficients snubbing_coefficients(const CalculationInputs& inputs, float lb) {
    const double lbd = lb;
    return {static_cast<float>(inputs.fp0 + static_cast<double>(inputs.fp1) * lbd),
            static_cast<float>(inputs.fd0 + static_cast<double>(inputs.fd1) * lbd)};
}
struct BaseValues {
    double P_base = 0;
    double delta_base = 0;
};
BaseValues base_values(const CalculationInputs& inputs, float lb);
inline Corner snubbed_corner(const BaseValues& base, double exp_fp_theta, double exp_fd_theta) {
    return {static_cast<float>(base.P_base * exp_fp_theta),
            static_cast<float>(base.delta_base * exp_fd_theta)};
}

// P_rupture = (sigma_fu exp(-f_reduction theta_s)) Af, N.
double rupture_load(const CalculationInputs& inputs, double theta_s);

struct PulloutCell {
    float lb = 0;
    float P1 = 0;
    float delta1 = 0;
};

struct CellResponse {
    double P_fiber = 0;
    std::int16_t fiber_flag = 1;
};

// The bi-linear law for a still-bridging cell at the crack opening Wcr:
// pulled out when Wcr >= lb; rising Wcr * r with r = P1 / delta1 (32-bit)
// when Wcr <= delta1; else falling P1 + s (Wcr - delta1) with
// s = -P1 / (lb - delta1) (32-bit). A load strictly above P_rupture breaks
// the fiber. A dropped cell answers 0 and flag 0.
CellResponse evaluate_cell(const PulloutCell& cell, double Wcr, double P_rupture);

// The 32-bit ratio and slope of the two branches, as evaluate_cell rounds them.
inline float rising_ratio(const PulloutCell& cell) {
    return static_cast<float>(static_cast<double>(cell.P1) / cell.delta1);
}
inline float falling_slope(const PulloutCell& cell) {
    return static_cast<float>(-static_cast<double>(cell.P1) /
                              (static_cast<double>(cell.lb) - cell.delta1));
}

// The cell with its ratio, slope and rupture load, as the law uses it.
inline BilinearCell bilinear_cell(const PulloutCell& cell, double P_rupture) {
    return {cell.lb, cell.delta1, cell.P1, rising_ratio(cell), falling_slope(cell), P_rupture};
}

}  // namespace quarnel
