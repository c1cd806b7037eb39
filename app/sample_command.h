#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/fiber_files.h"
#include "study/sample.h"
#include "study/sweep_study.h"

namespace CLI {
class App;
}

namespace quarnel {

// quarnel-batch sample: the law of every run of a sample of inputs drawn
// from distributions, and the statistics of their criteria.
struct SampleOptions {
    SharedOptions shared;
    std::vector<std::string> fibers;
    std::vector<std::string> distributions;
    std::vector<std::string> correlations;
    std::string runs;
    std::string seed;
    std::string method;
    std::string jobs;
    std::string stats;
    std::string curves;
    std::string files;
};

struct SampleRequest {
    SampleDesign design;
    SweepSpec study;  // the sample as zipped lists of numbers
    std::vector<FiberFile> fibers;
    std::vector<std::string> notes;
    SharedOptions options;
    std::optional<ClockReading> at;
    int jobs = 1;
    std::string stats;
    std::string curves;
    std::string files;
};

void setup_sample_command(CLI::App& app, SampleOptions& options);
// Throws UsageError.
SampleRequest read_sample_options(const SampleOptions& options, const InputFileReader& read_file);
int run_sample_command(const SampleRequest& request);

}  // namespace quarnel
