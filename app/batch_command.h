#pragma once

namespace quarnel {

// Exit statuses of quarnel-batch.
inline constexpr int exit_ok = 0;
inline constexpr int exit_usage = 2;       // usage error or refused input
inline constexpr int exit_file_error = 3;  // the result file (or CSV) failed

// quarnel-batch: computes a bridging law from field texts given as NAME=TEXT
// (member names of CalculationInputs) and writes the result file that a
// window run writes.
int run_batch_command(int argc, const char* const* argv);

}  // namespace quarnel
