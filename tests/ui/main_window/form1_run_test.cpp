#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "run/calculation_run.h"
#include "run/chart_surface.h"
#include "run/result_file.h"
#include "ui/main_window/form1.h"
#include "ui/widgets/chart_box.h"

using quarnel::Form1;
using quarnel::ResultField;

namespace {

constexpr quarnel::ClockReading fixed_clock{2026, 12, 6, 14, 5, 9};

const QRgb axis_grey = qRgb(128, 128, 128);
const QRgb grid_grey = qRgb(200, 200, 200);
const QRgb load_blue = qRgb(0, 0, 255);
const QRgb fiber_green = qRgb(10, 70, 10);

// The same run without a window: every yield goes on, nothing is drawn.
class HeadlessWindow final : public quarnel::RunWindow {
  public:
    quarnel::FieldTexts texts = quarnel::default_field_texts();
    std::int16_t model_value = 1;
    std::string file;
    std::map<ResultField, std::string> fields;

    quarnel::InputSet input_texts() const override { return quarnel::inputs_of_fields(texts); }
    std::string data_file_text() const override { return file; }
    std::int16_t model() const override { return model_value; }
    void show_status(const std::string&) override {}
    bool yield() override { return true; }
    void set_field(ResultField f, const std::string& t) override { fields[f] = t; }
    void set_start_enabled(bool) override {}
    void set_chooser_enabled(bool) override {}
    quarnel::ChartSurface& load_chart() override { return chart_; }
    quarnel::ChartSurface& fiber_chart() override { return chart_; }
    void show_message(const std::string&, const std::string&) override {}
    quarnel::ClockReading clock() const override { return fixed_clock; }

  private:
    quarnel::NoChart chart_;
};

QByteArray contents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

// The first `count` lines, each with its CR LF.
QByteArray first_lines(const QByteArray& text, int count) {
    qsizetype end = 0;
    for (int i = 0; i < count; ++i) end = text.indexOf("\r\n", end) + 2;
    return text.left(end);
}

int count_of(const QImage& image, QRgb rgb) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == rgb;
    }
    return count;
}

int count_in_row(const QImage& image, int y, QRgb rgb) {
    int count = 0;
    for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == rgb;
    return count;
}

struct Message {
    QWidget* parent = nullptr;
    QString title;
    QString text;
};

}  // namespace

