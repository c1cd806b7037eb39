#pragma once

#include <string>
#include <vector>

namespace quarnel {

// Hands a fit to quarnel-batch-fit, found beside the running program: NLopt,
// the fit's optimiser, comes as a shared library only, and quarnel-batch
// stays static. Returns only when the program cannot be started (on Windows,
// where no program replaces another, when it has ended: its exit status).
int launch_fit(const std::vector<std::string>& args);

}  // namespace quarnel
