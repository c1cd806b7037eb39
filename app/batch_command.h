#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/command_line.h"

namespace CLI {
class App;
}

namespace quarnel {

// The single run, quarnel-batch's default command: a bridging law from field
// texts given as NAME=TEXT (member names of CalculationInputs), written to
// the result file that a window run writes.
struct BatchOptions {
    SharedOptions shared;
    std::string output = "bridging-law.p-d";
    std::string save_params;  // empty: no file of the inputs
};

// What a single run's command line asks for, read without running anything.
struct BatchRequest {
    SharedValues values;
    std::string output;
    std::string csv;
    std::string summary;
    std::string save_params;
    std::string params;         // the --params file, an input
    std::string openings_file;  // an input
    bool json = false;
    bool quiet = false;
    PlotOptions plot;  // --plot and its options, as given
};

// Declares the single run's options.
void setup_batch_command(CLI::App& app, BatchOptions& options);
// Reads the declared options; throws UsageError.
BatchRequest read_batch_options(const BatchOptions& options, const InputFileReader& read_file);
// Both, from the arguments (without the program's name).
std::variant<BatchRequest, CommandEnd> parse_batch_request(
    const std::vector<std::string>& args, const InputFileReader& read_file = read_input_file);

// Runs the single run; the exit status.
int run_batch_command(const BatchRequest& request);

}  // namespace quarnel
