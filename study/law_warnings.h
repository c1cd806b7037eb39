#pragma once

#include <string>
#include <vector>

#include "engine/calculation_inputs.h"

namespace quarnel {

// The warnings a front end gives before it computes a law from `inputs`,
// read as compute_law reads them (a member not given takes its default
// text): the orientation weights' (orientation_weight_warnings). None for
// inputs that cannot be read or that the input checks refuse, whose refusal
// says what is wrong.
std::vector<std::string> law_warnings(const InputSet& inputs);

// A law's measure of the orientation cells for summaries: the larger
// |sum - 1| of its two planes' weights (orientation_weight_error), of the
// inputs read as compute_law reads them; NaN when they cannot be read.
double law_orientation_weight_error(const InputSet& inputs);

// A mix's: the largest of its types' (each type's inputs with the shared
// ones, as compute_mix reads them); NaN when one cannot be read.
double mix_orientation_weight_error(const std::vector<InputSet>& fibers, const InputSet& shared);

}  // namespace quarnel
