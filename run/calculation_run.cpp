#include "calculation_run.h"

#include <optional>

#include "engine/crack_openings.h"
#include "engine/input_checks.h"
#include "engine/input_table.h"
#include "engine/orientation_check.h"
#include "run/live_charts.h"
#include "run/number_text.h"

namespace quarnel {

struct RunState {
    ResultFile file;
    ChartRanges ranges;
    std::optional<FileFailure> row_failure;
    bool stopping = false;
    int rows = 0;
};

namespace {

// Routes the engine's status texts and yields to the window.
class WindowProgress final : public ProgressSink {
  public:
    explicit WindowProgress(RunWindow& window) : window_(window) {}
    void show_status(const std::string& text) override { window_.show_status(text); }
    bool yield() override { return window_.yield(); }

  private:
    RunWindow& window_;
};

RunOutcome stopped(int rows = 0) {
    return {RunEnd::stopped, "", 0, "", rows};
}

// Ends a run that cannot go on: the status line cleared, a yield, the
// message. "Start" stays as the caller leaves it; the chooser is available
// again so that the user can go on.
RunOutcome end_with_message(RunWindow& window, RunEnd end, const std::string& title,
                            const std::string& message, int code = 0, int rows = 0) {
    window.show_status("");
    if (!window.yield()) return stopped(rows);
    window.set_chooser_enabled(true);
    window.show_message(title, message);
    return {end, message, code, "", rows};
}

RunOutcome refuse(RunWindow& window, const InputRefusal& refusal, std::int16_t model) {
    // The user corrects the field and starts again.
    window.set_start_enabled(true);
    return end_with_message(window, RunEnd::refused, "Quarnel", refusal_message(refusal, model));
}

}  // namespace

bool publish_step(RunWindow& window, RunState& run, const StepValues& s) {
    window.set_field(ResultField::Text18, fixed_point_text(s.P_top / 1000, 4));
    window.set_field(ResultField::Text19, fixed_point_text(s.sigma_top, 4));
    window.set_field(ResultField::Text21, fixed_point_text(s.effective_fiber_ratio, 5));
    window.set_field(ResultField::Text22, "Wcr=" + plain_number_text(s.Wcr) + "(mm)");
    window.set_field(ResultField::Text23, "\xCF\x83=" + fixed_point_text(s.sigma, 3) + "(MPa)");
    if (!window.yield()) return run.stopping = true, false;
    if (auto failure = run.file.write_step_row(s.n, s.Wcr, s.P, s.sigma, s.effective_fiber_ratio)) {
        run.row_failure = failure;
        return false;
    }
    ++run.rows;
    plot_step(window.load_chart(), window.fiber_chart(), run.ranges, s.n, s.Wcr, s.sigma,
              s.effective_fiber_ratio);
    window.step_published(s);
    if (!window.yield()) return run.stopping = true, false;
    return true;
}

RunOutcome run_calculation(RunWindow& window, CalculationInputs& inputs, FiberTables& tables) {
    window.set_start_enabled(false);
    window.set_chooser_enabled(false);
    window.show_status("Starting...");
    window.set_field(ResultField::Text18, "0");
    window.set_field(ResultField::Text19, "0");
    window.set_field(ResultField::Text21, "0");
    window.set_field(ResultField::Text22, "");
    window.set_field(ResultField::Text23, "");
    window.load_chart().clear();
    window.fiber_chart().clear();
    if (!window.yield()) return stopped();

    const std::string data_file_name = window.data_file_text();
    window.show_status("Parameter setting...");
    if (!window.yield()) return stopped();

    CalculationInputs in = read_calculation_inputs(window.input_texts(), window.model());
    in.data_file_name = data_file_name;
    inputs = in;
    const std::optional<std::vector<double>> openings = window.openings();
    if (openings) {
        if (const auto refusal = check_openings(*openings))
            return refuse(window, *refusal, in.model);
    }
    if (const auto refusal = check_calculation_inputs(
            in, openings ? OpeningScheme::given : OpeningScheme::division)) {
        return refuse(window, *refusal, in.model);
    }
    const std::vector<std::string> warnings = orientation_weight_warnings(in);
    if (!warnings.empty()) {
        std::string notice;
        for (const std::string& w : warnings) notice += (notice.empty() ? "" : "\n\n") + w;
        window.show_notice(notice);
    }

    WindowProgress progress(window);
    if (!build_fiber_tables(in, tables, progress)) return stopped();
    if (const auto refusal = check_fiber_tables(in, tables)) {
        return refuse(window, *refusal, in.model);
    }

    RunState run;
    run.ranges = prepare_load_chart(window.load_chart(), in);
    if (!window.yield()) return stopped();
    prepare_fiber_chart(window.fiber_chart(), run.ranges);
    if (!window.yield()) return stopped();

    // The one guarded region: creating the file and writing its header.
    std::optional<FileFailure> failure = run.file.open(in.data_file_name);
    if (!failure) failure = run.file.write_header(in, window.clock());
    if (failure) {
        run.file.close();
        RunOutcome outcome = end_with_message(window, RunEnd::file_error, "Error",
                                              file_error_message(failure->code), failure->code);
        outcome.description = failure->description;
        return outcome;
    }
    if (!window.result_file_ready()) {
        run.file.close();
        return stopped();
    }

    CrackOpeningStepper stepper =
        openings ? CrackOpeningStepper(in, tables, *openings) : CrackOpeningStepper(in, tables);
    stepper.run(progress, [&](const StepValues& s) { return publish_step(window, run, s); });
    if (run.stopping || (!run.row_failure && !stepper.finished())) {
        run.file.close();
        return stopped(run.rows);
    }
    std::optional<FileFailure> write_failure = run.row_failure;
    const std::optional<FileFailure> close_failure = run.file.close();
    if (!write_failure) write_failure = close_failure;
    if (write_failure) {
        const std::string message =
            "The result file " + in.data_file_name + " is incomplete: it holds the header and " +
            std::to_string(run.rows) + " rows, and writing failed after them (" +
            write_failure->description + ", code " + std::to_string(write_failure->code) + ").";
        return end_with_message(window, RunEnd::write_error, "Error", message, write_failure->code,
                                run.rows);
    }

    window.set_start_enabled(true);
    window.set_chooser_enabled(true);
    window.show_status("Finish");
    window.yield();
    return {RunEnd::finished, "", 0, "", run.rows};
}

}  // namespace quarnel
