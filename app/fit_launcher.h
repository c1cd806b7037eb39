#pragma once

#include <string>
#include <vector>

namespace quarnel {

// The path of a program of ours beside the running one (its name alone when
// the running program's path is unknown).
std::string sibling_program(const std::string& name);

// Hands a fit to quarnel-batch-fit, found beside the running program: NLopt,
// the fit's optimiser, comes as a shared library only, and quarnel-batch
// stays static. Returns only when the program cannot be started.
int launch_fit(const std::vector<std::string>& args);

}  // namespace quarnel
