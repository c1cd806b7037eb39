#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/calculation_inputs.h"
#include "engine/crack_opening_stepper.h"
#include "engine/fiber_tables.h"
#include "run/chart_surface.h"
#include "run/result_file.h"

namespace quarnel {

enum class ResultField { Text18, Text19, Text21, Text22, Text23 };

// What a run needs of the main window. The window implements it; the batch
// command and the tests' recording fake do too.
class RunWindow {
  public:
    virtual ~RunWindow() = default;

    virtual InputSet input_texts() const = 0;        // every input field's text, by member
    virtual std::string data_file_text() const = 0;  // Text2 element 0
    virtual std::int16_t model() const = 0;
    // The openings to compute the law at instead of the "Division" scheme.
    virtual std::optional<std::vector<double>> openings() const { return std::nullopt; }

    virtual void show_status(const std::string& text) = 0;  // Text1
    // Processes pending window events. False means the program is ending and
    // the run must stop at once.
    virtual bool yield() = 0;
    virtual void set_field(ResultField field, const std::string& text) = 0;
    virtual void set_start_enabled(bool enabled) = 0;  // Command1
    // "Data File Name" is disabled while a run is under way, so that no run
    // can start inside a run.
    virtual void set_chooser_enabled(bool enabled) = 0;  // Command2
    virtual ChartSurface& load_chart() = 0;              // Picture1
    virtual ChartSurface& fiber_chart() = 0;             // Picture2
    // A modal message box with an exclamation icon and one OK button.
    virtual void show_message(const std::string& title, const std::string& text) = 0;
    // A notice on inputs the run computes all the same (orientation weights
    // that do not sum to 1), given once the inputs are accepted and before
    // the model setting. The command lines give their notes before the run,
    // so by default it shows nothing.
    virtual void show_notice(const std::string&) {}

    // The local clock for the header's first line.
    virtual ClockReading clock() const { return local_clock_now(); }
    // The result file is created and its header written; the steps follow.
    // False ends the run here (its file closed with the header) as a stop.
    virtual bool result_file_ready() { return true; }
    // Every step's values after its row is written and its points drawn.
    virtual void step_published(const StepValues&) {}
};

enum class RunEnd {
    finished,     // every step written, "Finish" shown
    refused,      // inputs that the model cannot compute; the file is untouched
    file_error,   // the file could not be created or its header written
    write_error,  // a row or the closing failed; the file holds the rows before it
    stopped,      // the program is ending; the file is closed as far as written
};

struct RunOutcome {
    RunEnd end = RunEnd::finished;
    std::string message;      // the message shown, if any
    int code = 0;             // file failure code
    std::string description;  // the platform's description of a file failure
    int rows = 0;             // table rows written
};

// One run of the calculation from the window's fields, stage by stage: reset,
// inputs (with their notice, if any), model setting, charts, file header,
// steps, close, "Finish". The run
// works on its own copy of the inputs, taken at its start and stored in
// `inputs` for the window; edits during the run's yields do not touch it.
RunOutcome run_calculation(RunWindow& window, CalculationInputs& inputs, FiberTables& tables);

// The per-step output: the five result fields, a yield, the table row, the
// chart points, a yield. Returns false when the run must end (a write failure
// or the program ending).
struct RunState;
bool publish_step(RunWindow& window, RunState& run, const StepValues& step);

}  // namespace quarnel