class Form1RunTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Form1> form;
    std::function<void(QWidget*, const QString&, const QString&)> default_message_box;
    std::vector<Message> messages;
    int chooser_calls = 0;
    QStringList statuses;

    QLineEdit* field(const char* name) const { return form->text_field(name); }
    QString path(const char* name) const { return dir->filePath(QString::fromUtf8(name)); }

    void click(QWidget* widget) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
    }
    void click(const char* name) { click(form->findChild<QWidget*>(QString::fromUtf8(name))); }
    void type_into(const char* name, const QString& text) {
        QLineEdit* const edit = field(name);
        edit->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, text);
    }
    // "Data File Name", with the chooser accepting `answer` (or cancelled).
    void choose(std::optional<QString> answer) {
        form->file_chooser = [this, answer](QWidget*) {
            ++chooser_calls;
            return answer;
        };
        click(form->command2());
    }
    // Does `action` during the yield that follows the status text `when`, as
    // input that arrives while the run is under way.
    void when_status(const QString& when, std::function<void()> action) {
        connect(field("Text1"), &QLineEdit::textChanged, form.get(), [=, this](const QString& t) {
            if (t == when) QTimer::singleShot(0, form.get(), action);
        });
    }
    QByteArray headless_file(const char* name, quarnel::FieldTexts changes = {},
                             std::int16_t model = 1,
                             std::map<ResultField, std::string>* fields = nullptr) {
        HeadlessWindow window;
        for (auto& [name, text] : changes) window.texts[name] = text;
        window.model_value = model;
        window.file = path(name).toStdString();
        quarnel::CalculationInputs inputs;
        quarnel::FiberTables tables;
        const quarnel::RunOutcome outcome = quarnel::run_calculation(window, inputs, tables);
        if (outcome.end != quarnel::RunEnd::finished) qFatal("the headless run did not finish");
        if (fields) *fields = window.fields;
        return contents(path(name));
    }
    QString value(ResultField f) const {
        static const std::map<ResultField, const char*> names = {{ResultField::Text18, "Text18"},
                                                                 {ResultField::Text19, "Text19"},
                                                                 {ResultField::Text21, "Text21"},
                                                                 {ResultField::Text22, "Text22"},
                                                                 {ResultField::Text23, "Text23"}};
        return field(names.at(f))->text();
    }

    // Answers the next modal box with `button`, keeping what it showed.
    struct SeenBox {
        QString title, text;
        bool warning = false, ok_and_cancel = false, cancel_default = false, over_window = false;
    };
    void answer_next_box(QMessageBox::StandardButton button, SeenBox& seen) {
        auto* poll = new QTimer(form.get());
        connect(poll, &QTimer::timeout, form.get(), [this, poll, button, &seen] {
            auto* const box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            poll->stop();
            poll->deleteLater();
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.warning = box->icon() == QMessageBox::Warning;
            seen.ok_and_cancel = box->standardButtons() == (QMessageBox::Ok | QMessageBox::Cancel);
            seen.cancel_default = box->defaultButton() == box->button(QMessageBox::Cancel);
            seen.over_window = box->parentWidget() == form.get() && box->isModal();
            click(box->button(button));
        });
        poll->start(10);
    }

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        messages.clear();
        statuses.clear();
        chooser_calls = 0;
        form = std::make_unique<Form1>();
        default_message_box = form->message_box;
        form->message_box = [this](QWidget* parent, const QString& title, const QString& text) {
            messages.push_back({parent, title, text});
        };
        form->clock = [] { return fixed_clock; };
        connect(field("Text1"), &QLineEdit::textChanged, form.get(),
                [this](const QString& t) { statuses << t; });
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void cleanup() {
        form.reset();
        dir.reset();
    }

    void start_runs_the_whole_calculation_into_the_window() {
        choose(path("run.p-d"));
        QVERIFY(form->command1()->isEnabled());
        click(form->command1());  // returns after the run

        QCOMPARE(field("Text1")->text(), QStringLiteral("Finish"));
        QVERIFY(form->command1()->isEnabled());
        QVERIFY(form->command2()->isEnabled());
        QVERIFY(messages.empty());

        std::map<ResultField, std::string> expected;
        QCOMPARE(contents(path("run.p-d")), headless_file("headless.p-d", {}, 1, &expected));
        for (const auto& [f, text] : expected) QCOMPARE(value(f), QString::fromStdString(text));
        QVERIFY(QRegularExpression("^0\\.\\d{4}$").match(value(ResultField::Text18)).hasMatch());
        QVERIFY(QRegularExpression("^\\d+\\.\\d{4}$").match(value(ResultField::Text19)).hasMatch());
        QVERIFY(QRegularExpression("^\\d\\.\\d{5}$").match(value(ResultField::Text21)).hasMatch());
        QVERIFY(value(ResultField::Text18) != QStringLiteral("0.0000"));
        QCOMPARE(value(ResultField::Text22), QStringLiteral("Wcr=15(mm)"));
        QVERIFY(value(ResultField::Text23).startsWith(QStringLiteral("σ=")));
        QVERIFY(value(ResultField::Text23).endsWith(QStringLiteral("(MPa)")));
        QCOMPARE(form->inputs().data_file_name, path("run.p-d").toStdString());
    }

    void status_line_shows_every_stage_in_order() {
        choose(path("run.p-d"));
        click(form->command1());
        QStringList expected = {"Starting...", "Parameter setting...", "Model setting..."};
        for (int k = 0; k <= 100; ++k) expected << QStringLiteral("Model setting %1%").arg(k);
        for (int n = 0; n <= 60; ++n) expected << QStringLiteral("Calculating for Step %1").arg(n);
        expected << "Finish";
        QCOMPARE(statuses, expected);
    }

    void charts_show_axes_grid_and_both_curves() {
        choose(path("run.p-d"));
        click(form->command1());
        const QImage load = form->picture1()->image();
        const QImage fiber = form->picture2()->image();
        QCOMPARE(load.size(), form->picture1()->size());

        // Load chart: both axes and the curve.
        QVERIFY(count_of(load, axis_grey) > load.width() / 2 + load.height() / 2);
        QVERIFY(count_of(load, load_blue) > load.width() / 2);
        QCOMPARE(count_of(load, fiber_green), 0);

        // Fiber chart: the ratio 1 and ratio 0 grid lines on its edges, the
        // vertical axis, and the curve, which ends on the ratio 0 line.
        const int last_row = fiber.height() - 1;
        QCOMPARE(count_in_row(fiber, 0, grid_grey), fiber.width());
        QCOMPARE(fiber.pixel(0, last_row), grid_grey);
        QVERIFY(count_in_row(fiber, last_row, grid_grey) > fiber.width() / 2);
        QVERIFY(count_in_row(fiber, last_row, fiber_green) > 0);
        QVERIFY(count_of(fiber, grid_grey) > 10 * fiber.width());
        QVERIFY(count_of(fiber, axis_grey) > fiber.height() / 2);
        QVERIFY(count_of(fiber, fiber_green) > fiber.width() / 2);
        QCOMPARE(count_of(fiber, load_blue), 0);

        // The chooser erases the load chart and leaves the fiber chart.
        choose(std::nullopt);
        const QRgb background = form->palette().color(QPalette::Active, QPalette::Window).rgb();
        QCOMPARE(count_of(form->picture1()->image(), background), load.width() * load.height());
        QCOMPARE(form->picture2()->image(), fiber);
    }

    void start_and_chooser_stay_disabled_until_finish() {
        choose(path("run.p-d"));
        std::vector<std::pair<bool, bool>> states;
        connect(field("Text1"), &QLineEdit::textChanged, form.get(), [&] {
            states.emplace_back(form->command1()->isEnabled(), form->command2()->isEnabled());
        });
        when_status(QStringLiteral("Calculating for Step 5"), [this] {
            click(form->command1());
            click(form->command2());
            QTest::keyClick(form->command1(), Qt::Key_Space);
            // Disabling the clicked Start must not hand the focus to Exit.
            if (QWidget* focused = QApplication::focusWidget()) {
                QTest::keyClick(focused, Qt::Key_Space);
            }
        });
        click(form->command1());
        QVERIFY(!form->exiting());

        QCOMPARE(statuses.count(QStringLiteral("Starting...")), 1);
        QCOMPARE(statuses.back(), QStringLiteral("Finish"));
        QCOMPARE(chooser_calls, 1);
        QCOMPARE(states.back(), std::pair(true, true));
        states.pop_back();
        for (const auto& s : states) QCOMPARE(s, std::pair(false, false));
        QCOMPARE(contents(path("run.p-d")).count("\r\n"), qsizetype{67});
    }

    void edits_during_a_run_change_only_the_next_run() {
        choose(path("run.p-d"));
        when_status(QStringLiteral("Model setting 50%"), [this] {
            type_into("Text3", QStringLiteral("5000"));
            type_into("Text20", QStringLiteral("3"));
            click("Option2");
            type_into("Text16", QStringLiteral("0.45"));
        });
        click(form->command1());
        QCOMPARE(field("Text1")->text(), QStringLiteral("Finish"));
        QCOMPARE(contents(path("run.p-d")), headless_file("defaults.p-d"));
        QCOMPARE(form->model(), std::int16_t{2});
        QCOMPARE(field("Text3")->text(), QStringLiteral("5000"));

        // The next run reads the edited fields and replaces the file.
        click(form->command1());
        QCOMPARE(field("Text1")->text(), QStringLiteral("Finish"));
        const QByteArray edited = headless_file(
            "edited.p-d", {{"Text3", "5000"}, {"Text20", "3"}, {"Text16", "0.45"}}, 2);
        QCOMPARE(contents(path("run.p-d")), edited);
        QCOMPARE(edited.count("\r\n"), qsizetype{6 + 7});
    }

    void path_typed_into_text2_is_used_and_kept_for_cancel() {
        choose(path("chosen.p-d"));
        type_into("Text2", path("typed.p-d"));
        form->clock = nullptr;  // the local clock
        click(form->command1());
        QCOMPARE(field("Text1")->text(), QStringLiteral("Finish"));
        QVERIFY(!QFile::exists(path("chosen.p-d")));
        const QByteArray written = contents(path("typed.p-d"));
        QCOMPARE(written.count("\r\n"), qsizetype{67});
        const QString line1 = QString::fromLatin1(first_lines(written, 1));
        QVERIFY2(QRegularExpression("^Bridging Law \\(bi-linear\\) calculated at "
                                    "\\d\\d:\\d\\d:\\d\\d on \\d\\d-\\d\\d-\\d{4}, "
                                    "Constant model\\r\\n$")
                     .match(line1)
                     .hasMatch(),
                 qPrintable(line1));

        choose(std::nullopt);
        QCOMPARE(field("Text2")->text(), path("typed.p-d"));
        QCOMPARE(form->data_file_name(), path("typed.p-d"));
    }

    void empty_data_file_name_ends_on_the_error_path() {
        choose(std::nullopt);
        QCOMPARE(field("Text2")->text(), QString());
        QVERIFY(form->command1()->isEnabled());
        click(form->command1());

        QCOMPARE(messages.size(), std::size_t{1});
        QCOMPARE(messages[0].parent, form.get());
        QCOMPARE(messages[0].title, QStringLiteral("Error"));
        QCOMPARE(
            messages[0].text,
            QStringLiteral("This output data file has been opened by another application. (52)"));
        QCOMPARE(statuses.back(), QString());
        QCOMPARE(field("Text1")->text(), QString());
        const QStringList reset = {"0", "0", "0", "", ""};
        QCOMPARE((QStringList{value(ResultField::Text18), value(ResultField::Text19),
                              value(ResultField::Text21), value(ResultField::Text22),
                              value(ResultField::Text23)}),
                 reset);
        QVERIFY(!form->command1()->isEnabled());
        QVERIFY(form->command2()->isEnabled());
        // The charts are prepared and hold no curve.
        QVERIFY(count_of(form->picture1()->image(), axis_grey) > 0);
        QCOMPARE(count_of(form->picture1()->image(), load_blue), 0);
        QCOMPARE(count_of(form->picture2()->image(), fiber_green), 0);

        // The chooser leads out of it.
        choose(path("run.p-d"));
        QVERIFY(form->command1()->isEnabled());
        click(form->command1());
        QCOMPARE(field("Text1")->text(), QStringLiteral("Finish"));
        QCOMPARE(messages.size(), std::size_t{1});
    }

    void refused_input_names_the_field_and_leaves_start_enabled() {
        choose(path("run.p-d"));
        type_into("Text6", QStringLiteral("0"));
        click(form->command1());

        QCOMPARE(messages.size(), std::size_t{1});
        QVERIFY2(messages[0].text.contains(QStringLiteral("\"Length (mm)\"")),
                 qPrintable(messages[0].text));
        QCOMPARE(field("Text1")->text(), QString());
        QVERIFY(form->command1()->isEnabled());
        QVERIFY(form->command2()->isEnabled());
        QVERIFY(!QFile::exists(path("run.p-d")));

        type_into("Text6", QStringLiteral("30"));
        click(form->command1());
        QCOMPARE(field("Text1")->text(), QStringLiteral("Finish"));
    }

    void refusals_of_undefined_arithmetic_reach_the_error_box_data() {
        QTest::addColumn<bool>("function_lb");
        QTest::addColumn<QStringList>("typed");  // field, text, field, text, ...
        QTest::addColumn<QStringList>("named");  // captions the message must name
        QTest::addColumn<QString>("not_named");
        QTest::newRow("weights not finite")
            << false << QStringList{"Text10", "0", "Text11", "45"}
            << QStringList{"\"Fiber orientation, kxy\"", "\"\u03B8r,xy(deg)\"",
                           "not a finite number"}
            << QString("when kxy is 0");
        QTest::newRow("falling slope not finite")
            << false << QStringList{"Text14", "1e37", "Text9", "3e38"}
            << QStringList{"\"Pmax (N)\"", "slope"} << QString();
        QTest::newRow("rupture load not finite")
            << false << QStringList{"Text9", "0", "Text8", "-1000"}
            << QStringList{"\"Strength reduction\"", "\"Rupture strength (MPa)\"", "rupture load"}
            << QString();
        QTest::newRow("D makes the opening at peak overflow")
            << true << QStringList{"Text16", "0.45", "Text17", "300"} << QStringList{"\"D\""}
            << QString("\"C\"");
        QTest::newRow("half of Lf rounds to 0")
            << true << QStringList{"Text16", "0.05", "Text17", "-0.1", "Text6", "1e-45"}
            << QStringList{"\"Length (mm)\"", "rounds to 0"} << QString("\"C\"");
    }

    void refusals_of_undefined_arithmetic_reach_the_error_box() {
        QFETCH(bool, function_lb);
        QFETCH(QStringList, typed);
        QFETCH(QStringList, named);
        QFETCH(QString, not_named);
        choose(path("run.p-d"));
        if (function_lb) click("Option2");
        for (qsizetype i = 0; i + 1 < typed.size(); i += 2) {
            type_into(typed[i].toUtf8().constData(), typed[i + 1]);
        }
        click(form->command1());

        QCOMPARE(messages.size(), std::size_t{1});
        QCOMPARE(messages[0].title, QStringLiteral("Quarnel"));
        for (const QString& caption : named) {
            QVERIFY2(messages[0].text.contains(caption), qPrintable(messages[0].text));
        }
        if (!not_named.isEmpty()) {
            QVERIFY2(!messages[0].text.contains(not_named), qPrintable(messages[0].text));
        }
        QCOMPARE(field("Text1")->text(), QString());
        QVERIFY(form->command1()->isEnabled());
        QVERIFY(!QFile::exists(path("run.p-d")));
    }

    void impossible_inputs_are_refused_naming_the_field_and_the_bound_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("says");
        QTest::newRow("Vf above 1")
            << "Text4"
            << "1.5"
            << "\"Fiber, Volume fraction\" must lie between 0 and 1, not 1.5";
        QTest::newRow("Vf negative")
            << "Text4"
            << "-0.01"
            << "\"Fiber, Volume fraction\" must lie between 0 and 1, not -0.01";
        QTest::newRow("Am negative") << "Text3"
                                     << "-2500"
                                     << "\"Matrix, Sectional area (mm2)\" must not be negative";
        QTest::newRow("Af negative") << "Text5"
                                     << "-0.2"
                                     << "\"Fiber, Sectional area (mm2)\" must not be negative";
    }

    void impossible_inputs_are_refused_naming_the_field_and_the_bound() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, says);
        choose(path("run.p-d"));
        type_into(field.toUtf8().constData(), typed);
        click(form->command1());
        QCOMPARE(messages.size(), std::size_t{1});
        QCOMPARE(messages[0].title, QStringLiteral("Quarnel"));
        QVERIFY2(messages[0].text.startsWith(says), qPrintable(messages[0].text));
        QVERIFY(!QFile::exists(path("run.p-d")));
        QVERIFY(form->command1()->isEnabled());
    }

    void a_text_read_in_part_is_shown_before_the_run_and_cancel_runs_nothing() {
        choose(path("run.p-d"));
        type_into("Text4", QStringLiteral("2%"));
        type_into("Text9", QStringLiteral("1600"));
        SeenBox seen;
        answer_next_box(QMessageBox::Cancel, seen);
        click(form->command1());  // returns once the box is answered

        QCOMPARE(seen.title, QStringLiteral("Quarnel"));
        QVERIFY2(
            seen.text.contains(QStringLiteral("\n\"Fiber, Volume fraction\": \"2%\" read as 2\n")),
            qPrintable(seen.text));
        QVERIFY(!seen.text.contains(QStringLiteral("Rupture")));
        QVERIFY(seen.warning && seen.ok_and_cancel && seen.cancel_default && seen.over_window);
        QVERIFY(statuses.isEmpty());  // no run began
        QVERIFY(messages.empty());
        QVERIFY(!QFile::exists(path("run.p-d")));
        QVERIFY(form->command1()->isEnabled());
        // Back at the first such field, its text selected for correction.
        QCOMPARE(form->focusWidget(), field("Text4"));
        QCOMPARE(field("Text4")->selectedText(), QStringLiteral("2%"));

        // OK runs with the number read, which is refused here as no volume
        // fraction can be 2.
        answer_next_box(QMessageBox::Ok, seen);
        click(form->command1());
        QCOMPARE(statuses.first(), QStringLiteral("Starting..."));
        QCOMPARE(messages.size(), std::size_t{1});
        QVERIFY2(messages[0].text.startsWith(
                     QStringLiteral("\"Fiber, Volume fraction\" must lie between 0 and 1, not 2")),
                 qPrintable(messages[0].text));
        QVERIFY(!QFile::exists(path("run.p-d")));
    }

    void ok_runs_with_the_numbers_read_in_part() {
        choose(path("run.p-d"));
        type_into("Text6", QStringLiteral("30mm"));
        SeenBox seen;
        answer_next_box(QMessageBox::Ok, seen);
        click(form->command1());
        QVERIFY2(seen.text.contains(QStringLiteral("\"Length (mm)\": \"30mm\" read as 30")),
                 qPrintable(seen.text));
        QCOMPARE(field("Text1")->text(), QStringLiteral("Finish"));
        QVERIFY(messages.empty());
        QCOMPARE(contents(path("run.p-d")), headless_file("headless.p-d", {{"Text6", "30"}}));
    }

    void a_narrow_orientation_density_is_told_before_the_run_goes_on() {
        choose(path("run.p-d"));
        type_into("Text10", QStringLiteral("1e4"));
        type_into("Text20", QStringLiteral("2"));
        click(form->command1());
        QCOMPARE(messages.size(), std::size_t{1});
        QCOMPARE(messages[0].parent, form.get());
        QCOMPARE(messages[0].title, QStringLiteral("Quarnel"));
        QVERIFY2(messages[0].text.startsWith(
                     QStringLiteral("x-y plane: its 90 orientation weights sum to 0.716312")),
                 qPrintable(messages[0].text));
        QCOMPARE(statuses.indexOf(QStringLiteral("Model setting...")), 2);
        QCOMPARE(field("Text1")->text(), QStringLiteral("Finish"));
        QCOMPARE(contents(path("run.p-d")),
                 headless_file("headless.p-d", {{"Text10", "1e4"}, {"Text20", "2"}}));
    }

    void message_box_is_a_modal_warning_over_the_window() {
        form->message_box = default_message_box;
        choose(std::nullopt);
        QString seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, form.get(), [&] {
            auto* const box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            poll.stop();
            seen = QStringLiteral("%1|%2|%3|%4|%5")
                       .arg(box->windowTitle(), box->text())
                       .arg(box->icon() == QMessageBox::Warning)
                       .arg(box->standardButtons() == QMessageBox::Ok)
                       .arg(box->parentWidget() == form.get() && box->isModal());
            click(box->button(QMessageBox::Ok));
        });
        poll.start(10);
        click(form->command1());  // returns once the box is closed
        QCOMPARE(seen, QStringLiteral("Error|This output data file has been opened by another "
                                      "application. (52)|1|1|1"));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    // Last: ending the program leaves the application's exit flag set.
    void ending_the_program_during_a_run_stops_it_data() {
        QTest::addColumn<bool>("by_exit");
        QTest::newRow("Exit") << true;
        QTest::newRow("closing the window") << false;
    }

    void ending_the_program_during_a_run_stops_it() {
        QFETCH(bool, by_exit);
        choose(path("run.p-d"));
        when_status(QStringLiteral("Calculating for Step 10"), [this, by_exit] {
            if (by_exit) {
                click("Command4");
            } else {
                form->close();
            }
        });
        // The click runs inside the event loop, as in the program; the loop
        // ends once the click's handler has returned.
        bool returned = false;
        QTimer::singleShot(0, form.get(), [&] {
            click(form->command1());
            returned = true;
        });
        QCOMPARE(QApplication::exec(), 0);

        QVERIFY(returned);
        QVERIFY(form->exiting());
        QVERIFY(!form->isVisible());
        QCOMPARE(statuses.back(), QStringLiteral("Calculating for Step 10"));
        QVERIFY(!form->command1()->isEnabled());
        // Steps 0 to 9, complete, and nothing after them.
        QCOMPARE(contents(path("run.p-d")), first_lines(headless_file("headless.p-d"), 6 + 10));
        QVERIFY(messages.empty());
    }
};

QTEST_MAIN(Form1RunTest)
#include "form1_run_test.moc"
