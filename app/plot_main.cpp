#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/plot_command.h"

namespace {

// Qt's notes on its environment (XDG_RUNTIME_DIR unset, say) are no business
// of the user's; its critical messages still go to standard error.
void quiet_messages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "quarnel-batch plot: %s\n", message.toLocal8Bit().constData());
    }
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quiet_messages);
    // Figures need fonts but no display: the offscreen platform serves
    // anywhere, over ssh and in scripts alike.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Called as quarnel-batch-plot ARGS, the arguments that follow "plot".
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    int qt_argc = 1;
    QGuiApplication application(qt_argc, argv);
    return quarnel::plot_command_main(args);
}
