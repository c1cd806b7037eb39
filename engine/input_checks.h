#pragma once

#include <optional>
#include <string>
#include <vector>

#include "calculation_inputs.h"
#include "fiber_tables.h"

namespace quarnel {

// Why a parameter set cannot be computed: the member at fault and a message
// stating the rule it breaks, in which "{member}" stands for a member's
// caption (the front-ends word it, refusal_message).
struct InputRefusal {
    std::string member;  // "" when no one member is at fault
    std::string message;
};

// Which openings a run computes the law at: those of the "Division" scheme,
// or openings the caller gives, which leave "Division" unused and unchecked.
enum class OpeningScheme { division, given };

// Refuses inputs that make the model's arithmetic undefined or that no
// composite can have (a volume fraction outside [0, 1], a negative area or
// length), before any table is built.
std::optional<InputRefusal> check_calculation_inputs(
    const CalculationInputs& inputs, OpeningScheme scheme = OpeningScheme::division);

// Refuses openings that are negative or not finite, naming the first one by
// its position in the sequence.
std::optional<InputRefusal> check_openings(const std::vector<double>& openings);

// Refuses a run whose pull-out values give a bridging cell (lb > 0) corner
// values that are not finite, a displacement at peak of 0, or a ratio P1 /
// delta1 beyond the 32-bit range.
std::optional<InputRefusal> check_fiber_tables(const CalculationInputs& inputs,
                                               const FiberTables& tables);

}  // namespace quarnel
