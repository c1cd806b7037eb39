#include "command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <unistd.h>
#endif

#include "app/process_guard.h"
#include "engine/text_to_number.h"
#include "quarnel_version.h"
#include "run/file_paths.h"
#include "study/law_warnings.h"
#include "study/measured_curve.h"

namespace quarnel {

int finish_command(const CommandEnd& end, const std::string& program) {
    std::fputs(end.output.c_str(), stdout);
    std::fputs(end.error.c_str(), stderr);
    if (!standard_output_flushed(program)) return exit_file_error;
    return end.status;
}

std::optional<CommandEnd> parse_command_line(CLI::App& app, const std::vector<std::string>& args,
                                             const std::string& prefix) {
    try {
        // CLI11 takes the arguments last first.
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::Error& e) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(e, out, err);
        const std::string error = err.str();
        return CommandEnd{code == 0 ? exit_ok : exit_usage, out.str(),
                          error.empty() ? "" : prefix + error};
    }
    return std::nullopt;
}

namespace {

// The few POSIX file calls read_input_file makes, under their Windows names
// there: the file is opened through the wide-character API and read as bytes
// (no line-end translation).
#ifdef _WIN32
int open_input(const std::string& path) {
    return _wopen(path_of(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
bool is_folder(int fd, const std::string& path) {
    // Windows refuses to open a folder as a file: the failure names it.
    struct _stat64 info {};
    std::error_code ec;
    return (fd >= 0 && _fstat64(fd, &info) == 0 && (info.st_mode & _S_IFDIR) != 0) ||
           (fd < 0 && std::filesystem::is_directory(path_of(path), ec));
}
long long read_input(int fd, char* buffer, std::size_t size) {
    return _read(fd, buffer, static_cast<unsigned>(size));
}
void close_input(int fd) {
    _close(fd);
}
#else
int open_input(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}
bool is_folder(int fd, const std::string&) {
    struct stat info {};
    return fd >= 0 && fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}
long long read_input(int fd, char* buffer, std::size_t size) {
    return ::read(fd, buffer, size);
}
void close_input(int fd) {
    ::close(fd);
}
#endif

}  // namespace

InputFileText read_input_file(const std::string& path) {
    const auto failed = [&](const std::string& why) {
        return InputFileText{std::nullopt, "cannot read the file \"" + path + "\"" + why};
    };
    const int fd = open_input(path);
    const int open_error = errno;
    if (is_folder(fd, path)) {
        if (fd >= 0) close_input(fd);
        return {std::nullopt, "\"" + path + "\" is a folder, not a file"};
    }
    if (fd < 0) return failed(std::string(": ") + std::strerror(open_error));
    // Read to one byte past the limit, so that an endless device is refused
    // rather than read until memory runs out.
    std::string text;
    char buffer[65536];
    for (;;) {
        const long long got = read_input(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            close_input(fd);
            return failed(std::string(": ") + std::strerror(error));
        }
        if (got == 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > input_file_limit) {
            close_input(fd);
            return failed(": it is larger than " + std::to_string(input_file_limit >> 20) +
                          " MiB, the most an input file may hold");
        }
    }
    close_input(fd);
    return {std::move(text), ""};
}

std::vector<std::string> program_arguments(int argc, char** argv) {
#ifdef _WIN32
    // The C library's argv holds the arguments in the system's code page,
    // which cannot hold every file name: they are taken from the wide
    // command line instead, as UTF-8.
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(text_of(wide[i]));
    LocalFree(wide);
    return args;
#else
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
#endif
}

double option_number(const std::string& text, const std::string& option, double low, double high,
                     const std::string& rule) {
    const std::optional<double> value = read_decimal_number(text);
    if (!value) throw UsageError(option + ": " + quoted(text) + " is not a decimal number");
    if (!std::isfinite(*value) || *value < low || *value > high) {
        throw UsageError(option + " must be " + rule + ", not " + quoted(text));
    }
    return *value;
}

std::uint64_t option_count(const std::string& text, const std::string& option, std::uint64_t low,
                           std::uint64_t high) {
    const std::string rule = "at least " + std::to_string(low) + " and at most " +
                             std::to_string(high) + " (a whole number)";
    if (text.empty() || text.size() > 20 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError(option + " must be " + rule + ", not " + quoted(text));
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (high - digit) / 10)
            throw UsageError(option + " must be " + rule + ", not " + quoted(text));
        value = value * 10 + digit;
    }
    if (value < low) throw UsageError(option + " must be " + rule + ", not " + quoted(text));
    return value;
}

CLI::Option* refuse_empty(CLI::Option* option) {
    return option->check(CLI::Validator(
        [](std::string& value) {
            return value.empty() ? std::string("an empty value names nothing") : std::string();
        },
        "", "not empty"));
}

void describe_command(CLI::App& app, const std::string& description, const std::string& footer) {
    app.description(description);
    app.footer(footer);
    // A subcommand's version names it as it is typed: "quarnel-batch sweep".
    const CLI::App* parent = app.get_parent();
    const std::string name = parent ? parent->get_name() + " " + app.get_name() : app.get_name();
    app.set_version_flag("--version", version_text(name), "Print the version and how to cite it");
}

void add_repeated_option(CLI::App& app, const std::string& name, std::vector<std::string>& into,
                         const std::string& help, bool required) {
    // One value each time, so that a NAME=TEXT after it is not swallowed.
    refuse_empty(app.add_option(name, into, help)->allow_extra_args(false))->required(required);
}

void add_text_option(CLI::App& app, const std::string& name, std::string& into,
                     const std::string& help) {
    refuse_empty(app.add_option(name, into, help));
}

void add_shared_options(CLI::App& app, SharedOptions& o, const SharedOptionSet& set) {
    const auto help = [&](const std::string& name, const std::string& fallback) {
        const auto it = set.help.find(name);
        return it == set.help.end() ? fallback : it->second;
    };
    add_text_option(app, "--params", o.params,
                    help("--params",
                         "File of NAME=TEXT lines (blanks allowed around NAME and =, "
                         "# starts a comment line); names on the command line "
                         "override it"));
    add_text_option(
        app, "--at", o.at,
        help("--at", "Clock of the result files' headers, \"YYYY-MM-DD hh:mm:ss\" (default: now)"));
    if (set.csv)
        add_text_option(app, "--csv", o.csv, help("--csv", "Also write the steps as UTF-8 CSV"));
    app.add_flag("--json", o.json,
                 help("--json", "Print one JSON object per step on standard output"));
    app.add_flag("--quiet", o.quiet, help("--quiet", "No progress and no summary"));
    add_text_option(app, "--summary", o.summary,
                    help("--summary",
                         "Write the law's criteria as a CSV of one row (JSON Lines "
                         "when the name ends in .jsonl)"));
    add_text_option(app, "--sigma-fc", o.sigma_fc,
                    "First-cracking strength of the matrix (MPa), for psh_strength");
    add_text_option(app, "--J-tip", o.J_tip,
                    "Crack-tip toughness of the matrix (J/m2), for psh_energy");
    add_text_option(app, "--psh-margins", o.psh_margins,
                    "S,E: margins on psh_strength and psh_energy (e.g. 1.3,2.7), for "
                    "strain_hardening_margin; needs --sigma-fc and --J-tip");
    add_text_option(app, "--criteria", o.criteria,
                    "converged (default): the criteria on openings of their own, refined until "
                    "they settle; steps: from the law's steps, as a result file holds them");
    add_text_option(app, "--criteria-tolerance", o.criteria_tolerance,
                    "Relative change at which the converged criteria stop refining, 1e-06 to 0.1 "
                    "(default 0.001)");
    if (set.openings) {
        add_text_option(app, "--openings", o.openings,
                        "Compute the law at these crack openings (mm), comma-separated decimal "
                        "numbers read exactly; Division is then not used");
        add_text_option(app, "--openings-file", o.openings_file,
                        "Compute the law at the openings of a file: one number per line, # starts "
                        "a comment line");
        app.get_option("--openings-file")->excludes(app.get_option("--openings"));
    }
    if (set.plot) add_plot_options(app, o.plot);
    app.add_option("assignments", o.assignments, help("assignments", "NAME=TEXT"));
}

void add_plot_options(CLI::App& app, PlotOptions& o, bool required) {
    add_text_option(app, "--plot", o.plot,
                    "Draw the figure to FILE: PNG, SVG or PDF by its extension");
    app.get_option("--plot")->required(required);
    add_text_option(app, "--plot-size", o.size,
                    "WxH: the figure's width and height in mm (default 90 wide, 70 high for one "
                    "panel, 100 for two)");
    add_text_option(app, "--plot-dpi", o.dpi,
                    "Resolution of a PNG figure, 50 to 2400 (default 300)");
    app.add_option_function<std::string>(
        "--plot-title", [&o](const std::string& title) { o.title = title; },
        "The figure's title line (default: the model and main inputs; \"\" for none)");
}

std::optional<PlotValues> read_plot_options(const PlotOptions& o) {
    if (o.plot.empty()) {
        for (const auto& [given, name] :
             {std::pair{!o.size.empty(), "--plot-size"}, std::pair{!o.dpi.empty(), "--plot-dpi"},
              std::pair{o.title.has_value(), "--plot-title"}}) {
            if (given) throw UsageError(std::string(name) + " needs --plot, the figure it draws");
        }
        return std::nullopt;
    }
    PlotValues v;
    v.path = o.plot;
    const std::size_t dot = o.plot.find_last_of('.');
    std::string extension = dot == std::string::npos ? "" : o.plot.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension != "png" && extension != "svg" && extension != "pdf") {
        throw UsageError("--plot: " + quoted(o.plot) +
                         " must end in .png, .svg or .pdf, which say how it is drawn");
    }
    if (!o.size.empty()) {
        const std::size_t x = o.size.find_first_of("xX");
        if (x == std::string::npos) {
            throw UsageError("--plot-size must be WxH in mm (e.g. 90x70), not " + quoted(o.size));
        }
        const std::string rule = "two decimal numbers of mm from 20 to 1000, WxH";
        v.width_mm = option_number(o.size.substr(0, x), "--plot-size", 20, 1000, rule);
        v.height_mm = option_number(o.size.substr(x + 1), "--plot-size", 20, 1000, rule);
    }
    if (!o.dpi.empty()) v.dpi = static_cast<int>(option_count(o.dpi, "--plot-dpi", 50, 2400));
    // A bitmap beyond 400 million pixels would not fit in memory.
    const double pixels = v.width_mm / 25.4 * v.dpi * std::max(v.height_mm, 100.0) / 25.4 * v.dpi;
    if (pixels > 4e8) {
        throw UsageError("--plot-size and --plot-dpi give a PNG of more than 400 million pixels");
    }
    v.title = o.title;
    return v;
}

void check_plot_summary(const SharedOptions& o) {
    const std::string& summary = o.summary;
    if (!o.plot.plot.empty() && summary.size() >= 6 &&
        summary.compare(summary.size() - 6, 6, ".jsonl") == 0) {
        throw UsageError("--plot draws from a CSV summary: name the summary .csv, or leave it out");
    }
}

std::vector<std::string> plot_arguments(const PlotOptions& o) {
    std::vector<std::string> args = {"--plot", o.plot};
    if (!o.size.empty()) args.insert(args.end(), {"--plot-size", o.size});
    if (!o.dpi.empty()) args.insert(args.end(), {"--plot-dpi", o.dpi});
    if (o.title) args.insert(args.end(), {"--plot-title", *o.title});
    return args;
}

void read_input_options(const SharedOptions& o, const InputFileReader& read_file,
                        InputTexts& into) {
    if (!o.params.empty()) {
        InputFileText file = read_file(o.params);
        if (!file.text) throw UsageError("--params: " + file.error);
        assign_params_text(o.params, std::move(*file.text), into);
    }
    for (const std::string& a : o.assignments) assign_input(a, into);
}

PshMargins read_psh_margins(const std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) {
        throw UsageError("--psh-margins must be two numbers S,E, not " + quoted(text));
    }
    const auto margin = [&](const std::string& part) {
        const std::optional<double> value = read_decimal_number(part);
        if (!value || !std::isfinite(*value) || !(*value > 0)) {
            throw UsageError("--psh-margins must be two decimal numbers above 0, S,E, not " +
                             quoted(text));
        }
        return *value;
    };
    return PshMargins{margin(text.substr(0, comma)), margin(text.substr(comma + 1))};
}

