#include "batch_command.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "engine/calculation_inputs.h"
#include "run/calculation_run.h"
#include "run/number_text.h"
#include "run/result_file.h"

namespace quarnel {

namespace {

// Member names (and the window's alternative names) to the field they fill.
const std::map<std::string, std::string>& field_of_name() {
    static const std::map<std::string, std::string> fields = [] {
        std::map<std::string, std::string> m;
        for (const FieldInfo& f : input_fields()) m[f.member] = f.field;
        m["A"] = "Text14";
        m["B"] = "Text15";
        return m;
    }();
    return fields;
}

struct UsageError {
    std::string message;
};

std::int16_t model_of(const std::string& text) {
    if (text == "1" || text == "constant") return 1;
    if (text == "2" || text == "function-lb") return 2;
    throw UsageError{"model must be 1, 2, constant or function-lb, not \"" + text + "\""};
}

void assign(const std::string& assignment, FieldTexts& texts, std::int16_t& model) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos) {
        throw UsageError{"expected NAME=TEXT, got \"" + assignment + "\""};
    }
    const std::string name = assignment.substr(0, eq);
    const std::string text = assignment.substr(eq + 1);
    if (name == "model") {
        model = model_of(text);
        return;
    }
    const auto it = field_of_name().find(name);
    if (it == field_of_name().end()) throw UsageError{"unknown name \"" + name + "\""};
    texts[it->second] = text;
}

void read_params_file(const std::string& path, FieldTexts& texts, std::int16_t& model) {
    std::ifstream in(path);
    if (!in) throw UsageError{"cannot read the parameter file \"" + path + "\""};
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        assign(line.substr(first), texts, model);
    }
}

ClockReading parse_clock(const std::string& text) {
    ClockReading c;
    char tail = 0;
    const int got = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &c.year, &c.month,
                                &c.day, &c.hour, &c.minute, &c.second, &tail);
    if (got != 6 || c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 || c.hour > 23 ||
        c.minute > 59 || c.second > 60 || c.hour < 0 || c.minute < 0 || c.second < 0) {
        throw UsageError{"--at takes \"YYYY-MM-DD hh:mm:ss\", not \"" + text + "\""};
    }
    return c;
}

// The shortest text that reads back as the same double.
std::string exact(double x) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, end);
}

// The run's window for a command line: status texts as progress on a
// terminal, no charts, messages on standard error, and every step's values
// to the CSV file and the JSON lines.
class BatchWindow final : public RunWindow {
  public:
    BatchWindow(FieldTexts texts, std::int16_t model, std::string output,
                std::optional<ClockReading> at, bool progress_shown)
        : texts_(std::move(texts)),
          model_(model),
          output_(std::move(output)),
          at_(at),
          progress_shown_(progress_shown) {}
    ~BatchWindow() override { finish_progress(); }

    std::FILE* csv = nullptr;
    bool json = false;
    StepValues last;

    FieldTexts field_texts() const override { return texts_; }
    std::string data_file_text() const override { return output_; }
    std::int16_t model() const override { return model_; }
    void show_status(const std::string& text) override {
        if (!progress_shown_ || text.empty()) return;
        std::fprintf(stderr, "\r%-40s", text.c_str());
        progress_dirty_ = true;
    }
    bool yield() override { return true; }
    void set_field(ResultField, const std::string&) override {}
    void set_start_enabled(bool) override {}
    void set_chooser_enabled(bool) override {}
    ChartSurface& load_chart() override { return no_chart_; }
    ChartSurface& fiber_chart() override { return no_chart_; }
    void show_message(const std::string&, const std::string& text) override {
        finish_progress();
        std::cerr << "quarnel-batch: " << text << "\n";
    }
    ClockReading clock() const override { return at_ ? *at_ : local_clock_now(); }
    void step_published(const StepValues& s) override {
        last = s;
        if (csv != nullptr) {
            std::fprintf(csv, "%d,%s,%s,%s,%s\n", s.n, exact(s.Wcr).c_str(), exact(s.P).c_str(),
                         exact(s.sigma).c_str(), exact(s.effective_fiber_ratio).c_str());
        }
        if (json) {
            std::printf(
                "{\"n\":%d,\"Wcr\":%s,\"P\":%s,\"sigma\":%s,\"effective_fiber_ratio\":%s,"
                "\"P_top\":%s,\"sigma_top\":%s}\n",
                s.n, exact(s.Wcr).c_str(), exact(s.P).c_str(), exact(s.sigma).c_str(),
                exact(s.effective_fiber_ratio).c_str(), exact(s.P_top).c_str(),
                exact(s.sigma_top).c_str());
        }
    }
    void finish_progress() {
        if (progress_dirty_) std::fprintf(stderr, "\r%-40s\r", "");
        progress_dirty_ = false;
    }

