#include "crack_opening_stepper.h"

#include "engine/crack_openings.h"

namespace quarnel {

CrackOpeningStepper::CrackOpeningStepper(const CalculationInputs& inputs, const FiberTables& tables)
    : law_(inputs, tables, division_openings(inputs)) {}

CrackOpeningStepper::CrackOpeningStepper(const CalculationInputs& inputs, const FiberTables& tables,
                                         std::vector<double> openings)
    : law_(inputs, tables, std::move(openings)) {}

bool CrackOpeningStepper::run(ProgressSink& progress, const Publish& publish) {
    for (int n = 0; !law_.finished(); ++n) {
        progress.show_status(step_text(n));
        if (!progress.yield()) return false;
        if (!publish(law_.next())) return false;
    }
    return true;
}

}  // namespace quarnel
