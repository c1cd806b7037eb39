#include "batch_command.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "engine/text_to_number.h"
#include "run/calculation_run.h"
#include "run/number_text.h"
#include "study_commands.h"
#include "study_output.h"

namespace quarnel {

namespace {

namespace fs = std::filesystem;

constexpr const char* csv_heading = "step,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio\n";

using UsageError = BatchUsageError;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::int16_t model_of(const std::string& text) {
    if (text == "1" || text == "constant") return 1;
    if (text == "2" || text == "function-lb") return 2;
    throw UsageError("model must be 1, 2, constant or function-lb, not \"" + text + "\"");
}

}  // namespace

void assign_input(const std::string& assignment, BatchRequest& request) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos) {
        throw UsageError("expected NAME=TEXT, got \"" + assignment + "\"");
    }
    const std::string name = trimmed(assignment.substr(0, eq));
    const std::string text = trimmed(assignment.substr(eq + 1));
    if (name == "model") {
        request.model = model_of(text);
        return;
    }
    const std::string member = input_member(name);
    if (member.empty() || member == "model") throw UsageError("unknown name \"" + name + "\"");
    request.texts[member] = text;
    request.names[member] = name;
}

void assign_params_text(const std::string& path, std::string text, BatchRequest& request) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        try {
            assign_input(line, request);
        } catch (const UsageError& e) {
            throw UsageError(path + ":" + std::to_string(number) + ": " + std::string(e.what()));
        }
    }
}

ClockReading parse_clock(const std::string& text) {
    ClockReading c;
    char tail = 0;
    const int got = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &c.year, &c.month,
                                &c.day, &c.hour, &c.minute, &c.second, &tail);
    if (got != 6 || c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 || c.hour > 23 ||
        c.minute > 59 || c.second > 60 || c.hour < 0 || c.minute < 0 || c.second < 0) {
        throw UsageError("--at takes \"YYYY-MM-DD hh:mm:ss\", not \"" + text + "\"");
    }
    return c;
}

namespace {

std::string exact(double x) {
    return shortest_number_text(x);
}

std::string help_footer() {
    std::string text =
        "\nNames, units and default texts (TEXT is read as the window reads a field:\n"
        "blanks skipped, the longest leading number taken, \".\" as the decimal point):\n";
    // What each name means, with its unit, where the window's caption alone
    // does not say it.
    static const std::map<std::string, std::string> meaning = {
        {"Am", "sectional area of the matrix, mm2"},
        {"Vf", "fiber volume fraction"},
        {"Af", "sectional area of one fiber, mm2"},
        {"Lf", "fiber length, mm"},
        {"fp0", "load snubbing coefficient, per rad"},
        {"fp1", "its term in lb, per rad per mm (negative: left out)"},
        {"fd0", "displacement snubbing coefficient, per rad"},
        {"fd1", "its term in lb, per rad per mm"},
        {"f_reduction", "strength reduction coefficient, per rad"},
        {"sigma_fu", "fiber rupture strength, MPa"},
        {"crack_xy", "crack angle in x-y, degrees (0-90)"},
        {"crack_zx", "crack angle in z-x, degrees (0-90)"},
        {"kxy", "orientation intensity in x-y"},
        {"theta_r_xy", "principal orientation angle in x-y, degrees"},
        {"kzx", "orientation intensity in z-x"},
        {"theta_r_zx", "principal orientation angle in z-x, degrees"},
        {"Pmax", "model 1: peak pull-out load Pmax, N; model 2: A of A*lb^B"},
        {"delta_max", "model 1: displacement at peak, mm; model 2: B of A*lb^B"},
        {"C", "model 2: C of the displacement at peak C*lb^D, mm"},
        {"D", "model 2: D of C*lb^D"},
        {"division", "Division: 2*division+1 crack-opening steps"},
    };
    for (const FieldInfo& f : input_fields()) {
        const auto it = meaning.find(f.member);
        const std::string caption = it == meaning.end() ? f.caption : it->second;
        std::string name = f.member;
        if (f.member == "Pmax") name = "Pmax, A";
        if (f.member == "delta_max") name = "delta_max, B";
        name.resize(std::max<std::size_t>(name.size() + 1, 14), ' ');
        std::string value = f.default_text;
        value.resize(std::max<std::size_t>(value.size() + 1, 9), ' ');
        text += "  " + name + value + caption + "\n";
    }
    text +=
        "  model         1        1 or constant: Constant model; 2 or function-lb: Function lb "
        "model\n"
        "\nSubcommands, each with its own --help:\n"
        "  quarnel-batch sweep  the law for every combination of varied inputs, in parallel\n"
        "  quarnel-batch fit    fit inputs to a measured bridging curve\n"
        "  quarnel-batch mix    the law of a hybrid mix of fiber types\n"
        "\nExit status:\n"
        "  0    the run finished and every output was written\n"
        "  2    usage error or refused input; no file is written\n"
        "  3    an output (result file, CSV, standard output) failed; standard error says\n"
        "       what each file holds\n"
        "  129  stopped by SIGHUP, 130 by SIGINT, 143 by SIGTERM (128 + the signal's\n"
        "       number); every file is closed with whole rows and lines\n";
    return text;
}

}  // namespace

