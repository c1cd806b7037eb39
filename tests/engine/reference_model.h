#pragma once

#include <vector>

#include "engine/bridging_law.h"
#include "engine/calculation_inputs.h"

namespace quarnel::reference {

// The bridging law computed literally, cell by cell and step by step, the way
// the model reads: every cell gets its corner values, and every step
// evaluates the snubbing angle, the rupture load and both weights again for
// each still-bridging cell; with weibull_m > 0, each cell's load and count are
// weighted by exp(-(L / P_rupture)^m), L its largest load so far, and no cell
// ruptures at one load. It is slow on purpose and shares no code with the
// engine's computation, so it serves as the oracle the engine must match bit
// for bit, and as the benchmarks' baseline.
struct Tables {
    std::vector<short> fiber_flag;
    std::vector<float> lb;
    std::vector<float> P1;
    std::vector<float> delta1;
};

void build_tables(const CalculationInputs& in, Tables& t);
// Cell (i, j, k) of the tables is at (i - 1) + 90 ((j - 1) + 90 k); its
// orientation weight w_xy(i) w_zx(j) and its rupture load, as the law reads.
double cell_weight(const CalculationInputs& in, int i, int j);
double rupture_load_of(const CalculationInputs& in, int i, int j);
// The "Division" openings, computed as the model reads.
std::vector<double> division_openings(const CalculationInputs& in);
std::vector<StepValues> run_steps(const CalculationInputs& in, Tables& t);
std::vector<StepValues> run_steps_at(const CalculationInputs& in, Tables& t,
                                     const std::vector<double>& openings);
std::vector<StepValues> run(const CalculationInputs& in);
std::vector<StepValues> run_at(const CalculationInputs& in, const std::vector<double>& openings);

}  // namespace quarnel::reference
