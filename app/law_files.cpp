#include "law_files.h"

#include <iostream>

#include "app/command_line.h"
#include "app/process_guard.h"
#include "app/step_writers.h"
#include "run/calculation_run.h"
#include "study/converged_criteria.h"

namespace quarnel {

namespace {

// The run's window for a command line: status texts as progress, no charts,
// messages on standard error, and every step's values to the step writer.
// The CSV is created only once the result file is open with its header, so
// that a refused run touches no file.
class CommandLineWindow final : public RunWindow {
  public:
    explicit CommandLineWindow(const LawFilesRequest& request)
        : request_(request), steps_(request.csv, request.json), progress_(request.progress) {}

    StepValues last;
    CriteriaAccumulator criteria;
    bool result_file_opened = false;
    std::optional<std::string> output_failure;  // what failed, other than the result file

    InputSet input_texts() const override { return request_.inputs.texts; }
    std::string data_file_text() const override { return request_.output; }
    std::int16_t model() const override { return request_.inputs.model; }
    std::optional<std::vector<double>> openings() const override { return request_.openings; }
    void show_status(const std::string& text) override { progress_.show(text); }
    bool yield() override { return !output_failure && ending_signal_number() == 0; }
    void set_field(ResultField, const std::string&) override {}
    void set_start_enabled(bool) override {}
    void set_chooser_enabled(bool) override {}
    ChartSurface& load_chart() override { return no_chart_; }
    ChartSurface& fiber_chart() override { return no_chart_; }
    void show_message(const std::string&, const std::string& text) override {
        progress_.finish();
        std::cerr << request_.program << text << "\n";
    }
    ClockReading clock() const override { return request_.at ? *request_.at : local_clock_now(); }
    bool result_file_ready() override {
        result_file_opened = true;
        output_failure = steps_.open();
        return !output_failure;
    }
    void step_published(const StepValues& s) override {
        last = s;
        criteria.add(s);
        if (!output_failure) output_failure = steps_.write(s);
    }
    // Closes the CSV; false when its closing failed.
    bool close_steps() {
        const auto failure = steps_.close();
        if (failure && !output_failure) output_failure = failure;
        return !failure;
    }
    std::string left_behind(int result_rows) const {
        std::vector<std::string> parts = {request_.output + " holds the header and " +
                                          rows_text(result_rows)};
        for (std::string& part : steps_.held()) parts.push_back(std::move(part));
        std::string text;
        for (std::size_t p = 0; p < parts.size(); ++p) text += (p == 0 ? "" : ", ") + parts[p];
        return text + ".";
    }
    void finish_progress() { progress_.finish(); }

  private:
    const LawFilesRequest& request_;
    StepWriter steps_;
    ProgressLine progress_;
    NoChart no_chart_;
};

}  // namespace

LawFilesResult write_law_files(const LawFilesRequest& request, const MatrixProperties& matrix) {
    CommandLineWindow window(request);
    CalculationInputs inputs;
    FiberTables tables;
    const RunOutcome outcome = run_calculation(window, inputs, tables);
    window.finish_progress();
    const bool steps_closed = window.close_steps();

    LawFilesResult result;
    result.rows = outcome.rows;
    result.last = window.last;
    const std::optional<CriteriaSettings>& settings = request.criteria;
    result.criteria =
        window.criteria.result(matrix, settings ? settings->psh_margins : std::nullopt);
    const std::string& program = request.program;
    if (outcome.end == RunEnd::refused) {
        result.status = exit_usage;
    } else if (outcome.end == RunEnd::file_error) {
        std::cerr << program << request.output << ": " << outcome.description << "\n";
        result.status = exit_file_error;
    } else if (outcome.end != RunEnd::finished || !steps_closed) {
        const int signal_number = ending_signal_number();
        if (signal_number != 0 && !window.output_failure) {
            std::cerr << program << "stopped by " << signal_name(signal_number) << ": "
                      << (window.result_file_opened ? window.left_behind(outcome.rows)
                                                    : std::string("no file was written."))
                      << "\n";
            standard_output_flushed(program);
            result.status = exit_signal_base + signal_number;
        } else {
            if (window.output_failure) std::cerr << program << *window.output_failure << "\n";
            std::cerr << program << window.left_behind(outcome.rows) << "\n";
            result.status = exit_file_error;
        }
    }
    if (result.status == exit_ok && settings && settings->source == CriteriaSource::converged) {
        // The run's model setting serves the refinement's laws.
        LawScratch scratch{std::move(tables), inputs};
        result.criteria =
            converged_law_criteria(request.inputs.inputs(), matrix, *settings, scratch);
    }
    return result;
}

}  // namespace quarnel