ParamsFileText read_params_file(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return {std::nullopt, "\"" + path + "\" is a folder, not a file"};
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {std::nullopt, "cannot read the file \"" + path + "\"" +
                                  (errno != 0 ? std::string(": ") + std::strerror(errno) : "")};
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return {std::nullopt, "cannot read the file \"" + path + "\""};
    return {std::move(text), ""};
}

namespace {

// The correctly rounded double of a decimal item, or why it is none.
double opening_of(const std::string& item, const std::string& where) {
    const std::string t = trimmed(item);
    if (!is_decimal_number(t)) {
        throw std::invalid_argument(where + ": \"" + t + "\" is not a decimal number");
    }
    // On a whole decimal number the field rule is the correctly rounded
    // reading, with a signed zero below the range and infinity above it.
    const double value = read_number(t);
    if (std::isinf(value)) {
        throw std::invalid_argument(where + ": \"" + t +
                                    "\" is beyond the range of numbers an opening can hold");
    }
    return value;
}

}  // namespace

std::optional<BatchParseEnd> parse_command_line(CLI::App& app, const std::vector<std::string>& args,
                                                const std::string& prefix) {
    try {
        // CLI11 takes the arguments last first.
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::Error& e) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(e, out, err);
        const std::string error = err.str();
        return BatchParseEnd{code == 0 ? exit_ok : exit_usage, out.str(),
                             error.empty() ? "" : prefix + error};
    }
    return std::nullopt;
}

std::vector<double> parse_openings_list(const std::string& list) {
    std::vector<double> openings;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = list.find(',', from);
        openings.push_back(opening_of(
            list.substr(from, comma == std::string::npos ? std::string::npos : comma - from),
            "opening " + std::to_string(openings.size())));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return openings;
}

std::vector<double> parse_openings_file_text(const std::string& text) {
    std::vector<double> openings;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string t = trimmed(line);
        if (t.empty() || t[0] == '#') continue;
        openings.push_back(opening_of(t, "line " + std::to_string(number) + " (opening " +
                                             std::to_string(openings.size()) + ")"));
    }
    if (openings.empty()) throw std::invalid_argument("it holds no opening");
    return openings;
}

