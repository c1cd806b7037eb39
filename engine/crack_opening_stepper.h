#pragma once

#include <functional>
#include <vector>

#include "engine/bridging_law.h"
#include "engine/calculation_inputs.h"
#include "engine/fiber_tables.h"
#include "engine/progress.h"

namespace quarnel {

// The classic run's steps: the law at the "Division" openings (or at given
// ones), each step announced by "Calculating for Step n" and a yield before
// its values are handed on. A block of up to 64 steps is computed at the
// yield of its first step, so the window sees the same texts and yields in
// the same order, and no pass over the cells holds it long.
class CrackOpeningStepper {
  public:
    // publish receives every step's values and returns false to stop the run.
    using Publish = std::function<bool(const StepValues&)>;

    CrackOpeningStepper(const CalculationInputs& inputs, const FiberTables& tables);
    CrackOpeningStepper(const CalculationInputs& inputs, const FiberTables& tables,
                        std::vector<double> openings);

    // Runs every step. Returns false when a yield or publish asked to stop.
    bool run(ProgressSink& progress, const Publish& publish);

    // The next step without progress; for benchmarks and tests.
    StepValues step() { return law_.next(); }
    bool finished() const { return law_.finished(); }

  private:
    BridgingLaw law_;
};

}  // namespace quarnel
