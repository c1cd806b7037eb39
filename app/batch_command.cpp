#include "batch_command.h"

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/calculation_inputs.h"
#include "engine/crack_opening_stepper.h"
#include "engine/fiber_tables.h"
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

class TerminalProgress final : public ProgressSink {
  public:
    explicit TerminalProgress(bool shown) : shown_(shown) {}
    ~TerminalProgress() override { finish(); }
    void show_status(const std::string& text) override {
        if (!shown_) return;
        std::fprintf(stderr, "\r%-40s", text.c_str());
        dirty_ = true;
    }
    bool yield() override { return true; }
    void finish() {
        if (dirty_) std::fprintf(stderr, "\r%-40s\r", "");
        dirty_ = false;
    }

  private:
    bool shown_;
    bool dirty_ = false;
};

int file_failure(const std::string& what, const FileFailure& f) {
    std::cerr << "quarnel-batch: " << what << ": " << file_error_message(f.code) << " "
              << f.description << "\n";
    return exit_file_error;
}

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

    const CalculationInputs inputs = read_calculation_inputs(texts, model);
    if (const auto refusal = check_calculation_inputs(inputs)) {
        std::cerr << "quarnel-batch: " << refusal->message << "\n";
        return exit_usage;
    }
    TerminalProgress progress(!quiet && isatty(fileno(stderr)));
    FiberTables tables;
    build_fiber_tables(inputs, tables, progress);
    if (const auto refusal = check_fiber_tables(inputs, tables)) {
        progress.finish();
        std::cerr << "quarnel-batch: " << refusal->message << "\n";
        return exit_usage;
    }

    ResultFile result;
    if (auto f = result.open(output)) return progress.finish(), file_failure(output, *f);
    if (auto f = result.write_header(inputs, at.empty() ? local_clock_now() : clock)) {
        return progress.finish(), file_failure(output, *f);
    }
    std::FILE* csv_file = nullptr;
    if (!csv.empty()) {
        csv_file = std::fopen(csv.c_str(), "wb");
        if (csv_file == nullptr) {
            return progress.finish(), file_failure(csv, {file_error::device_io, "cannot create"});
        }
        std::fputs("step,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio\n", csv_file);
    }

    std::optional<FileFailure> row_failure;
    int rows = 0;
    StepValues last;
    CrackOpeningStepper stepper(inputs, tables);
    stepper.run(progress, [&](const StepValues& s) {
        if (auto f = result.write_step_row(s.n, s.Wcr, s.P, s.sigma, s.effective_fiber_ratio)) {
            row_failure = f;
            return false;
        }
        ++rows;
        last = s;
        if (csv_file != nullptr) {
            std::fprintf(csv_file, "%d,%s,%s,%s,%s\n", s.n, exact(s.Wcr).c_str(),
                         exact(s.P).c_str(), exact(s.sigma).c_str(),
                         exact(s.effective_fiber_ratio).c_str());
        }
        if (json) {
            std::printf(
                "{\"n\":%d,\"Wcr\":%s,\"P\":%s,\"sigma\":%s,\"effective_fiber_ratio\":%s,"
                "\"P_top\":%s,\"sigma_top\":%s}\n",
                s.n, exact(s.Wcr).c_str(), exact(s.P).c_str(), exact(s.sigma).c_str(),
                exact(s.effective_fiber_ratio).c_str(), exact(s.P_top).c_str(),
                exact(s.sigma_top).c_str());
        }
        return true;
    });
    progress.finish();
    const auto close_failure = result.close();
    bool csv_failed = false;
    if (csv_file != nullptr) csv_failed = std::ferror(csv_file) != 0 || std::fclose(csv_file) != 0;
    if (row_failure) {
        std::cerr << "quarnel-batch: " << output << " is incomplete: " << rows
                  << " of its rows were written before a write failed (" << row_failure->description
                  << ", code " << row_failure->code << ").\n";
        return exit_file_error;
    }
    if (close_failure) return file_failure(output, *close_failure);
    if (csv_failed) return file_failure(csv, {file_error::device_io, "write failed"});

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
