// Shows the main window, names a result file in a scratch folder, presses
// "Data File Name" and "Start" and, once the run has shown "Finish", saves a
// picture of the window. Prints the time from the click on Start to "Finish".
//
//   quarnel_run_preview PICTURE.png
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <optional>

#include "ui/main_window/form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        QTextStream(stderr) << "usage: quarnel_run_preview PICTURE.png\n";
        return 2;
    }
    const QString picture = QFileInfo(arguments.at(1)).absoluteFilePath();
    // The result file goes into a scratch folder, made the current one so
    // that the data file field shows a short name.
    QTemporaryDir folder;
    if (!folder.isValid() || !QDir::setCurrent(folder.path())) {
        QTextStream(stderr) << "cannot use a scratch folder\n";
        return 1;
    }

    quarnel::Form1 form;
    const QString result = QStringLiteral("bridging-law.p-d");
    form.file_chooser = [result](QWidget*) { return std::optional(result); };
    // A message would wait for a click that never comes: print it instead.
    form.message_box = [](QWidget*, const QString& title, const QString& text) {
        QTextStream(stderr) << title << ": " << text << '\n';
    };
    form.show();

    QTimer::singleShot(0, &form, [&] {
        form.command2()->click();
        QElapsedTimer timer;
        timer.start();
        form.command1()->click();  // returns after the run
        const qint64 elapsed = timer.elapsed();
        if (form.exiting()) return;
        if (form.text_field("Text1")->text() != QStringLiteral("Finish")) {
            QTextStream(stderr) << "the run did not finish\n";
            QCoreApplication::exit(1);
            return;
        }
        QTextStream(stdout) << "Start to Finish: " << elapsed << " ms\n";
        if (!form.grab().save(picture)) {
            QTextStream(stderr) << "cannot write " << picture << '\n';
            QCoreApplication::exit(1);
            return;
        }
        QCoreApplication::exit(0);
    });
    return QApplication::exec();
}
