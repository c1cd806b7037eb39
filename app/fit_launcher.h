#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quarnel {

// The path of a program of ours beside the running one (its name alone when
// the running program's path is unknown; with ".exe" on Windows).
std::string sibling_program(const std::string& name);

// Hands a fit to quarnel-batch-fit, found beside the running program: NLopt,
// the fit's optimiser, comes as a shared library only, and quarnel-batch
// stays static. Returns only when the program cannot be started (on Windows,
// where no program replaces another, when it has ended: its exit status).
int launch_fit(const std::vector<std::string>& args);

#ifdef _WIN32
// Runs `program` with `args` and waits for it: its exit status, or none with
// the system's reason in `error` when it cannot be started. Windows has no
// exec: a program hands its work on this way.
std::optional<int> run_program(const std::string& program, const std::vector<std::string>& args,
                               std::string& error);
#endif

}  // namespace quarnel