std::variant<BatchRequest, BatchParseEnd> parse_batch_request(const std::vector<std::string>& args,
                                                              const ParamsFileReader& read_params) {
    CLI::App app{
        "Computes the fiber bridging law from field texts and writes its result file.\n"
        "NAME=TEXT sets the field of a member name (below); names not given keep the\n"
        "window's default texts.",
        "quarnel-batch"};
    app.footer(help_footer());
    BatchRequest request;
    std::string params;
    std::string at;
    std::vector<std::string> assignments;
    app.add_option("-o,--output", request.output, "Result file to write")->capture_default_str();
    app.add_option("--params", params,
                   "File of NAME=TEXT lines (blanks allowed around NAME and =, # starts a comment "
                   "line); names on the command line override it");
    app.add_option("--at", at, "Clock of the header, \"YYYY-MM-DD hh:mm:ss\" (default: now)");
    app.add_option("--csv", request.csv, "Also write the steps as UTF-8 CSV");
    app.add_flag("--json", request.json, "Print one JSON object per step on standard output");
    app.add_flag("--quiet", request.quiet, "No progress and no summary");
    app.add_option("--summary", request.summary,
                   "Write the law's criteria as a CSV of one row (JSON Lines when the name ends "
                   "in .jsonl)");
    app.add_option("--save-params", request.save_params,
                   "Write every input of the run as NAME=TEXT lines, for --params");
    app.add_option("--sigma-fc", request.sigma_fc,
                   "First-cracking strength of the matrix (MPa), for psh_strength");
    app.add_option("--J-tip", request.J_tip,
                   "Crack-tip toughness of the matrix (J/m2), for psh_energy");
    std::string openings;
    std::string openings_file;
    auto* list_option =
        app.add_option("--openings", openings,
                       "Compute the law at these crack openings (mm), comma-separated decimal "
                       "numbers read exactly; Division is then not used");
    app.add_option("--openings-file", openings_file,
                   "Compute the law at the openings of a file: one number per line, # starts a "
                   "comment line")
        ->excludes(list_option);
    app.add_option("assignments", assignments, "NAME=TEXT");
    if (auto end = parse_command_line(app, args, "")) return *end;
    try {
        if (!params.empty()) {
            ParamsFileText file = read_params(params);
            if (!file.text) throw UsageError("--params: " + file.error);
            assign_params_text(params, std::move(*file.text), request);
        }
        for (const std::string& a : assignments) assign_input(a, request);
        if (!at.empty()) request.at = parse_clock(at);
        for (const auto& [option, value] :
             {std::pair{"--sigma-fc", request.sigma_fc}, std::pair{"--J-tip", request.J_tip}}) {
            if (value && !(*value > 0 && std::isfinite(*value))) {
                throw UsageError(std::string(option) + " must be a finite number above 0");
            }
        }
        if (!openings.empty()) {
            try {
                request.openings = parse_openings_list(openings);
            } catch (const std::invalid_argument& e) {
                throw UsageError(std::string("--openings: ") + e.what());
            }
        }
        if (!openings_file.empty()) {
            ParamsFileText file = read_params(openings_file);
            if (!file.text) throw UsageError("--openings-file: " + file.error);
            try {
                request.openings = parse_openings_file_text(*file.text);
            } catch (const std::invalid_argument& e) {
                throw UsageError(openings_file + ": " + e.what());
            }
        }
    } catch (const UsageError& e) {
        return BatchParseEnd{exit_usage, "", "quarnel-batch: " + std::string(e.what()) + "\n"};
    }
    return request;
}

// Whether two output names denote one file: by identity where both exist,
// by their normalised absolute paths otherwise. Devices such as /dev/null
// take any number of writers.
bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) {
        return fs::equivalent(a, b, ec) && !fs::is_character_file(a, ec);
    }
    const auto normal = [](const std::string& p) {
        std::error_code e;
        const fs::path absolute = fs::absolute(p, e);
        const fs::path resolved = fs::weakly_canonical(absolute, e);
        return (e ? absolute : resolved).lexically_normal();
    };
    return normal(a) == normal(b);
}

