#pragma once

#include <string>
#include <vector>

namespace quarnel {

// Exit status of a sweep in which some runs were refused.
inline constexpr int exit_some_refused = 4;

// The subcommands of quarnel-batch; `args` follow the subcommand's name.
// Each returns the process's exit status.
int run_sweep_command(const std::vector<std::string>& args);
// Hands the fit to quarnel-batch-fit, found beside the running program.
int run_fit_command(const std::vector<std::string>& args);
// The fit itself, which quarnel-batch-fit runs.
int fit_command_main(const std::vector<std::string>& args);
int run_mix_command(const std::vector<std::string>& args);

}  // namespace quarnel
