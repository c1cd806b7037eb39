#pragma once

#include <string>
#include <vector>

namespace quarnel {

// quarnel-batch plot, run by quarnel-batch-plot: a figure drawn from the
// files the commands write. The whole command from its arguments (those
// after "plot"); its exit status.
int plot_command_main(const std::vector<std::string>& args);

}  // namespace quarnel