std::string params_file_text(const InputSet& inputs, std::int16_t model) {
    std::string text;
    for (const std::string& member : input_member_names()) {
        if (member == "model") continue;
        const auto it = inputs.find(member);
        std::string value;
        if (it != inputs.end()) {
            if (const double* number = std::get_if<double>(&it->second)) {
                value = shortest_number_text(*number);
            } else {
                value = trimmed(std::get<std::string>(it->second));
                if (value.find_first_of("\r\n") != std::string::npos) {
                    value = shortest_number_text(read_number(value));
                }
            }
        }
        text += member + "=" + value + "\n";
    }
    return text + "model=" + std::to_string(model) + "\n";
}

std::vector<std::string> ignored_character_notes(const BatchRequest& request) {
    std::vector<std::string> notes;
    for (const auto& [member, name] : request.names) {
        const std::string& text = std::get<std::string>(request.texts.at(member));
        const NumberReading reading = read_number_text(text);
        if (!reading.ignored.empty()) {
            notes.push_back(name + ": \"" + text + "\" read as " + exact(reading.value));
        }
    }
    return notes;
}

namespace {

// The signal that asked the run to end, 0 while none has.
volatile std::sig_atomic_t ending_signal = 0;

extern "C" void note_ending_signal(int signal_number) {
    ending_signal = signal_number;
}

}  // namespace

int ending_signal_number() {
    return ending_signal;
}

void catch_ending_signals() {
#ifdef _WIN32
    std::signal(SIGINT, note_ending_signal);
    std::signal(SIGTERM, note_ending_signal);
#else
    struct sigaction action {};
    action.sa_handler = note_ending_signal;
    sigemptyset(&action.sa_mask);
    // Writes interrupted by the signal go on; the run ends at its next yield.
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
#endif
}

std::string signal_name(int s) {
    switch (s) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
#ifndef _WIN32
        case SIGHUP:
            return "SIGHUP";
#endif
        default:
            return "signal " + std::to_string(s);
    }
}

bool is_standard_output(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    struct stat out {};
    struct stat file {};
    return fstat(fileno(stdout), &out) == 0 && S_ISREG(out.st_mode) &&
           stat(path.c_str(), &file) == 0 && out.st_dev == file.st_dev && out.st_ino == file.st_ino;
#endif
}

namespace {

std::optional<std::string> shared_output(const BatchRequest& r) {
    const std::vector<std::pair<std::string, std::string>> outputs = {
        {"the result file", r.output},
        {"the CSV", r.csv},
        {"the summary", r.summary},
        {"the parameter file", r.save_params}};
    for (std::size_t a = 0; a < outputs.size(); ++a) {
        for (std::size_t b = a + 1; b < outputs.size(); ++b) {
            const std::string& first = outputs[a].second;
            const std::string& second = outputs[b].second;
            if (!first.empty() && !second.empty() && same_file(first, second)) {
                return outputs[a].first + " and " + outputs[b].first + " name the same file \"" +
                       second + "\"";
            }
        }
    }
    for (const std::string& path : {r.output, r.csv, r.summary, r.save_params}) {
        if (!path.empty() && is_standard_output(path)) {
            return "standard output is the file \"" + path + "\", which is also an output";
        }
    }
    return std::nullopt;
}

std::string rows_text(long rows) {
    return std::to_string(rows) + (rows == 1 ? " row" : " rows");
}

// The run's window for a command line: status texts as progress on a
// terminal, no charts, messages on standard error, and every step's values
// to the CSV file and the JSON lines. The CSV is created only once the result
// file is open with its header, so that a refused run touches no file.
class BatchWindow final : public RunWindow {
  public:
    BatchWindow(const BatchRequest& request, bool progress_shown)
        : request_(request), progress_shown_(progress_shown) {}
    ~BatchWindow() override { finish_progress(); }

    StepValues last;
    CriteriaAccumulator criteria;
    bool result_file_opened = false;
    std::optional<std::string> output_failure;  // what failed, other than the result file
    long json_lines = 0;

