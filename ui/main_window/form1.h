#pragma once

#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "engine/bridging_law.h"
#include "engine/calculation_inputs.h"
#include "engine/fiber_tables.h"
#include "run/input_fields.h"
#include "run/result_file.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace quarnel {

class ChartBox;

// The main window: every input of a calculation as a text field under its
// caption plate, the pull-out model choice, the command buttons, the status
// line and the two charts with their value fields. It holds the field texts,
// the model selector and the parameter record of the runs; the numbers come
// from the engine.
class Form1 : public QWidget {
    Q_OBJECT

  public:
    explicit Form1(QWidget* parent = nullptr);

    // Current texts of Text2 .. Text28, keyed by control name.
    FieldTexts field_texts() const;
    // The field of that name ("Text1" .. "Text28"), or nullptr.
    QLineEdit* text_field(std::string_view name) const;

    std::int16_t model() const { return model_; }
    CalculationInputs& inputs() { return inputs_; }
    ChartBox* picture1() const { return picture1_; }
    ChartBox* picture2() const { return picture2_; }
    QPushButton* command1() const { return command1_; }
    QPushButton* command2() const { return command2_; }

    // The result file path: set by the chooser when it accepts a file and by
    // a run from Text2; shown again in Text2 when the chooser is cancelled.
    const QString& data_file_name() const { return data_file_name_; }
    void set_data_file_name(const QString& path) { data_file_name_ = path; }

    // True once the program is ending; a run stops at its next yield.
    bool exiting() const { return exiting_.load(); }

    // Closes files held open outside a run; called by Exit. A run's result
    // file is closed by the run as soon as its next yield sees the program
    // ending, with the rows written so far.
    std::function<void()> close_all_files;
    // Shows the modal data file chooser and returns the accepted path.
    std::function<std::optional<QString>(QWidget*)> file_chooser;
    // Shows a run's message: a modal box over `parent` with the given title,
    // an exclamation icon and one OK button.
    std::function<void(QWidget* parent, const QString& title, const QString& text)> message_box;
    // Asks before a run: a modal box over `parent` with an exclamation icon,
    // OK and Cancel (the default); true for OK.
    std::function<bool(QWidget* parent, const QString& title, const QString& text)> confirm_box;
    // The local time and date for the first line of a result file.
    std::function<ClockReading()> clock;
    // Asks where "Save Chart As..." saves the figure (PNG, SVG or PDF); no
    // name when cancelled. The standard save dialog unless replaced.
    std::function<std::optional<QString>(QWidget*)> save_chart_name;

    // The charts' menu (right-click on either chart): "Save Chart As...",
    // "Copy Data", "Copy Image", for the last run's steps.
    QMenu* chart_menu() const { return chart_menu_; }
    // The last run's steps, kept as they are published.
    const std::vector<StepValues>& last_steps() const { return last_steps_; }
    void record_step(const StepValues& step) { last_steps_.push_back(step); }
    // The last run's steps as tab-separated text under a header row.
    QString steps_text() const;

    // The handlers of the window's own controls.
    void choose_data_file();
    void choose_constant_model();
    void choose_function_lb_model();
    void apply_text24_rule();
    void exit_program();

  protected:
    // Carries out one calculation run inside the click on "Start": it keeps
    // the window alive by processing its events at the run's yields and
    // returns after "Finish", an error message or the program's end. When
    // field texts are read only in part ("2%" read as 2), confirm_box lists
    // them first, and Cancel returns to the first of those fields without
    // running.
    virtual void start_run();

    // Also the charts' right-clicks, which the disabled charts (they only
    // show) would not take themselves.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    bool confirm_part_readings();
    void build_chart_menu();
    void open_chart_menu(const QPoint& at);
    void save_chart();
    void copy_image();
    void build_controls();
    void set_tab_order();
    void load();
    void centre_on_screen();
    QLabel* label(std::string_view name) const;

    std::map<std::string, QLineEdit*, std::less<>> fields_;
    std::map<std::string, QLabel*, std::less<>> labels_;
    QPushButton* command1_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* command4_ = nullptr;
    QRadioButton* option1_ = nullptr;
    QRadioButton* option2_ = nullptr;
    ChartBox* picture1_ = nullptr;
    ChartBox* picture2_ = nullptr;
    QMenu* chart_menu_ = nullptr;
    std::vector<StepValues> last_steps_;
    std::string last_title_;  // the model and main inputs of the last run

    std::int16_t model_ = 1;
    CalculationInputs inputs_;
    FiberTables tables_;
    QString data_file_name_;
    bool running_ = false;
    std::atomic<bool> exiting_ = false;
    bool centred_ = false;
};

}  // namespace quarnel
