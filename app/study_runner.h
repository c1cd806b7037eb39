#pragma once

// The run of a study over many laws (quarnel-batch sweep and sample): the
// outputs, progress, signals, whole rows and exit statuses they share.

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/fiber_files.h"
#include "app/output_places.h"
#include "study/sweep_study.h"

namespace quarnel {

// A study as its command read it.
struct StudyJob {
    std::string program;  // "quarnel-batch sweep: ", before every message
    SweepSpec study;
    std::vector<FiberFile> fibers;
    std::vector<std::string> notes;  // said on standard error before the runs
    std::vector<Place> inputs;       // input files besides those of the shared options
    SharedOptions options;           // the outputs as given
    std::optional<ClockReading> at;
    int jobs = 1;
    std::string curves;
    std::string files;
};

// What a command adds to the study's outputs; every part may be left empty.
struct StudyExtras {
    std::vector<Place> outputs;  // checked with the study's before anything is written
    // Opens the command's outputs after the study's; a failure's message.
    std::function<std::optional<std::string>()> open;
    // Each run once every output of the study holds it.
    std::function<void(const SweepRunResult&)> written;
    // After the runs, stopped or not; a failure's message.
    std::function<std::optional<std::string>()> finish;
    // What the command's outputs hold, for the messages of a stop or failure.
    std::function<std::vector<std::string>()> held;
    // After the final count, unless --quiet.
    std::function<void(std::FILE*)> report;
};

// A study's figure: the strain-hardening map over two names combined into a
// grid, with both indices; otherwise a family of curves.
bool draws_map(const SweepSpec& spec);

// The last of reading a study's options: --plot checked against the
// summary, the steps kept for --curves or a figure of curves, and the plan's
// refusals (zipped lengths, the cap on runs). Throws UsageError.
void finish_study_options(SweepSpec& study, const SharedOptions& shared, bool curves, bool plot);

// Computes every run of the job and writes them; the exit status: 0, 2 for
// outputs that name one file, 3 for an output failure, 4 when some runs were
// refused, 128 + the signal's number when stopped by one.
int run_study(const StudyJob& job, const StudyExtras& extras = {});

}  // namespace quarnel