    InputSet input_texts() const override { return request_.texts; }
    std::string data_file_text() const override { return request_.output; }
    std::int16_t model() const override { return request_.model; }
    std::optional<std::vector<double>> openings() const override { return request_.openings; }
    void show_status(const std::string& text) override {
        if (!progress_shown_ || text.empty()) return;
        std::fprintf(stderr, "\r%-40s", text.c_str());
        progress_dirty_ = true;
    }
    bool yield() override { return !output_failure && ending_signal == 0; }
    void set_field(ResultField, const std::string&) override {}
    void set_start_enabled(bool) override {}
    void set_chooser_enabled(bool) override {}
    ChartSurface& load_chart() override { return no_chart_; }
    ChartSurface& fiber_chart() override { return no_chart_; }
    void show_message(const std::string&, const std::string& text) override {
        finish_progress();
        std::cerr << "quarnel-batch: " << text << "\n";
    }
    ClockReading clock() const override { return request_.at ? *request_.at : local_clock_now(); }
    bool result_file_ready() override {
        result_file_opened = true;
        if (request_.csv.empty()) return true;
        if (const auto failure = csv_.open(request_.csv)) {
            output_failure = "cannot create " + request_.csv + ": " + failure->description;
            return false;
        }
        csv_created_ = true;
        if (const auto failure = csv_.write_line(csv_heading)) {
            output_failure = "writing " + request_.csv + " failed: " + failure->description;
            return false;
        }
        return true;
    }
    void step_published(const StepValues& s) override {
        last = s;
        criteria.add(s);
        if (csv_.is_open() && !output_failure) {
            const std::string row = std::to_string(s.n) + "," + exact(s.Wcr) + "," + exact(s.P) +
                                    "," + exact(s.sigma) + "," + exact(s.effective_fiber_ratio) +
                                    "\n";
            if (const auto failure = csv_.write_line(row)) {
                output_failure = "writing " + request_.csv + " failed: " + failure->description;
            }
        }
        if (request_.json && !output_failure) {
            const std::string line =
                "{\"n\":" + std::to_string(s.n) + ",\"Wcr\":" + exact(s.Wcr) +
                ",\"P\":" + exact(s.P) + ",\"sigma\":" + exact(s.sigma) +
                ",\"effective_fiber_ratio\":" + exact(s.effective_fiber_ratio) +
                ",\"P_top\":" + exact(s.P_top) + ",\"sigma_top\":" + exact(s.sigma_top) + "}\n";
            errno = 0;
            // Each line goes out whole, so that a signal or a failure leaves
            // whole lines behind.
            if (std::fputs(line.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
                output_failure = std::string("writing standard output failed: ") +
                                 std::strerror(errno != 0 ? errno : EIO);
            } else {
                ++json_lines;
            }
        }
    }
    // Closes the CSV; false when its closing failed.
    bool close_csv() {
        if (const auto failure = csv_.close()) {
            if (!output_failure)
                output_failure = "closing " + request_.csv + " failed: " + failure->description;
            return false;
        }
        return true;
    }
    // What the outputs hold, for a run that did not finish.
    std::string left_behind(int result_rows) const {
        std::string text = request_.output + " holds the header and " + rows_text(result_rows);
        if (!request_.csv.empty()) {
            text += !csv_created_       ? ", " + request_.csv + " was not created"
                    : csv_.lines() == 0 ? ", " + request_.csv + " is empty"
                                        : ", " + request_.csv + " holds the heading and " +
                                              rows_text(csv_.lines() - 1);
        }
        if (request_.json) {
            text += ", standard output holds " + std::to_string(json_lines) +
                    (json_lines == 1 ? " JSON line" : " JSON lines");
        }
        return text + ".";
    }
    void finish_progress() {
        if (progress_dirty_) std::fprintf(stderr, "\r%-40s\r", "");
        progress_dirty_ = false;
    }

  private:
    const BatchRequest& request_;
    bool progress_shown_;
    bool progress_dirty_ = false;
    LineFile csv_;
    bool csv_created_ = false;
    NoChart no_chart_;
};

// Flushes standard output; false, with a message, when it failed.
bool standard_output_flushed() {
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
    std::cerr << "quarnel-batch: writing standard output failed: "
              << std::strerror(errno != 0 ? errno : EIO) << "\n";
    return false;
}

}  // namespace

int run_batch_command(int argc, const char* const* argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (!args.empty()) {
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        if (args[0] == "sweep") return run_sweep_command(rest);
        if (args[0] == "fit") return run_fit_command(rest);
        if (args[0] == "mix") return run_mix_command(rest);
    }
    const auto parsed = parse_batch_request(args);
    if (const auto* end = std::get_if<BatchParseEnd>(&parsed)) {
        std::fputs(end->output.c_str(), stdout);
        std::fputs(end->error.c_str(), stderr);
        if (!standard_output_flushed()) return exit_file_error;
        return end->status;
    }
    const BatchRequest& request = std::get<BatchRequest>(parsed);
    for (const std::string& note : ignored_character_notes(request)) {
        std::cerr << "quarnel-batch: " << note << "\n";
    }
    if (const auto shared = shared_output(request)) {
        std::cerr << "quarnel-batch: " << *shared << "; nothing was written.\n";
        return exit_usage;
    }

    catch_ending_signals();
    BatchWindow window(request, !request.quiet && isatty(fileno(stderr)));
    CalculationInputs inputs;
    FiberTables tables;
    const RunOutcome outcome = run_calculation(window, inputs, tables);
    window.finish_progress();
    const bool csv_closed = window.close_csv();

    if (outcome.end == RunEnd::refused) return exit_usage;
    if (outcome.end == RunEnd::file_error) {
        std::cerr << "quarnel-batch: " << request.output << ": " << outcome.description << "\n";
        return exit_file_error;
    }
    const int signal_number = ending_signal;
    if (outcome.end != RunEnd::finished || !csv_closed) {
        if (signal_number != 0 && !window.output_failure) {
            std::cerr << "quarnel-batch: stopped by " << signal_name(signal_number) << ": "
                      << (window.result_file_opened ? window.left_behind(outcome.rows)
                                                    : std::string("no file was written."))
                      << "\n";
            standard_output_flushed();
            return exit_signal_base + signal_number;
        }
        if (window.output_failure) std::cerr << "quarnel-batch: " << *window.output_failure << "\n";
        std::cerr << "quarnel-batch: " << window.left_behind(outcome.rows) << "\n";
        return exit_file_error;
    }

    const MatrixProperties matrix{request.sigma_fc, request.J_tip};
    const LawCriteria criteria = window.criteria.result(matrix);
    if (!request.summary.empty()) {
        if (const auto failure = write_law_summary(request.summary, criteria, matrix)) {
            std::cerr << "quarnel-batch: " << *failure << "\n";
            return exit_file_error;
        }
    }
    if (!request.save_params.empty()) {
        LineFile file;
        std::optional<FileFailure> failure = file.open(request.save_params);
        if (!failure) failure = file.write_line(params_file_text(request.texts, request.model));
        const auto closing = file.close();
        if (!failure) failure = closing;
        if (failure) {
            std::cerr << "quarnel-batch: writing " << request.save_params
                      << " failed: " << failure->description << "\n";
            return exit_file_error;
        }
    }
    if (!request.quiet) {
        std::FILE* summary = request.json ? stderr : stdout;
        std::fprintf(summary, "Wrote %s (%d steps).\n", request.output.c_str(), outcome.rows);
        if (outcome.rows > 0) {
            std::fprintf(summary, "Peak: P = %s N, sigma = %s MPa.\n",
                         fixed_point_text(window.last.P_top, 2).c_str(),
                         fixed_point_text(window.last.sigma_top, 5).c_str());
            std::fputs(criteria_report(criteria).c_str(), summary);
        }
    }
    if (!standard_output_flushed()) return exit_file_error;
    return exit_ok;
}

}  // namespace quarnel
