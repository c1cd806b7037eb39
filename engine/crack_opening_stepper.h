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
// filled, with the sums of the cell-by-cell evaluation bit for bit: each step
// visits the cells still bridging in (k, j, i) order and adds
// ((P_fiber w_xy) w_zx) fiber_number_coefficient to P sequentially.
//
// What does not change from step to step is prepared once: weights, rupture
// loads, each cell's 32-bit ratio and slope. Cells of one level in the same
// orientation group of the tables hold the same values, so the pull-out law
// is evaluated once per group and its load reused for every member. The
// tables are only read: the bridging set lives in the stepper's own compact
// per-level lists.
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
    int bridging_cells() const;

  private:
    struct Pair {
        double w_xy;
        double w_zx;
        double count;  // (w_xy w_zx) fiber_number_coefficient: one bridging cell's fibers
    };
    // One group of cells of a level sharing the pull-out law's inputs.
    struct Slot {
        float lb;
        float delta1;
        float P1;
        float ratio;
        float slope;
        bool bridging;
        double P_rupture;
    };
    struct Level {
        std::vector<Slot> group_slots;     // not "slots", a macro in Qt code
        std::vector<std::uint16_t> cells;  // bridging pairs, (j - 1) * 90 + (i - 1), in order
    };

    void prepare_level(const FiberTables& tables, int k, const std::vector<double>& P_rupture);

    CalculationInputs inputs_;
    double Wcr_mid_ = 0;
    int last_step_ = -1;
    int next_step_ = 0;
    double P_top_ = -999999;
    double sigma_top_ = -999999;
    double fiber_number_coefficient_ = 0;
    std::vector<Pair> pairs_;
    std::vector<std::uint16_t> group_of_pair_;
    std::vector<std::uint16_t> group_representative_;
    std::vector<Level> levels_;
    std::vector<double> load_;  // per slot of the level being summed
};

}  // namespace quarnel
