#include <iostream>

#include "batch_command.h"
#include "study_commands.h"

namespace quarnel {

int run_mix_command(const std::vector<std::string>&) {
    std::cerr << "quarnel-batch: mix is not built yet\n";
    return exit_usage;
}

}  // namespace quarnel
