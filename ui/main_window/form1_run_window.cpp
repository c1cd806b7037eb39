#include "form1_run_window.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "ui/main_window/form1.h"

namespace quarnel {

namespace {

const char* field_name(ResultField field) {
    switch (field) {
        case ResultField::Text18:
            return "Text18";
        case ResultField::Text19:
            return "Text19";
        case ResultField::Text21:
            return "Text21";
        case ResultField::Text22:
            return "Text22";
        case ResultField::Text23:
            return "Text23";
    }
    return "Text18";
}

}  // namespace

Form1RunWindow::Form1RunWindow(Form1& form)
    : form_(form), load_chart_(*form.picture1()), fiber_chart_(*form.picture2()) {}

InputSet Form1RunWindow::input_texts() const {
    return inputs_of_fields(form_.field_texts());
}

std::string Form1RunWindow::data_file_text() const {
    const QString path = form_.text_field("Text2")->text();
    form_.set_data_file_name(path);
    // The name as the file system spells it.
    return QFile::encodeName(path).toStdString();
}

std::int16_t Form1RunWindow::model() const {
    return form_.model();
}

void Form1RunWindow::show_status(const std::string& text) {
    form_.text_field("Text1")->setText(QString::fromStdString(text));
}

bool Form1RunWindow::yield() {
    QCoreApplication::processEvents();
    return !form_.exiting();
}

void Form1RunWindow::set_field(ResultField field, const std::string& text) {
    form_.text_field(field_name(field))->setText(QString::fromStdString(text));
}

namespace {

// Disabling the focused button would pass the focus on along the tab order,
// to "Exit", where a key pressed during the run would end the program.
void set_button_enabled(QPushButton* button, bool enabled) {
    if (!enabled && button->hasFocus()) button->clearFocus();
    button->setEnabled(enabled);
}

}  // namespace

void Form1RunWindow::set_start_enabled(bool enabled) {
    set_button_enabled(form_.command1(), enabled);
}

void Form1RunWindow::set_chooser_enabled(bool enabled) {
    set_button_enabled(form_.command2(), enabled);
}

void Form1RunWindow::show_message(const std::string& title, const std::string& text) {
    if (form_.message_box) {
        form_.message_box(&form_, QString::fromStdString(title), QString::fromStdString(text));
    }
}

void Form1RunWindow::show_notice(const std::string& text) {
    show_message("Quarnel", text);
}

void Form1RunWindow::step_published(const StepValues& step) {
    form_.record_step(step);
}

ClockReading Form1RunWindow::clock() const {
    return form_.clock ? form_.clock() : local_clock_now();
}

}  // namespace quarnel
