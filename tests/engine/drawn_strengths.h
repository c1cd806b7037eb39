#pragma once

#include <cstdint>
#include <vector>

#include "engine/calculation_inputs.h"

namespace quarnel::reference {

// The bridging law of a specimen whose fibers each have a strength of their
// own: every fiber of a cell draws its rupture load from the Weibull law of
// modulus weibull_m whose scale is the cell's rupture load, and breaks at the
// first opening at which its load exceeds it. A cell with the count c of
// fibers (w_xy w_zx fiber_number_coefficient) draws
// ceil(most_fibers c / c_max) of them, at least one, so that the cells that
// carry the law draw thousands; it adds c times the mean over its drawn
// fibers of the load each still carries, and c times their intact share.
// Written from the model's description; it shares no code with the engine.
struct DrawnStep {
    double P = 0;
    double N_eff = 0;
    // Standard errors of P and N_eff, from each cell's share of intact
    // fibers (the most a share can scatter where a cell drew one fiber).
    double P_error = 0;
    double N_eff_error = 0;
};
std::vector<DrawnStep> drawn_strength_run(const CalculationInputs& in,
                                          const std::vector<double>& openings, int most_fibers,
                                          std::uint64_t seed);

}  // namespace quarnel::reference
