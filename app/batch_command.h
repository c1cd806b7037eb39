#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "engine/calculation_inputs.h"
#include "run/input_fields.h"
#include "run/result_file.h"

namespace CLI {
class App;
}

namespace quarnel {

// Exit statuses of quarnel-batch; a run ended by a signal exits with 128 + the
// signal's number.
inline constexpr int exit_ok = 0;
inline constexpr int exit_usage = 2;       // usage error or refused input
inline constexpr int exit_file_error = 3;  // an output (result file, CSV, standard output) failed
inline constexpr int exit_signal_base = 128;

// What a quarnel-batch command line asks for, read without running anything.
struct BatchRequest {
    InputSet texts = default_input_texts();  // by member
    std::int16_t model = 1;
    // The name each member was given by, for members set by the user.
    std::map<std::string, std::string> names;
    std::string output = "bridging-law.p-d";
    std::string csv;  // empty: no CSV
    std::optional<ClockReading> at;
    bool json = false;
    bool quiet = false;
    std::string summary;             // empty: no summary file of the criteria
    std::string save_params;         // empty: no file of the inputs
    std::optional<double> sigma_fc;  // MPa, for the strength index
    std::optional<double> J_tip;     // J/m2, for the energy index
    // The openings of --openings or --openings-file, in mm; none: the
    // "Division" scheme.
    std::optional<std::vector<double>> openings;
};

// A command line's fault, with the message for standard error.
struct BatchUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One NAME=TEXT into the request's inputs ("model" takes 1, 2, constant or
// function-lb). Throws BatchUsageError for an unknown name or a missing "=".
void assign_input(const std::string& assignment, BatchRequest& request);
// The NAME=TEXT lines of a parameter file's text, `path` naming it in
// messages: blanks allowed around the name and the "=", "#" starting a
// comment line, a leading UTF-8 byte-order mark skipped. Throws
// BatchUsageError naming the line.
void assign_params_text(const std::string& path, std::string text, BatchRequest& request);

// "YYYY-MM-DD hh:mm:ss" as --at takes it. Throws BatchUsageError.
ClockReading parse_clock(const std::string& text);

// Whether standard output is the file `path` names.
bool is_standard_output(const std::string& path);

// A command line that runs nothing: the help (status 0, text for standard
// output) or a usage error (status 2, message for standard error).
struct BatchParseEnd {
    int status = exit_usage;
    std::string output;
    std::string error;
};

// Parses a command line with CLI11; the help (status 0) or a usage error
// (status 2, its message after `prefix`) when it runs nothing.
std::optional<BatchParseEnd> parse_command_line(CLI::App& app, const std::vector<std::string>& args,
                                                const std::string& prefix);

// The text of a parameter file, or why it cannot be read.
struct ParamsFileText {
    std::optional<std::string> text;
    std::string error;
};
using ParamsFileReader = std::function<ParamsFileText(const std::string& path)>;

// Reads a parameter file from disk; a folder is not a parameter file.
ParamsFileText read_params_file(const std::string& path);

// Reads the arguments (without the program name): options, NAME=TEXT
// assignments and the lines of a --params file, which `read_params` supplies.
// Parameter-file lines are NAME=TEXT with blanks allowed around the name and
// the "=", "#" starting a comment line; a leading UTF-8 byte-order mark is
// skipped. Names on the command line override those of the file.
std::variant<BatchRequest, BatchParseEnd> parse_batch_request(
    const std::vector<std::string>& args, const ParamsFileReader& read_params = read_params_file);

// Openings as --openings gives them: decimal numbers separated by commas,
// each read exactly as a double (not by the field rule). Throws
// std::invalid_argument naming the position (from 0) of an item that is not
// a decimal number or lies beyond the range of doubles.
std::vector<double> parse_openings_list(const std::string& list);
// The same from the text of an --openings-file: one number per line, blank
// lines and lines starting with "#" skipped; a message names the line.
std::vector<double> parse_openings_file_text(const std::string& text);

// One line per field text the user gave whose number was followed by
// characters the text-to-number rule ignored: `fp0: "0,5" read as 0`.
std::vector<std::string> ignored_character_notes(const BatchRequest& request);

// SIGINT, SIGTERM and SIGHUP are noted rather than ending the process; the
// number of the first one noted, 0 while none has come.
void catch_ending_signals();
int ending_signal_number();
std::string signal_name(int signal_number);

// Whether two output names denote one file: by identity where both exist, by
// their normalised absolute paths otherwise. Devices such as /dev/null take
// any number of writers.
bool same_file(const std::string& a, const std::string& b);

// Every input of a run as the NAME=TEXT lines of a parameter file, in the
// order the inputs are read, "model" last: the text given where it stands on
// one line, else the shortest text of the number it reads as, which reads
// back as the same double.
std::string params_file_text(const InputSet& inputs, std::int16_t model);

// quarnel-batch: computes a bridging law from field texts given as NAME=TEXT
// (member names of CalculationInputs) and writes the result file that a
// window run writes.
int run_batch_command(int argc, const char* const* argv);

}  // namespace quarnel
