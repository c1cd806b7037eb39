#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <memory>

#include "engine/calculation_inputs.h"
#include "ui/main_window/form1.h"
#include "ui/widgets/chart_box.h"

using quarnel::Form1;

namespace {

const QColor red(255, 0, 0);
const QColor black(0, 0, 0);

bool blank(const quarnel::ChartBox* box) {
    const QImage& image = box->image();
    const QRgb background = box->palette().color(QPalette::Active, QPalette::Window).rgb();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background) return false;
        }
    }
    return true;
}

QString focused_name() {
    const QWidget* const focused = QApplication::focusWidget();
    return focused ? focused->objectName() : QString();
}

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<Form1> form;

    template <typename T = QWidget>
    T* control(const char* name) const {
        T* const found = form->findChild<T*>(QString::fromUtf8(name));
        if (!found) qFatal("no control %s", name);
        return found;
    }
    QLineEdit* field(const char* name) const { return control<QLineEdit>(name); }
    QString caption(const char* name) const { return control<QLabel>(name)->text(); }

    // Focuses the field, selects its text and types over it, as a user would.
    void type_into(const char* name, const QString& text) {
        QLineEdit* const edit = field(name);
        edit->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, text);
    }
    void press_tab() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); }
    void click(const char* name) {
        QWidget* const widget = control(name);
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
    }
    QColor text_colour(const char* name) const {
        return field(name)->palette().color(QPalette::Text);
    }

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        form = std::make_unique<Form1>();
        form->file_chooser = [](QWidget*) { return std::optional<QString>(); };
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void cleanup() { form.reset(); }

    void loads_in_the_constant_model_with_start_disabled() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel"));
        QCOMPARE(form->model(), std::int16_t{1});
        QVERIFY(control<QRadioButton>("Option1")->isChecked());
        QVERIFY(!control<QRadioButton>("Option2")->isChecked());
        QCOMPARE(caption("Label17"), QStringLiteral("Pmax (N)"));
        QCOMPARE(caption("Label18"), QStringLiteral("δmax (mm)"));
        QCOMPARE(caption("Label21"), QStringLiteral("-"));
        QCOMPARE(caption("Label23"), QStringLiteral("-"));
        QVERIFY(!field("Text16")->isEnabled());
        QVERIFY(!field("Text17")->isEnabled());
        QVERIFY(!form->command1()->isEnabled());
        QVERIFY(form->command2()->isEnabled());
        QVERIFY(!field("Text1")->isEnabled());
        QVERIFY(!form->picture1()->isEnabled());
        QVERIFY(!form->picture2()->isEnabled());
        QVERIFY(!(field("Text22")->focusPolicy() & Qt::TabFocus));
        QVERIFY(!(field("Text23")->focusPolicy() & Qt::TabFocus));
        QCOMPARE(form->data_file_name(), QString());
    }

    void loads_with_the_default_texts() {
        const quarnel::FieldTexts texts = form->field_texts();
        for (const auto& [name, text] : quarnel::default_field_texts()) {
            QCOMPARE(QString::fromStdString(texts.at(name)), QString::fromStdString(text));
        }
        QCOMPARE(field("Text3")->text(), QStringLiteral("2500"));
        QCOMPARE(field("Text15")->text(), QStringLiteral("0.45"));
        for (const char* name : {"Text18", "Text19", "Text21"}) {
            QCOMPARE(field(name)->text(), QStringLiteral("0"));
        }
        for (const char* name : {"Text1", "Text2", "Text22", "Text23"}) {
            QCOMPARE(field(name)->text(), QString());
        }
        QVERIFY(!texts.contains("Text1"));
    }

    void field_texts_follow_typing() {
        type_into("Text3", QStringLiteral("1234.5"));
        QCOMPARE(form->field_texts().at("Text3"), std::string("1234.5"));
    }

    void captions_colours_and_fonts() {
        const auto colours = [this](const char* name) {
            const QPalette p = control(name)->palette();
            return std::pair(p.color(QPalette::WindowText), p.color(QPalette::Window));
        };
        QCOMPARE(colours("Label4"), std::pair(QColor(255, 255, 255), QColor(128, 128, 128)));
        QCOMPARE(colours("Label12"), std::pair(QColor(192, 192, 255), QColor(128, 128, 128)));
        QCOMPARE(colours("Label25"), std::pair(QColor(255, 255, 255), QColor(0, 64, 0)));
        QCOMPARE(colours("Label27"), std::pair(QColor(255, 255, 255), QColor(0, 0, 192)));
        QCOMPARE(colours("Label32"), std::pair(QColor(0, 0, 0), QColor(255, 255, 255)));
        QCOMPARE(colours("Shape2").second, QColor(192, 192, 192));
        QCOMPARE(caption("Label32"), QStringLiteral(" P: (N), δ: (mm)"));
        QCOMPARE(caption("Label13"), QStringLiteral("θr,xy(deg)"));
        QCOMPARE(caption("Label27"), QStringLiteral("σmax (MPa)"));
        QVERIFY(control<QLabel>("Label4")->alignment() & Qt::AlignHCenter);
        QVERIFY(control<QLabel>("Label19")->alignment() & Qt::AlignLeft);

        QVERIFY(control("Label10")->font().bold());
        QVERIFY(field("Text1")->font().bold());
        QVERIFY(field("Text18")->font().bold());
        QVERIFY(field("Text21")->font().bold());
        QVERIFY(!field("Text3")->font().bold());
        QVERIFY(!control("Label4")->font().bold());
        QCOMPARE(field("Text3")->font().pointSizeF(), 9.75);
        QCOMPARE(form->font().families().value(0), QStringLiteral("ＭＳ Ｐゴシック"));

        QCOMPARE(field("Text1")->palette().color(QPalette::Disabled, QPalette::Text), red);
        QCOMPARE(text_colour("Text2"), red);
        QCOMPARE(field("Text2")->palette().color(QPalette::Base), QColor(255, 255, 255));
        QCOMPARE(field("Text22")->palette().color(QPalette::Base),
                 form->palette().color(QPalette::Window));
    }

    void formula_picture_is_black_on_white() {
        const QPixmap picture = control<QLabel>("Image1")->pixmap();
        QCOMPARE(picture.size(), QSize(120, 53));
        const QImage image = picture.toImage();
        QCOMPARE(QColor(image.pixel(0, 0)), QColor(255, 255, 255));
        int dark = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 96;
        }
        QVERIFY2(dark > 100, "the formulas are drawn");
    }

    void controls_sit_at_their_places_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("Text3") << "Text3" << QRect(24, 112, 145, 19);
        QTest::newRow("Picture1") << "Picture1" << QRect(184, 440, 409, 281);
        QTest::newRow("Command2") << "Command2" << QRect(16, 16, 105, 25);
        QTest::newRow("Text2") << "Text2" << QRect(120, 48, 481, 17);
        QTest::newRow("Shape3") << "Shape3" << QRect(16, 208, 161, 369);
        QTest::newRow("Option2") << "Option2" << QRect(192, 120, 217, 17);
        QTest::newRow("Image1") << "Image1" << QRect(288, 144, 120, 53);
        QTest::newRow("Text20") << "Text20" << QRect(96, 704, 73, 19);
        QTest::newRow("Text21") << "Text21" << QRect(424, 232, 169, 19);
    }

    void controls_sit_at_their_places() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QCOMPARE(control(name.toUtf8().constData())->geometry(), geometry);
    }

    void window_is_fixed_and_centred() {
        QCOMPARE(form->size(), QSize(609, 755));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(form->windowFlags() & Qt::WindowMinimizeButtonHint));
        const QRect screen = form->screen()->geometry();
        const QRect outer = form->frameGeometry();
        QCOMPARE(outer.left(), screen.left() + screen.width() / 2 - outer.width() / 2);
        QCOMPARE(outer.top(), screen.top() + screen.height() / 2 - outer.height() / 2);
    }

    void value_fields_lie_over_their_charts_and_fields_over_the_groups() {
        for (const char* name : {"Text21", "Text18", "Text23", "Text3", "Text14"}) {
            QWidget* const w = control(name);
            QCOMPARE(form->childAt(w->geometry().center()), w);
        }
        // The formula picture lies over the lower note, so both formulas show.
        QWidget* const image = control("Image1");
        QCOMPARE(form->childAt(image->geometry().bottomRight() - QPoint(2, 2)), image);
    }

    void function_lb_model_and_back_by_mouse() {
        type_into("Text14", QStringLiteral("7"));
        type_into("Text15", QStringLiteral("0.6"));
        click("Option2");
        QVERIFY(control<QRadioButton>("Option2")->isChecked());
        QCOMPARE(form->model(), std::int16_t{2});
        QCOMPARE(caption("Label17"), QStringLiteral("A"));
        QCOMPARE(caption("Label18"), QStringLiteral("B"));
        QCOMPARE(caption("Label21"), QStringLiteral("C"));
        QCOMPARE(caption("Label23"), QStringLiteral("D"));
        QVERIFY(field("Text16")->isEnabled());
        QVERIFY(field("Text17")->isEnabled());
        QCOMPARE(field("Text14")->text(), QStringLiteral("7"));
        QCOMPARE(field("Text15")->text(), QStringLiteral("0.6"));

        type_into("Text16", QStringLiteral("5"));
        type_into("Text17", QStringLiteral("0.2"));
        click("Option1");
        QCOMPARE(form->model(), std::int16_t{1});
        QCOMPARE(caption("Label17"), QStringLiteral("Pmax (N)"));
        QCOMPARE(caption("Label18"), QStringLiteral("δmax (mm)"));
        QCOMPARE(caption("Label21"), QStringLiteral("-"));
        QCOMPARE(caption("Label23"), QStringLiteral("-"));
        QCOMPARE(field("Text16")->text(), QStringLiteral("0"));
        QCOMPARE(field("Text17")->text(), QStringLiteral("0"));
        QVERIFY(!field("Text16")->isEnabled());
        QVERIFY(!field("Text17")->isEnabled());
        QCOMPARE(field("Text14")->text(), QStringLiteral("7"));
        QCOMPARE(field("Text15")->text(), QStringLiteral("0.6"));
    }

    void every_change_to_function_lb_resets_c_and_d() {
        click("Option2");
        type_into("Text16", QStringLiteral("5"));
        click("Option2");  // already selected: no change, nothing reset
        QCOMPARE(field("Text16")->text(), QStringLiteral("5"));
        click("Option1");
        click("Option2");
        QCOMPARE(field("Text16")->text(), QStringLiteral("0"));
        QCOMPARE(field("Text17")->text(), QStringLiteral("0"));
    }

    void model_is_chosen_by_keyboard() {
        QWidget* const option1 = control("Option1");
        option1->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        QTest::keyClick(option1, Qt::Key_Down);
        QCOMPARE(form->model(), std::int16_t{2});
        QCOMPARE(focused_name(), QStringLiteral("Option2"));
        QVERIFY(field("Text16")->isEnabled());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(form->model(), std::int16_t{1});
        QVERIFY(!field("Text16")->isEnabled());
    }

    void text24_rule_on_leaving_the_field_data() {
        QTest::addColumn<QString>("Lf");
        QTest::addColumn<QString>("fp0");
        QTest::addColumn<QString>("fp1");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("corrected");
        QTest::newRow("v = 0.05 keeps the text") << "30"
                                                 << "0.5"
                                                 << "-0.03"
                                                 << "-0.03" << false;
        QTest::newRow("v = -0.1 gives red 0") << "30"
                                              << "0.5"
                                              << "-0.04"
                                              << "0" << true;
        QTest::newRow("v = 0 is not negative") << "30"
                                               << "0"
                                               << "0"
                                               << "0" << false;
        QTest::newRow("exact zero from the sum") << "16"
                                                 << "0.5"
                                                 << "-0.0625"
                                                 << "-0.0625" << false;
        QTest::newRow("values held in single precision") << "20"
                                                         << "0.5"
                                                         << "-0.05"
                                                         << "0" << true;
        QTest::newRow("not a number reads as 0") << "30"
                                                 << "0.5"
                                                 << "abc"
                                                 << "abc" << false;
        QTest::newRow("not a number with fp0 < 0") << "30"
                                                   << "-0.1"
                                                   << "abc"
                                                   << "0" << true;
        QTest::newRow("leading number is taken") << "30"
                                                 << "0.5"
                                                 << "-0.04xyz"
                                                 << "0" << true;
        QTest::newRow("below the single range") << "1e10"
                                                << "0.5"
                                                << "-1e38"
                                                << "0" << true;
        QTest::newRow("above the single range") << "1e10"
                                                << "0.5"
                                                << "1e38"
                                                << "1e38" << false;
    }

    void text24_rule_on_leaving_the_field() {
        QFETCH(QString, Lf);
        QFETCH(QString, fp0);
        QFETCH(QString, fp1);
        QFETCH(QString, shown);
        QFETCH(bool, corrected);
        type_into("Text6", Lf);
        type_into("Text7", fp0);
        type_into("Text24", fp1);
        QCOMPARE(text_colour("Text24"), black);
        press_tab();
        QCOMPARE(focused_name(), QStringLiteral("Text27"));
        QCOMPARE(field("Text24")->text(), shown);
        QCOMPARE(text_colour("Text24"), corrected ? red : black);
    }

    void text24_rule_stores_the_values_it_read() {
        type_into("Text24", QStringLiteral("-0.04"));
        QTest::mouseClick(field("Text3"), Qt::LeftButton);
        QCOMPARE(focused_name(), QStringLiteral("Text3"));
        QCOMPARE(form->inputs().Lf, 30.0f);
        QCOMPARE(form->inputs().fp0, 0.5f);
        QCOMPARE(form->inputs().fp1, -0.04f);
        QCOMPARE(field("Text24")->text(), QStringLiteral("0"));
    }

    void red_text24_turns_black_only_when_left_again_with_v_not_negative() {
        type_into("Text24", QStringLiteral("-0.04"));
        press_tab();
        QCOMPARE(text_colour("Text24"), red);

        type_into("Text7", QStringLiteral("1"));  // would make -0.04 acceptable
        press_tab();
        QCOMPARE(text_colour("Text24"), red);

        type_into("Text24", QStringLiteral("-0.05"));  // v = 1 - 0.75
        press_tab();
        QCOMPARE(field("Text24")->text(), QStringLiteral("-0.05"));
        QCOMPARE(text_colour("Text24"), black);

        // Editing the length afterwards does not run the rule again.
        type_into("Text6", QStringLiteral("100"));
        press_tab();
        QCOMPARE(field("Text24")->text(), QStringLiteral("-0.05"));
        QCOMPARE(text_colour("Text24"), black);
    }

    void text28_has_no_rule() {
        type_into("Text28", QStringLiteral("-1"));
        press_tab();
        QCOMPARE(field("Text28")->text(), QStringLiteral("-1"));
        QCOMPARE(text_colour("Text28"), black);
    }

    void tab_order_skips_disabled_controls_data() {
        QTest::addColumn<bool>("function_lb");
        QTest::addColumn<QStringList>("order");
        const QStringList inputs = {"Text2",  "Text3",  "Text25", "Text4",  "Text5", "Text6",
                                    "Text7",  "Text24", "Text27", "Text28", "Text8", "Text9",
                                    "Text10", "Text11", "Text12", "Text13"};
        const QStringList tail = {"Text20", "Text18", "Text19", "Text21", "Text26", "Command2"};
        QTest::newRow("at load") << false
                                 << QStringList{"Command2", "Command4"} + inputs +
                                        QStringList{"Option1", "Text14", "Text15"} + tail;
        QTest::newRow("start enabled, function lb model")
            << true
            << QStringList{"Command2", "Command1", "Command4"} + inputs +
                   QStringList{"Option2", "Text14", "Text15", "Text16", "Text17"} + tail;
    }

    void tab_order_skips_disabled_controls() {
        QFETCH(bool, function_lb);
        QFETCH(QStringList, order);
        if (function_lb) {
            click("Command2");
            click("Option2");
        }
        form->command2()->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        QStringList visited = {focused_name()};
        for (qsizetype i = 1; i < order.size(); ++i) {
            press_tab();
            visited << focused_name();
        }
        QCOMPARE(visited, order);
    }

    void chooser_result_lands_in_text2_and_enables_start() {
        QString text2_while_open = QStringLiteral("unset");
        form->file_chooser = [&](QWidget* parent) {
            text2_while_open = field("Text2")->text();
            return parent == form.get() ? std::optional(QStringLiteral("/data/run1.p-d"))
                                        : std::nullopt;
        };
        type_into("Text2", QStringLiteral("typed"));
        form->picture1()->set_scale(0, 1, 1, 0);
        form->picture1()->line(0, 0, 1, 1, red);
        form->picture2()->set_scale(0, 1, 1, 0);
        form->picture2()->line(0, 0, 1, 1, red);

        click("Command2");
        QCOMPARE(text2_while_open, QString());
        QCOMPARE(form->data_file_name(), QStringLiteral("/data/run1.p-d"));
        QCOMPARE(field("Text2")->text(), QStringLiteral("/data/run1.p-d"));
        QVERIFY(form->command1()->isEnabled());
        QVERIFY(blank(form->picture1()));
        QVERIFY(!blank(form->picture2()));
    }

    void cancelled_chooser_restores_the_previous_path() {
        form->file_chooser = [](QWidget*) { return std::optional(QStringLiteral("a.p-d")); };
        click("Command2");
        type_into("Text2", QStringLiteral("typed by hand"));
        form->file_chooser = [](QWidget*) { return std::optional<QString>(); };
        click("Command2");
        QCOMPARE(field("Text2")->text(), QStringLiteral("a.p-d"));
        QCOMPARE(form->data_file_name(), QStringLiteral("a.p-d"));
        QVERIFY(form->command1()->isEnabled());
    }

    void cancel_on_first_use_still_enables_start() {
        type_into("Text2", QStringLiteral("typed"));
        click("Command2");
        QCOMPARE(field("Text2")->text(), QString());
        QVERIFY(form->command1()->isEnabled());
    }

    void exit_closes_the_files_and_ends() {
        int closed = 0;
        form->close_all_files = [&] { ++closed; };
        click("Command4");
        QCOMPARE(closed, 1);
        QVERIFY(form->exiting());
        QVERIFY(!form->isVisible());
    }

    void closing_from_the_frame_ends_like_exit() {
        int closed = 0;
        form->close_all_files = [&] { ++closed; };
        QVERIFY(form->close());
        QCOMPARE(closed, 1);
        QVERIFY(form->exiting());
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