namespace {

// A matrix property: a positive decimal number, not so small that its index
// (the law's value divided by it) would leave the range of numbers.
std::optional<double> matrix_property(const std::string& text, const std::string& option) {
    if (text.empty()) return std::nullopt;
    const std::optional<double> value = read_decimal_number(text);
    if (!value) throw UsageError(option + ": " + quoted(text) + " is not a decimal number");
    if (!(*value > 0 && std::isfinite(*value))) {
        throw UsageError(option + " must be a finite number above 0");
    }
    if (*value < 1e-6) {
        throw UsageError(option + " must be at least 1e-06, so that its index stays finite");
    }
    return value;
}

// How the criteria are formed: --criteria, --criteria-tolerance and
// --psh-margins, the margins only with both matrix properties.
CriteriaSettings criteria_settings(const SharedOptions& o, const MatrixProperties& matrix,
                                   const std::vector<std::string>& per_run) {
    CriteriaSettings settings;
    if (o.criteria == "steps") {
        settings.source = CriteriaSource::steps;
    } else if (!o.criteria.empty() && o.criteria != "converged") {
        throw UsageError("--criteria must be converged or steps, not " + quoted(o.criteria));
    }
    if (!o.criteria_tolerance.empty()) {
        if (settings.source == CriteriaSource::steps) {
            throw UsageError(
                "--criteria-tolerance: criteria from steps are not refined; leave it out or use "
                "--criteria converged");
        }
        settings.tolerance = option_number(o.criteria_tolerance, "--criteria-tolerance", 1e-6, 0.1,
                                           "from 1e-06 to 0.1");
    }
    if (!o.psh_margins.empty()) {
        settings.psh_margins = read_psh_margins(o.psh_margins);
        const auto has = [&](const std::string& name) {
            return std::find(per_run.begin(), per_run.end(), name) != per_run.end();
        };
        if (!(matrix.sigma_fc || has("sigma_fc")) || !(matrix.J_tip || has("J_tip"))) {
            throw UsageError(
                "--psh-margins needs --sigma-fc and --J-tip: the margins bound the indices they "
                "give");
        }
    }
    return settings;
}

}  // namespace

