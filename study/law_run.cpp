#include "law_run.h"

#include "engine/crack_openings.h"
#include "engine/progress.h"

namespace quarnel {

LawRun compute_law(const InputSet& inputs, const std::optional<std::vector<double>>& openings,
                   FiberTables& tables) {
    LawRun run;
    run.inputs = read_calculation_inputs(inputs);
    if (openings) {
        run.refusal = check_openings(*openings);
        if (run.refused()) return run;
    }
    run.refusal = check_calculation_inputs(
        run.inputs, openings ? OpeningScheme::given : OpeningScheme::division);
    if (run.refused()) return run;
    SilentProgress progress;
    build_fiber_tables(run.inputs, tables, progress);
    run.refusal = check_fiber_tables(run.inputs, tables);
    if (run.refused()) return run;
    run.steps =
        bridging_law(run.inputs, tables, openings ? *openings : division_openings(run.inputs));
    return run;
}

LawRun compute_law(const InputSet& inputs, const std::optional<std::vector<double>>& openings) {
    FiberTables tables;
    return compute_law(inputs, openings, tables);
}

}  // namespace quarnel
