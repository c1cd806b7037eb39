#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/input_texts.h"
#include "app/output_places.h"
#include "study/criteria.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace quarnel {

// Exit statuses of every command; a command ended by a signal exits with
// 128 + the signal's number.
inline constexpr int exit_ok = 0;
inline constexpr int exit_usage = 2;         // usage error or refused input
inline constexpr int exit_file_error = 3;    // an output failed
inline constexpr int exit_some_refused = 4;  // a sweep in which some runs were refused
inline constexpr int exit_signal_base = 128;

// A command line that runs nothing: the help (status 0, text for standard
// output) or a usage error (status 2, message for standard error).
struct CommandEnd {
    int status = exit_usage;
    std::string output;
    std::string error;
};
using BatchParseEnd = CommandEnd;

// Prints the end's texts; its status, or exit_file_error when standard
// output cannot take the help.
int finish_command(const CommandEnd& end, const std::string& program);

// Parses a command line with CLI11; the help (status 0) or a usage error
// (status 2, its message after `prefix`) when it runs nothing.
std::optional<CommandEnd> parse_command_line(CLI::App& app, const std::vector<std::string>& args,
                                             const std::string& prefix);

// A program's arguments after its name, as UTF-8 (on Windows from the
// wide-character command line, whatever the system's code page).
std::vector<std::string> program_arguments(int argc, char** argv);

// The largest input file a command reads (parameter, fiber, openings and
// measured files): far beyond any real one, and a guard against reading a
// device such as /dev/zero without end.
inline constexpr std::size_t input_file_limit = 64u << 20;

// The text of an input file, or why it cannot be read (a folder, a read
// failure, a file beyond input_file_limit).
struct InputFileText {
    std::optional<std::string> text;
    std::string error;
};
using ParamsFileText = InputFileText;
using InputFileReader = std::function<InputFileText(const std::string& path)>;
using ParamsFileReader = InputFileReader;
InputFileText read_input_file(const std::string& path);
inline InputFileText read_params_file(const std::string& path) {
    return read_input_file(path);
}

// An option's decimal number: a whole decimal number (no hexadecimal, no
// trailing characters), finite, within [low, high]. Throws UsageError naming
// the option and the rule.
double option_number(const std::string& text, const std::string& option, double low, double high,
                     const std::string& rule);
// A whole number within [low, high], from decimal digits only.
std::uint64_t option_count(const std::string& text, const std::string& option, std::uint64_t low,
                           std::uint64_t high);

// The figure options, as typed: --plot FILE and how it is drawn.
struct PlotOptions {
    std::string plot;
    std::string size;                  // WxH in mm
    std::string dpi;                   // PNG resolution
    std::optional<std::string> title;  // given, even empty
};

// The figure options read: its file, size in mm (height 0: by its panels)
// and PNG resolution.
struct PlotValues {
    std::string path;
    double width_mm = 90;
    double height_mm = 0;
    int dpi = 300;
    std::optional<std::string> title;
};

// The options every command shares, as typed; which of them a command takes
// is chosen when they are declared.
struct SharedOptions {
    std::string params;
    std::vector<std::string> assignments;
    std::string openings;
    std::string openings_file;
    std::string csv;
    std::string summary;
    std::string at;
    std::string sigma_fc;
    std::string J_tip;
    std::string criteria;
    std::string criteria_tolerance;
    std::string psh_margins;
    bool json = false;
    bool quiet = false;
    PlotOptions plot;
};

// Which shared options a command declares, and their help where the
// command's own words differ.
struct SharedOptionSet {
    bool openings = true;
    bool csv = true;
    bool plot = true;
    std::map<std::string, std::string> help;  // by option name: "--csv", "--json", ...
};

// Declares the shared options; every string option refuses an empty value.
void add_shared_options(CLI::App& app, SharedOptions& options, const SharedOptionSet& set);
// A command's description, the help's closing text and --version.
void describe_command(CLI::App& app, const std::string& description, const std::string& footer);
// Declares a repeatable option that must be given at least once, one value
// each time, none empty (--fit, --fiber, --vary).
void add_repeated_option(CLI::App& app, const std::string& name, std::vector<std::string>& into,
                         const std::string& help, bool required);

// Declares --plot, --plot-size, --plot-dpi and --plot-title; --plot is
// required where the figure is the command's only output.
void add_plot_options(CLI::App& app, PlotOptions& options, bool required = false);
// Reads them; nullopt without --plot. Throws UsageError: a name that is not
// .png, .svg or .pdf, a size or resolution out of range, or the others
// without --plot.
std::optional<PlotValues> read_plot_options(const PlotOptions& options);
// For a command whose figure is drawn from its summary (a sweep's, a fit's):
// refuses --plot beside a JSON Lines summary. Throws UsageError.
void check_plot_summary(const SharedOptions& options);
// The figure options as the plot program takes them, as given.
std::vector<std::string> plot_arguments(const PlotOptions& options);

// Makes an option refuse an empty value, which names nothing.
CLI::Option* refuse_empty(CLI::Option* option);
// Declares a string option that refuses an empty value.
void add_text_option(CLI::App& app, const std::string& name, std::string& into,
                     const std::string& help);

// The shared options read: the inputs (defaults, then --params, then
// NAME=TEXT), the openings, the clock, the matrix properties and how the
// criteria are formed.
struct SharedValues {
    InputTexts inputs;
    std::optional<std::vector<double>> openings;
    std::optional<ClockReading> at;
    MatrixProperties matrix;
    CriteriaSettings criteria;
    std::optional<PlotValues> plot;
};

// --psh-margins S,E read; throws UsageError.
PshMargins read_psh_margins(const std::string& text);

// Reads the shared options into `into` (whose inputs a command may have
// prepared). `per_run` names the matrix properties (sigma_fc, J_tip) that a
// study gives each run, which --psh-margins may then go without. Throws
// UsageError.
void read_shared_options(const SharedOptions& options, const InputFileReader& read_file,
                         SharedValues& into, const std::vector<std::string>& per_run = {});
// The inputs part alone: --params, then NAME=TEXT.
void read_input_options(const SharedOptions& options, const InputFileReader& read_file,
                        InputTexts& into);

// What standard error says of a command's inputs before the law is
// computed: the texts read only in part (ignored_character_notes), then the
// law's warnings (law_warnings: orientation weights that do not sum to 1).
std::vector<std::string> input_notes(const InputTexts& inputs);

// The input files the shared options name (--params, --openings-file),
// for the check of output places.
std::vector<Place> input_places(const SharedOptions& options);

// The help's closing lines on exit statuses that every command shares.
std::string shared_exit_status_help();

}  // namespace quarnel
