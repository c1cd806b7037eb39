#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/fiber_files.h"

namespace CLI {
class App;
}

namespace quarnel {

// quarnel-batch mix: the law of a hybrid mix of the fiber types of the
// --fiber files, bridging one crack.
struct MixOptions {
    SharedOptions shared;
    std::vector<std::string> fibers;
    std::string files;  // folder of the types' result files
};

struct MixRequest {
    std::vector<FiberFile> fibers;  // in the order of their --fiber options
    SharedValues shared;            // the shared inputs (Am, crack_xy, crack_zx, division)
    SharedOptions options;          // the outputs as given
    std::string files;
};

void setup_mix_command(CLI::App& app, MixOptions& options);
// Throws UsageError: a usage error, a fiber input among the shared ones (on
// the command line or in --params) or a shared input in a fiber file.
MixRequest read_mix_options(const MixOptions& options, const InputFileReader& read_file);
int run_mix_command(const MixRequest& request);

}  // namespace quarnel
