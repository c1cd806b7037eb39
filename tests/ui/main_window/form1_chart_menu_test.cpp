// The charts' menu as a user reaches it: a right-click on a chart, then a
// click on an item.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <memory>

#include "ui/main_window/form1.h"
#include "ui/widgets/chart_box.h"

using quarnel::Form1;

namespace {

constexpr quarnel::ClockReading fixed_clock{2026, 12, 6, 14, 5, 9};

}  // namespace

class Form1ChartMenuTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Form1> form;
    QStringList messages;

    QString path(const char* name) const { return dir->filePath(QString::fromUtf8(name)); }

    void run_defaults() {
        form->file_chooser = [this](QWidget*) { return std::optional<QString>(path("run.p-d")); };
        QTest::mouseClick(form->command2(), Qt::LeftButton);
        QTest::mouseClick(form->command1(), Qt::LeftButton);  // returns after the run
    }
    // Right-clicks the chart and returns the menu, open (checked by the
    // caller's use of it: a closed menu's items cannot be clicked).
    QMenu* right_click(QWidget* chart) {
        QTest::mouseClick(chart, Qt::RightButton, {}, chart->rect().center());
        (void)QTest::qWaitFor([this] { return form->chart_menu()->isVisible(); }, 2000);
        return form->chart_menu();
    }
    QAction* item(QMenu* menu, const QString& text) {
        for (QAction* a : menu->actions()) {
            if (a->text() == text) return a;
        }
        return nullptr;
    }
    void choose(QMenu* menu, const QString& text) {
        QVERIFY(menu->isVisible());
        QAction* action = item(menu, text);
        QVERIFY2(action, qPrintable(text));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        QTRY_VERIFY(!menu->isVisible());
    }

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        messages.clear();
        form = std::make_unique<Form1>();
        form->message_box = [this](QWidget*, const QString&, const QString& text) {
            messages << text;
        };
        form->clock = [] { return fixed_clock; };
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QGuiApplication::clipboard()->clear();
    }

    void cleanup() {
        form.reset();
        dir.reset();
    }

    void menu_offers_nothing_before_a_run() {
        QMenu* menu = right_click(form->picture1());
        QVERIFY(menu->isVisible());
        QCOMPARE(menu->actions().size(), 3);
        for (const char* text : {"Save Chart As...", "Copy Data", "Copy Image"}) {
            QAction* action = item(menu, QString::fromUtf8(text));
            QVERIFY2(action, text);
            QVERIFY(!action->isEnabled());
        }
        menu->hide();
    }

    void copy_data_puts_the_steps_as_rows_for_a_spreadsheet() {
        run_defaults();
        choose(right_click(form->picture1()), "Copy Data");
        const QStringList lines =
            QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.first(),
                 QStringLiteral("step\tWcr_mm\tP_N\tsigma_MPa\teffective_fiber_ratio"));
        QCOMPARE(lines.size(), 62);  // the header and the 61 steps of division 30
        for (int n = 0; n < 61; ++n) {
            const QStringList cells = lines[n + 1].split('\t');
            QCOMPARE(cells.size(), 5);
            QCOMPARE(cells[0], QString::number(n));
            for (const QString& cell : cells) {
                bool number = false;
                cell.toDouble(&number);
                QVERIFY2(number, qPrintable(lines[n + 1]));
            }
        }
        QCOMPARE(lines.last().split('\t')[1], QStringLiteral("15"));
    }

    void save_chart_as_writes_the_law_figure_to_the_chosen_file() {
        run_defaults();
        int asked = 0;
        form->save_chart_name = [&](QWidget*) {
            ++asked;
            return std::optional<QString>(path("law.svg"));
        };
        choose(right_click(form->picture2()), "Save Chart As...");
        QCOMPARE(asked, 1);
        QVERIFY(messages.isEmpty());
        QFile file(path("law.svg"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader svg(&file);
        // Qt writes a line of text in runs of one script each ("σ" apart), one
        // after the other: the texts joined hold every line whole.
        QString texts;
        int step_lines = 0;
        while (!svg.atEnd()) {
            svg.readNext();
            if (!svg.isStartElement()) continue;
            if (svg.name() == QStringLiteral("text")) texts += svg.readElementText();
            if (svg.name() == QStringLiteral("polyline")) {
                const QString points = svg.attributes().value("points").toString();
                if (points.split(' ', Qt::SkipEmptyParts).size() == 61) ++step_lines;
            }
        }
        QVERIFY(!svg.hasError());
        QVERIFY(texts.contains(QStringLiteral("Crack opening w (mm)")));
        QVERIFY(texts.contains(QStringLiteral("Bridging stress σ (MPa)")));
        QVERIFY(texts.contains(QStringLiteral("Effective fiber ratio")));
        QCOMPARE(step_lines, 2);  // the stress and the fiber ratio, a vertex per step

        // A cancelled dialog writes nothing.
        form->save_chart_name = [](QWidget*) { return std::optional<QString>(); };
        QFile::remove(path("law.svg"));
        choose(right_click(form->picture1()), "Save Chart As...");
        QVERIFY(!QFile::exists(path("law.svg")));
    }

    void copy_image_puts_the_figure_at_print_size() {
        run_defaults();
        choose(right_click(form->picture1()), "Copy Image");
        const QImage image = QGuiApplication::clipboard()->image();
        QVERIFY(!image.isNull());
        // 90 mm by 100 mm at 300 dots per inch.
        QCOMPARE(image.width(), 1063);
        QCOMPARE(image.height(), 1181);
    }
};

QTEST_MAIN(Form1ChartMenuTest)
#include "form1_chart_menu_test.moc"