void read_shared_options(const SharedOptions& o, const InputFileReader& read_file,
                         SharedValues& into, const std::vector<std::string>& per_run) {
    read_input_options(o, read_file, into.inputs);
    if (!o.at.empty()) into.at = parse_clock(o.at);
    into.matrix.sigma_fc = matrix_property(o.sigma_fc, "--sigma-fc");
    into.matrix.J_tip = matrix_property(o.J_tip, "--J-tip");
    into.criteria = criteria_settings(o, into.matrix, per_run);
    into.plot = read_plot_options(o.plot);
    if (!o.openings.empty()) {
        try {
            into.openings = parse_openings_list(o.openings);
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--openings: ") + e.what());
        }
    }
    if (!o.openings_file.empty()) {
        InputFileText file = read_file(o.openings_file);
        if (!file.text) throw UsageError("--openings-file: " + file.error);
        try {
            into.openings = parse_openings_file_text(*file.text);
        } catch (const std::invalid_argument& e) {
            throw UsageError(o.openings_file + ": " + e.what());
        }
    }
}

std::vector<std::string> input_notes(const InputTexts& inputs) {
    std::vector<std::string> notes = ignored_character_notes(inputs);
    for (std::string& warning : law_warnings(inputs.inputs())) notes.push_back(std::move(warning));
    return notes;
}

std::vector<Place> input_places(const SharedOptions& o) {
    return {{"the file of --params", o.params, {}},
            {"the file of --openings-file", o.openings_file, {}}};
}

std::string shared_exit_status_help() {
#ifdef _WIN32
    return "  130  stopped by Ctrl+C (SIGINT), 149 by Ctrl+Break (SIGBREAK), 143 by the\n"
           "       console closing (SIGTERM); every file is closed with whole rows and lines\n"
#else
    return "  129  stopped by SIGHUP, 130 by SIGINT, 143 by SIGTERM (128 + the signal's\n"
           "       number); every file is closed with whole rows and lines\n"
#endif
           "A closed standard output (a reader such as head that stopped) is an output\n"
           "failure: status 3, and standard error says what each output holds.\n";
}

}  // namespace quarnel
