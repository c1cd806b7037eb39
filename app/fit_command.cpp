// quarnel-batch fit: the pull-out values (or any numeric inputs) that make the
// model's bridging law match a measured curve.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "batch_command.h"
#include "engine/input_checks.h"
#include "engine/text_to_number.h"
#include "run/calculation_run.h"
#include "run/input_fields.h"
#include "study/criteria.h"
#include "study/fit.h"
#include "study/law_run.h"
#include "study/measured_curve.h"
#include "study_commands.h"
#include "study_output.h"

namespace quarnel {

namespace {

namespace fs = std::filesystem;

constexpr const char* program = "quarnel-batch fit: ";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string exact(double x) {
    return shortest_number_text(x);
}

// A number of an option: a whole decimal number, finite.
double option_number(const std::string& text, const std::string& what) {
    const auto value = read_decimal_number(text);
    if (!value) throw UsageError(what + ": \"" + text + "\" is not a decimal number");
    if (!std::isfinite(*value)) throw UsageError(what + ": \"" + text + "\" is beyond the range");
    return *value;
}

// NAME=LOW:HIGH or NAME=LOW:HIGH:START.
FitValue fit_value_of(const std::string& argument) {
    const auto eq = argument.find('=');
    if (eq == std::string::npos) {
        throw UsageError("--fit takes NAME=LOW:HIGH or NAME=LOW:HIGH:START, not \"" + argument +
                         "\"");
    }
    FitValue v;
    v.name = argument.substr(0, eq);
    v.member = input_member(v.name);
    if (v.member.empty()) throw UsageError("--fit: unknown name \"" + v.name + "\"");
    std::vector<std::string> parts;
    std::size_t from = eq + 1;
    for (;;) {
        const std::size_t colon = argument.find(':', from);
        parts.push_back(argument.substr(from, colon == std::string::npos ? colon : colon - from));
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    if (parts.size() != 2 && parts.size() != 3) {
        throw UsageError("--fit " + v.name + ": expected LOW:HIGH or LOW:HIGH:START, not \"" +
                         argument.substr(eq + 1) + "\"");
    }
    const std::string what = "--fit " + v.name;
    v.low = option_number(parts[0], what + " LOW");
    v.high = option_number(parts[1], what + " HIGH");
    if (parts.size() == 3) v.start = option_number(parts[2], what + " START");
    return v;
}

// The options of a fit as read from its command line.
struct FitOptions {
    std::string measured;
    BatchRequest request;  // the inputs, model and --at; output, csv unused
    std::vector<FitValue> values;
    std::optional<double> until;
    FitSettings settings;
    std::string output;   // -o: the fitted law's result file
    std::string csv;      // --csv: measured and fitted points
    std::string summary;  // --summary: the fitted law's criteria
    MatrixProperties matrix;
    bool json = false;
    bool quiet = false;
};

std::string help_footer() {
    return "\nThe measured file: two columns, crack opening (mm) and bridging stress (MPa),\n"
           "separated by a comma, a semicolon, a tab or blanks; an optional header row;\n"
           "# comment lines; a decimal comma where the separator is not a comma.\n"
           "\nExit status:\n"
           "  0    fitted, every output written\n"
           "  2    usage error, refused input or measured file (the message names the field\n"
           "       or the line), or every candidate refused; nothing is written\n"
           "  3    a file error: the measured file cannot be read, or an output failed\n"
           "  129  stopped by SIGHUP, 130 by SIGINT, 143 by SIGTERM (128 + the signal's\n"
           "       number); standard error gives the best values so far, nothing is written\n";
}

// Reads the command line; the end of the command (help or a usage error)
// instead when it asks for nothing to be fitted.
std::variant<FitOptions, BatchParseEnd> parse_fit_options(const std::vector<std::string>& args) {
    CLI::App app{
        "Fits inputs of the model (the pull-out values, or any numeric input) to a measured\n"
        "bridging curve by least squares of the stress at the measured openings.\n"
        "NAME=TEXT sets the other inputs as for a single run.",
        "quarnel-batch fit"};
    app.footer(help_footer());
    FitOptions o;
    std::string params;
    std::string at;
    std::vector<std::string> assignments;
    std::vector<std::string> fits;
    std::string until;
    std::string max_time;
    std::string sigma_fc;
    std::string J_tip;
    app.add_option("measured", o.measured, "The measured curve (opening mm, stress MPa)")
        ->required();
    app.add_option("assignments", assignments, "NAME=TEXT");
    app.add_option("--fit", fits,
                   "NAME=LOW:HIGH or NAME=LOW:HIGH:START: an input to fit within inclusive "
                   "bounds (repeat for more)")
        ->required()
        ->allow_extra_args(false);
    app.add_option("--params", params, "File of NAME=TEXT lines, as for a single run");
    app.add_option("--until", until, "Fit only the points with an opening up to W mm");
    app.add_option("--starts", o.settings.starts, "Local searches (at least 1)")
        ->capture_default_str();
    app.add_option("--seed", o.settings.seed, "Seed of the starts' points")->capture_default_str();
    long max_evaluations = 0;
    app.add_option("--max-evaluations", max_evaluations,
                   "Laws computed at most (default 400 + 400 per fitted value)");
    app.add_option("--max-time", max_time, "Seconds at most (default: no limit)");
    app.add_option("-o,--output", o.output, "Write the fitted law's result file (Division scheme)");
    app.add_option("--at", at, "Clock of the result file's header, \"YYYY-MM-DD hh:mm:ss\"");
    app.add_option("--csv", o.csv, "Write the measured points beside the fitted stress");
    app.add_option("--summary", o.summary,
                   "Write the fitted law's criteria (CSV, or JSON Lines for .jsonl)");
    app.add_option("--sigma-fc", sigma_fc, "First-cracking strength of the matrix, MPa");
    app.add_option("--J-tip", J_tip, "Crack-tip toughness of the matrix, J/m2");
    app.add_flag("--json", o.json, "Print the result as one JSON object");
    app.add_flag("--quiet", o.quiet, "No progress on standard error");
    if (auto end = parse_command_line(app, args, program)) return *end;
    // The inputs, model and clock as a single run reads them.
    std::vector<std::string> single;
    if (!params.empty()) single.insert(single.end(), {"--params", params});
    if (!at.empty()) single.insert(single.end(), {"--at", at});
    for (const std::string& a : assignments) {
        if (!a.empty() && a[0] == '-') {
            return BatchParseEnd{exit_usage, "", program + ("unknown option \"" + a + "\"\n")};
        }
        single.push_back(a);
    }
    const auto parsed = parse_batch_request(single);
    if (const auto* end = std::get_if<BatchParseEnd>(&parsed)) return *end;
    o.request = std::get<BatchRequest>(parsed);
    try {
        for (const std::string& argument : fits) o.values.push_back(fit_value_of(argument));
        if (!until.empty()) o.until = option_number(until, "--until");
        if (!max_time.empty()) {
            o.settings.max_seconds = option_number(max_time, "--max-time");
            if (!(*o.settings.max_seconds > 0)) throw UsageError("--max-time must be above 0");
        }
        if (o.settings.starts < 1) throw UsageError("--starts must be at least 1");
        if (o.settings.starts > max_fit_starts) {
            throw UsageError("--starts must be at most " + std::to_string(max_fit_starts));
        }
        if (app.count("--max-evaluations") > 0) {
            if (max_evaluations < 1) throw UsageError("--max-evaluations must be at least 1");
            o.settings.max_evaluations = max_evaluations;
        }
        if (!sigma_fc.empty()) o.matrix.sigma_fc = option_number(sigma_fc, "--sigma-fc");
        if (!J_tip.empty()) o.matrix.J_tip = option_number(J_tip, "--J-tip");
    } catch (const UsageError& e) {
        return BatchParseEnd{exit_usage, "", program + std::string(e.what()) + "\n"};
    }
    return o;
}

// The inputs of a candidate or of the fitted law: the request's texts and
// model, with the fitted members' entries replaced.
InputSet inputs_with(const BatchRequest& request, const std::vector<FitValue>& values,
                     const std::vector<InputValue>& fitted) {
    InputSet inputs = request.texts;
    inputs["model"] = static_cast<double>(request.model);
    for (std::size_t i = 0; i < values.size(); ++i) inputs[values[i].member] = fitted[i];
    return inputs;
}

// The refusal of the inputs that no fitted value can lift: the inputs with
// each fitted value at its start (or the middle of its range) checked, and a
// refusal kept only when it names a member that is not fitted.
std::optional<InputRefusal> fixed_refusal(const FitOptions& o, bool division_used) {
    std::vector<InputValue> trial;
    for (const FitValue& v : o.values) {
        trial.emplace_back(v.start.value_or(v.low > 0 ? std::sqrt(v.low) * std::sqrt(v.high)
                                                      : v.low / 2 + v.high / 2));
    }
    const CalculationInputs inputs =
        read_calculation_inputs(inputs_with(o.request, o.values, trial));
    for (const OpeningScheme scheme :
         {OpeningScheme::given, division_used ? OpeningScheme::division : OpeningScheme::given}) {
        if (auto refusal = check_calculation_inputs(inputs, scheme)) {
            const bool fitted =
                std::any_of(o.values.begin(), o.values.end(),
                            [&](const FitValue& v) { return v.member == refusal->member; });
            if (!fitted && !refusal->member.empty()) return refusal;
        }
    }
    return std::nullopt;
}

// Progress on standard error: evaluations and the best RMSE, a few times a second.
class FitProgressLine {
  public:
    explicit FitProgressLine(bool shown) : shown_(shown) {}
    ~FitProgressLine() { finish(); }
    void show(long evaluations, double best_rmse) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (dirty_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        char rmse[32] = "-";
        if (std::isfinite(best_rmse)) std::snprintf(rmse, sizeof rmse, "%.4g MPa", best_rmse);
        std::fprintf(
            stderr, "\r%-60s",
            ("fit: " + std::to_string(evaluations) + " evaluations, best RMSE " + std::string(rmse))
                .c_str());
        dirty_ = true;
    }
    void finish() {
        if (dirty_) std::fprintf(stderr, "\r%-60s\r", "");
        dirty_ = false;
    }

  private:
    bool shown_;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point last_;
};

// The fitted law's result file, written by the run a single quarnel-batch
// makes, so that it is the file that quarnel-batch writes from the texts.
class FittedLawWindow final : public RunWindow {
  public:
    FittedLawWindow(InputSet texts, std::int16_t model, std::string output,
                    std::optional<ClockReading> at)
        : texts_(std::move(texts)), model_(model), output_(std::move(output)), at_(at) {}

    InputSet input_texts() const override { return texts_; }
    std::string data_file_text() const override { return output_; }
    std::int16_t model() const override { return model_; }
    void show_status(const std::string&) override {}
    bool yield() override { return ending_signal_number() == 0; }
    void set_field(ResultField, const std::string&) override {}
    void set_start_enabled(bool) override {}
    void set_chooser_enabled(bool) override {}
    ChartSurface& load_chart() override { return no_chart_; }
    ChartSurface& fiber_chart() override { return no_chart_; }
    void show_message(const std::string&, const std::string& text) override {
        std::cerr << program << text << "\n";
    }
    ClockReading clock() const override { return at_ ? *at_ : local_clock_now(); }

  private:
    InputSet texts_;
    std::int16_t model_;
    std::string output_;
    std::optional<ClockReading> at_;
    NoChart no_chart_;
};

std::string rows_text(long rows) {
    return std::to_string(rows) + (rows == 1 ? " row" : " rows");
}

// The measured points beside the fitted stress; the message of a failure.
std::optional<std::string> write_points_csv(const std::string& path,
                                            const std::vector<MeasuredPoint>& points,
                                            const std::vector<StepValues>& steps,
                                            const std::vector<std::size_t>& order,
                                            const std::optional<double>& until) {
    LineFile file;
    if (const auto failure = file.open(path)) {
        return "cannot create " + path + ": " + failure->description;
    }
    std::vector<double> fitted(points.size());
    for (std::size_t s = 0; s < order.size(); ++s) fitted[order[s]] = steps[s].sigma;
    std::optional<FileFailure> failure =
        file.write_line("line,Wcr_mm,sigma_measured_MPa,sigma_fitted_MPa,used\n");
    for (std::size_t i = 0; i < points.size() && !failure; ++i) {
        const MeasuredPoint& p = points[i];
        const bool used = !until || p.opening <= *until;
        failure = file.write_line(std::to_string(p.line) + "," + exact(p.opening) + "," +
                                  exact(p.stress) + "," + exact(fitted[i]) + "," +
                                  (used ? "yes" : "no") + "\n");
    }
    if (failure) {
        return "writing " + path + " failed: " + failure->description + "; it holds " +
               (file.lines() == 0 ? std::string("nothing")
                                  : "the heading and " + rows_text(file.lines() - 1));
    }
    if (const auto closing = file.close()) {
        return "closing " + path + " failed: " + closing->description;
    }
    return std::nullopt;
}

std::string model_name(std::int16_t model) {
    return model == 1 ? "Constant model" : "Function lb model";
}

// The result as a table for a reader.
std::string result_table(const FitOptions& o, const FitResult& r, std::size_t points,
                         std::size_t all_points) {
    std::ostringstream out;
    out << "Fitted " << o.values.size() << (o.values.size() == 1 ? " value" : " values") << " to "
        << points << (points == 1 ? " point" : " points");
    if (points != all_points) out << " (of " << all_points << ")";
    out << " of " << o.measured << ", " << model_name(o.request.model) << ":\n";
    std::size_t name_width = 4;
    std::size_t value_width = 5;
    for (std::size_t i = 0; i < o.values.size(); ++i) {
        name_width = std::max(name_width, o.values[i].name.size());
        value_width = std::max(value_width, exact(r.values[i]).size());
    }
    const auto padded = [](std::string text, std::size_t width) {
        text.resize(std::max(width, text.size()), ' ');
        return text;
    };
    out << "  " << padded("name", name_width) << "  " << padded("value", value_width) << "  text\n";
    for (std::size_t i = 0; i < o.values.size(); ++i) {
        out << "  " << padded(o.values[i].name, name_width) << "  "
            << padded(exact(r.values[i]), value_width) << "  "
            << (r.at_bound[i] ? padded(r.texts[i], r.texts[i].size() + 2) + "(at a bound)"
                              : r.texts[i])
            << "\n";
    }
    out << "RMSE " << exact(r.rmse) << " MPa, R2 "
        << (r.r2 ? exact(*r.r2) : "undefined (the measured stresses are all equal)") << "\n";
    out << r.evaluations << " evaluations";
    if (r.refused_evaluations > 0) out << " (" << r.refused_evaluations << " refused)";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", r.seconds);
    out << " in " << seconds << " s: " << fit_stop_text(r.stop) << "\n";
    out << "The same law:";
    for (std::size_t i = 0; i < o.values.size(); ++i) {
        out << " " << o.values[i].name << "=" << r.texts[i];
    }
    out << "\n";
    return out.str();
}

std::string result_json(const FitOptions& o, const FitResult& r) {
    const auto number = [](double x) { return std::isfinite(x) ? exact(x) : std::string("null"); };
    std::string parameters;
    std::string texts;
    std::string at_bound;
    for (std::size_t i = 0; i < o.values.size(); ++i) {
        const std::string sep = i == 0 ? "" : ",";
        const std::string key = json_string(o.values[i].name);
        parameters += sep + key + ":" + number(r.values[i]);
        texts += sep + key + ":" + json_string(r.texts[i]);
        if (r.at_bound[i]) at_bound += (at_bound.empty() ? "" : ",") + key;
    }
    return "{\"parameters\":{" + parameters + "},\"texts\":{" + texts +
           "},\"rmse\":" + number(r.rmse) + ",\"r2\":" + (r.r2 ? number(*r.r2) : "null") +
           ",\"evaluations\":" + std::to_string(r.evaluations) +
           ",\"seconds\":" + number(r.seconds) + ",\"at_bound\":[" + at_bound + "]}\n";
}

bool standard_output_flushed() {
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
    std::cerr << program
              << "writing standard output failed: " << std::strerror(errno != 0 ? errno : EIO)
              << "\n";
    return false;
}

}  // namespace

int fit_command_main(const std::vector<std::string>& args) {
    const auto parsed = parse_fit_options(args);
    if (const auto* end = std::get_if<BatchParseEnd>(&parsed)) {
        std::fputs(end->output.c_str(), stdout);
        std::fputs(end->error.c_str(), stderr);
        if (!standard_output_flushed()) return exit_file_error;
        return end->status;
    }
    const FitOptions& o = std::get<FitOptions>(parsed);
    const auto usage = [](const std::string& message) {
        std::cerr << program << message << "\n";
        return exit_usage;
    };

    // The measured curve.
    const ParamsFileText file = read_params_file(o.measured);
    if (!file.text) {
        std::cerr << program << file.error << "\n";
        return exit_file_error;
    }
    const auto curve = read_measured_curve(*file.text);
    if (const auto* refusal = std::get_if<CurveRefusal>(&curve)) {
        return usage(o.measured + ": " + curve_refusal_text(*refusal));
    }
    const std::vector<MeasuredPoint>& points = std::get<std::vector<MeasuredPoint>>(curve);
    FitProblem problem;
    problem.values = o.values;
    for (const MeasuredPoint& p : points) {
        if (o.until && !(p.opening <= *o.until)) continue;
        problem.openings.push_back(p.opening);
        problem.stresses.push_back(p.stress);
    }
    if (problem.openings.size() < o.values.size() + 1) {
        std::string where = o.measured + " holds " + std::to_string(problem.openings.size()) +
                            (problem.openings.size() == 1 ? " point" : " points");
        if (o.until) where += " with an opening up to " + exact(*o.until) + " mm";
        return usage(where + ", fewer than the " + std::to_string(o.values.size() + 1) +
                     " that fitting " + std::to_string(o.values.size()) +
                     (o.values.size() == 1 ? " value" : " values") + " needs");
    }
    if (const auto error = check_fit_problem(problem)) return usage(*error);
    for (const std::string& note : ignored_character_notes(o.request)) {
        std::cerr << program << note << "\n";
    }
    const bool division_used = !o.output.empty() || !o.summary.empty();
    if (const auto refusal = fixed_refusal(o, division_used)) {
        return usage(refusal_message(*refusal, o.request.model));
    }
    // Outputs that name one file, or the measured file.
    const std::vector<std::pair<std::string, std::string>> outputs = {
        {"-o", o.output}, {"--csv", o.csv}, {"--summary", o.summary}};
    for (std::size_t a = 0; a < outputs.size(); ++a) {
        if (outputs[a].second.empty()) continue;
        if (same_file(outputs[a].second, o.measured)) {
            return usage(outputs[a].first + " names the measured file \"" + o.measured +
                         "\"; nothing was written.");
        }
        for (std::size_t b = a + 1; b < outputs.size(); ++b) {
            if (!outputs[b].second.empty() && same_file(outputs[a].second, outputs[b].second)) {
                return usage(outputs[a].first + " and " + outputs[b].first +
                             " name the same file \"" + outputs[b].second +
                             "\"; nothing was written.");
            }
        }
    }
    problem.inputs = inputs_with(o.request, {}, {});

    catch_ending_signals();
    FitProgressLine progress(!o.quiet && isatty(fileno(stderr)));
    FitHooks hooks;
    hooks.progress = [&](long evaluations, double rmse) { progress.show(evaluations, rmse); };
    hooks.stop_requested = [] { return ending_signal_number() != 0; };
    const FitResult result = fit_law(problem, o.settings, hooks);
    progress.finish();

    if (result.stop == FitStop::interrupted) {
        const int s = ending_signal_number();
        std::string best = "no candidate was computed";
        if (result.found) {
            best = "best so far (RMSE " + exact(result.rmse) + " MPa):";
            for (std::size_t i = 0; i < o.values.size(); ++i) {
                best += " " + o.values[i].name + "=" + result.texts[i];
            }
        }
        std::cerr << program << "stopped by " << signal_name(s) << " after " << result.evaluations
                  << " evaluations; " << best << "; nothing was written.\n";
        return exit_signal_base + s;
    }
    if (!result.found) {
        return usage("every candidate was refused" +
                     (result.last_refusal
                          ? ": " + refusal_message(*result.last_refusal, o.request.model)
                          : std::string()));
    }

    // The fitted law from its texts, as a single run reads them.
    std::vector<InputValue> texts(result.texts.begin(), result.texts.end());
    const InputSet fitted = inputs_with(o.request, o.values, texts);
    if (o.json) {
        std::fputs(result_json(o, result).c_str(), stdout);
    } else {
        std::fputs(result_table(o, result, problem.openings.size(), points.size()).c_str(), stdout);
    }
    if (!standard_output_flushed()) return exit_file_error;

    int status = exit_ok;
    if (!o.output.empty()) {
        InputSet run_texts = fitted;
        run_texts.erase("model");
        FittedLawWindow window(run_texts, o.request.model, o.output, o.request.at);
        CalculationInputs inputs;
        FiberTables tables;
        const RunOutcome outcome = run_calculation(window, inputs, tables);
        if (outcome.end == RunEnd::refused) return exit_usage;
        if (outcome.end == RunEnd::file_error) {
            std::cerr << program << o.output << ": " << outcome.description << "\n";
            return exit_file_error;
        }
        if (outcome.end == RunEnd::stopped && ending_signal_number() != 0) {
            std::cerr << program << "stopped by " << signal_name(ending_signal_number()) << ": "
                      << o.output << " holds the header and " << rows_text(outcome.rows) << ".\n";
            return exit_signal_base + ending_signal_number();
        }
        if (outcome.end != RunEnd::finished) {
            std::cerr << program << o.output << " holds the header and " << rows_text(outcome.rows)
                      << ".\n";
            status = exit_file_error;
        }
    }
    if (!o.csv.empty()) {
        std::vector<std::size_t> order(points.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return points[a].opening < points[b].opening;
        });
        std::vector<double> openings;
        for (const std::size_t i : order) openings.push_back(points[i].opening);
        const LawRun law = compute_law(fitted, openings);
        if (law.refused()) return usage(refusal_message(*law.refusal, o.request.model));
        if (const auto failure = write_points_csv(o.csv, points, law.steps, order, o.until)) {
            std::cerr << program << *failure << "\n";
            status = exit_file_error;
        }
    }
    if (!o.summary.empty()) {
        const LawRun law = compute_law(fitted, std::nullopt);
        if (law.refused()) return usage(refusal_message(*law.refusal, o.request.model));
        if (const auto failure =
                write_law_summary(o.summary, law_criteria(law.steps, o.matrix), o.matrix)) {
            std::cerr << program << *failure << "\n";
            status = exit_file_error;
        }
    }
    return status;
}

}  // namespace quarnel
