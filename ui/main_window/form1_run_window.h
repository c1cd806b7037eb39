#pragma once

#include <cstdint>
#include <string>

#include "run/calculation_run.h"
#include "ui/main_window/chart_box_surface.h"

namespace quarnel {

class Form1;

// The main window as a run sees it: the status line Text1, the data file
// field Text2, the value fields, Start and "Data File Name", the two chart
// boxes and the window's message box. A yield processes every pending window
// event; it returns false once the program is ending.
class Form1RunWindow final : public RunWindow {
  public:
    explicit Form1RunWindow(Form1& form);

    InputSet input_texts() const override;
    // Also becomes the window's data file name, so that a later Cancel in the
    // chooser shows the path this run used.
    std::string data_file_text() const override;
    std::int16_t model() const override;

    void show_status(const std::string& text) override;
    bool yield() override;
    void set_field(ResultField field, const std::string& text) override;
    void set_start_enabled(bool enabled) override;
    void set_chooser_enabled(bool enabled) override;
    ChartSurface& load_chart() override { return load_chart_; }
    ChartSurface& fiber_chart() override { return fiber_chart_; }
    void show_message(const std::string& title, const std::string& text) override;
    // The window's message box, titled "Quarnel"; the run goes on after OK.
    void show_notice(const std::string& text) override;
    ClockReading clock() const override;
    // Kept for the charts' menu.
    void step_published(const StepValues& step) override;

  private:
    Form1& form_;
    ChartBoxSurface load_chart_;
    ChartBoxSurface fiber_chart_;
};

}  // namespace quarnel
