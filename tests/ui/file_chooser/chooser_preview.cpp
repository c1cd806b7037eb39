// Opens the data file chooser in the folder given as the first argument (or
// the current one) and prints the accepted path, or nothing after Cancel.
#include <QApplication>
#include <QDir>
#include <QTextStream>

#include "ui/file_chooser/file_chooser_dialog.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1 && !QDir::setCurrent(arguments.at(1))) {
        QTextStream(stderr) << "cannot open folder " << arguments.at(1) << '\n';
        return 2;
    }
    const std::optional<QString> path = quarnel::show_file_chooser(nullptr);
    if (path) QTextStream(stdout) << *path << '\n';
    return 0;
}
