#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "study/fit.h"
#include "study/measured_curve.h"

namespace CLI {
class App;
}

namespace quarnel {

// quarnel-batch fit, run by quarnel-batch-fit: the pull-out values (or any
// numeric inputs) that make the model's bridging law match a measured curve.
struct FitOptions {
    SharedOptions shared;
    std::string measured;
    std::vector<std::string> fits;
    std::string until;
    std::string starts = "4";
    std::string extra_starts = "0";
    std::string seed = "1";
    std::string max_evaluations;
    std::string max_time;
    std::string output;   // -o: the fitted law's result file
    std::string columns;  // --columns W,S
    std::string skip;     // --skip N
};

struct FitRequest {
    std::string measured;
    SharedValues values;    // the inputs, the clock and the matrix properties
    SharedOptions options;  // the outputs as given
    std::vector<FitValue> fitted;
    std::optional<double> until;
    FitSettings settings;
    std::string output;
    MeasuredLayout layout;  // --columns and --skip
};

void setup_fit_command(CLI::App& app, FitOptions& options);
// Throws UsageError.
FitRequest read_fit_options(const FitOptions& options, const InputFileReader& read_file);
int run_fit(const FitRequest& request);
// The whole command from its arguments (those after "fit").
int fit_command_main(const std::vector<std::string>& args);

}  // namespace quarnel
