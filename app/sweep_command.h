#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/fiber_files.h"
#include "app/output_places.h"
#include "study/sweep_study.h"

namespace CLI {
class App;
}

namespace quarnel {

// quarnel-batch sweep: the law for every combination of varied inputs, or
// over mixes of --fiber types, in parallel.
struct SweepOptions {
    SharedOptions shared;
    std::vector<std::string> fibers;
    std::vector<std::string> varied;
    std::string runs;  // a CSV of runs, instead of varied
    bool zip = false;
    std::string jobs;
    std::string curves;
    std::string files;
};

struct SweepRequest {
    SweepSpec spec;
    std::vector<FiberFile> fibers;
    std::vector<std::string> notes;  // ignored characters of the texts given
    std::vector<Place> inputs;       // the file of --runs
    SharedOptions options;           // the outputs as given
    std::optional<ClockReading> at;
    int jobs = 1;
    std::string curves;
    std::string files;
};

void setup_sweep_command(CLI::App& app, SweepOptions& options);
// Throws UsageError.
SweepRequest read_sweep_options(const SweepOptions& options, const InputFileReader& read_file);
int run_sweep_command(const SweepRequest& request);

}  // namespace quarnel
