#pragma once

#include <optional>
#include <vector>

#include "engine/bridging_law.h"
#include "engine/calculation_inputs.h"
#include "engine/fiber_tables.h"
#include "engine/input_checks.h"

namespace quarnel {

// One law computed from its inputs, or the refusal that stopped it.
struct LawRun {
    CalculationInputs inputs;
    std::vector<StepValues> steps;        // empty when refused
    std::optional<InputRefusal> refusal;  // the inputs' first refusal, if any
    bool refused() const { return refusal.has_value(); }
};

// What a caller computing many laws keeps between them: the tables, and the
// inputs they were built for, so that laws differing only in inputs the
// model setting does not read (Vf, Am, "Division") reuse them.
struct LawScratch {
    FiberTables tables;
    std::optional<CalculationInputs> built_for;
};

// Whether tables built for `a` serve `b`: every input the model setting and
// the tables' checks read is the same.
bool same_tables(const CalculationInputs& a, const CalculationInputs& b);

// Computes a law as the classic run does, with the same refusals in the same
// order: the inputs read as the fields are (a member not given, under either
// of its names, takes its default text, with_default_texts; "model" is 1 when
// not given), then the model setting, then the law at the openings, or at
// those of the "Division" scheme when none are given.
// `tables` is scratch that a caller computing many laws keeps between them.
// Throws std::invalid_argument for names read_calculation_inputs does not take.
LawRun compute_law(const InputSet& inputs, const std::optional<std::vector<double>>& openings,
                   FiberTables& tables);
LawRun compute_law(const InputSet& inputs, const std::optional<std::vector<double>>& openings,
                   LawScratch& scratch);
LawRun compute_law(const InputSet& inputs, const std::optional<std::vector<double>>& openings);

}  // namespace quarnel