  private:
    FieldTexts texts_;
    std::int16_t model_;
    std::string output_;
    std::optional<ClockReading> at_;
    bool progress_shown_;
    bool progress_dirty_ = false;
    NoChart no_chart_;
};

}  // namespace

int run_batch_command(int argc, const char* const* argv) {
    CLI::App app{
        "Computes the fiber bridging law from field texts and writes its result file.\n"
        "NAME is a member name: Am Vf Af Lf fp0 fp1 fd0 fd1 f_reduction sigma_fu crack_xy\n"
        "crack_zx kxy theta_r_xy kzx theta_r_zx division, Pmax or A, delta_max or B, C, D,\n"
        "and model (1, 2, constant, function-lb). TEXT is read as the window reads a field;\n"
        "names not given keep the window's default texts.",
        "quarnel-batch"};
    std::string output = "bridging-law.p-d";
    std::string params;
    std::string at;
    std::string csv;
    bool json = false;
    bool quiet = false;
    std::vector<std::string> assignments;
    app.add_option("-o,--output", output, "Result file to write")->capture_default_str();
    app.add_option("--params", params, "File of NAME=TEXT lines (# starts a comment line)");
    app.add_option("--at", at, "Clock of the header, \"YYYY-MM-DD hh:mm:ss\" (default: now)");
    app.add_option("--csv", csv, "Also write the steps as UTF-8 CSV");
    app.add_flag("--json", json, "Print one JSON object per step on standard output");
    app.add_flag("--quiet", quiet, "No progress and no summary");
    app.add_option("assignments", assignments, "NAME=TEXT");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? exit_ok : exit_usage;
    }

    FieldTexts texts = default_field_texts();
    std::int16_t model = 1;
    ClockReading clock;
    try {
        if (!params.empty()) read_params_file(params, texts, model);
        for (const std::string& a : assignments) assign(a, texts, model);
        clock = at.empty() ? ClockReading{} : parse_clock(at);
    } catch (const UsageError& e) {
        std::cerr << "quarnel-batch: " << e.message << "\n";
        return exit_usage;
    }

    BatchWindow window(texts, model, output, at.empty() ? std::nullopt : std::optional(clock),
                       !quiet && isatty(fileno(stderr)));
    window.json = json;
    if (!csv.empty()) {
        window.csv = std::fopen(csv.c_str(), "wb");
        if (window.csv == nullptr) {
            std::cerr << "quarnel-batch: cannot create " << csv << ": " << std::strerror(errno)
                      << "\n";
            return exit_file_error;
        }
        std::fputs("step,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio\n", window.csv);
    }
    CalculationInputs inputs;
    FiberTables tables;
    const RunOutcome outcome = run_calculation(window, inputs, tables);
    window.finish_progress();
    bool csv_failed = false;
    if (window.csv != nullptr) {
        csv_failed = std::ferror(window.csv) != 0;
        csv_failed = std::fclose(window.csv) != 0 || csv_failed;
    }
    if (outcome.end != RunEnd::finished) {
        // No partial CSV is left behind; the result file says what it holds.
        if (!csv.empty()) std::remove(csv.c_str());
        if (outcome.end == RunEnd::file_error) {
            std::cerr << "quarnel-batch: " << output << ": " << outcome.description << "\n";
        }
        return outcome.end == RunEnd::refused ? exit_usage : exit_file_error;
    }
    if (csv_failed) {
        std::cerr << "quarnel-batch: writing " << csv << " failed.\n";
        return exit_file_error;
    }
    const int rows = outcome.rows;
    const StepValues& last = window.last;

    if (!quiet) {
        std::FILE* summary = json ? stderr : stdout;
        std::fprintf(summary, "Wrote %s (%d steps).\n", output.c_str(), rows);
        if (rows > 0) {
            std::fprintf(summary, "Peak: P = %s N, sigma = %s MPa.\n",
                         fixed_point_text(last.P_top, 2).c_str(),
                         fixed_point_text(last.sigma_top, 5).c_str());
        }
    }
    return exit_ok;
}

}  // namespace quarnel
