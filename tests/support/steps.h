#pragma once

#include <vector>

#include "engine/bridging_law.h"

namespace quarnel_test {

// Expects two laws to hold the same steps, every value bit for bit; a
// failure names the step, the value and both doubles.
void expect_same_steps(const std::vector<quarnel::StepValues>& a,
                       const std::vector<quarnel::StepValues>& b);

}  // namespace quarnel_test
