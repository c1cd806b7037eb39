#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "calculation_inputs.h"
#include "fiber_orientation.h"
#include "fiber_tables.h"
#include "progress.h"

namespace quarnel {

// What one crack-opening step hands to the run.
struct StepValues {
    std::int16_t n = 0;
    double Wcr = 0;    // mm
    double P = 0;      // N
    double sigma = 0;  // MPa
    double effective_fiber_ratio = 0;
    double P_top = 0;      // N
    double sigma_top = 0;  // MPa
};

// The crack opening of step n: Wcr_mid n / N up to N = division, then
// Wcr_mid + (Lf/2 - Wcr_mid)(n - N) / N, with Lf/2 rounded to 32 bits.
double crack_opening(const CalculationInputs& inputs, double Wcr_mid, int n);

// Wcr_mid: delta_max (Constant model) or C (Lf/2)^D (Function lb model).
double mid_opening(const CalculationInputs& inputs);

// Runs the steps n = 0 .. 2 division over the tables that build_fiber_tables
// filled. Everything that does not change from step to step (snubbing angles,
// rupture loads, weights, each cell's ratio and slope) is prepared once; each
// step visits only the cells still bridging, in (k, j, i) order, and sums
// ((P_fiber w_xy) w_zx) fiber_number_coefficient sequentially, so the sums are
// those of the cell-by-cell evaluation, bit for bit. The tables are only read:
// the bridging set lives in the stepper's own compact arrays.
class CrackOpeningStepper {
  public:
    // publish receives every step's values and returns false to stop the run.
    using Publish = std::function<bool(const StepValues&)>;

    CrackOpeningStepper(const CalculationInputs& inputs, const FiberTables& tables);

    // Runs every step. Returns false when a yield or publish asked to stop.
    bool run(ProgressSink& progress, const Publish& publish);

    // Opening, integration and peak tracking of the next step, without
    // progress; for benchmarks and tests.
    StepValues step();
    bool finished() const;
    int bridging_cells() const { return static_cast<int>(lb_.size()); }

  private:
    struct Pair {
        double w_xy;
        double w_zx;
        double count;  // (w_xy w_zx) fiber_number_coefficient: one bridging cell's fibers
        double P_rupture;
    };

    CalculationInputs inputs_;
    double Wcr_mid_ = 0;
    int last_step_ = -1;
    int next_step_ = 0;
    double P_top_ = -999999;
    double sigma_top_ = -999999;
    double fiber_number_coefficient_ = 0;
    std::vector<Pair> pairs_;  // by (j - 1) * 90 + (i - 1)
    // Still-bridging cells in loop order.
    std::vector<float> lb_;
    std::vector<float> delta1_;
    std::vector<float> P1_;
    std::vector<float> ratio_;
    std::vector<float> slope_;
    std::vector<std::uint16_t> pair_;
};

}  // namespace quarnel
