#include <QApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string_view>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>
#endif

#include "quarnel_version.h"
#include "ui/main_window/form1.h"

namespace {

// The signal that asked the program to end, 0 while none has.
volatile std::sig_atomic_t ending_signal = 0;

#ifndef _WIN32
// The handler only writes a byte to this pipe; the window reads it in its
// event loop and ends as Exit does.
int signal_pipe[2] = {-1, -1};

extern "C" void forward_signal(int signal_number) {
    ending_signal = signal_number;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signal_pipe[1], &byte, 1);
}

bool forward_ending_signals() {
    if (pipe(signal_pipe) != 0) return false;
    for (const int fd : signal_pipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = forward_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
    return true;
}
#endif

constexpr const char* help_text =
    "Usage: quarnel [--check-display | --help | --version]\n"
    "\n"
    "Opens Quarnel's window, in which the inputs of a fiber bridging law are typed\n"
    "and its result file is computed. quarnel-batch computes the same law from the\n"
    "command line, without a window.\n"
    "\n"
    "Options:\n"
    "  --check-display  Open the display and end: status 0 when the window can start\n"
    "  --help           Print this help and end\n"
    "  --version        Print the version and how to cite it, and end\n";

// Text for standard output and 0, or 3 when standard output cannot take it.
int print_and_end(const std::string& text) {
    const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    return written ? 0 : 3;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered without a display: scripts, packagers and help2man ask them.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        return print_and_end(quarnel::version_text("quarnel") + "\n");
    }
    if (argc == 2 && std::string_view(argv[1]) == "--help") return print_and_end(help_text);
    // `quarnel --check-display` opens the display and ends: scripts ask it
    // whether the window can start before they start it.
    if (argc == 2 && std::string_view(argv[1]) == "--check-display") {
        QApplication probe(argc, argv);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(quarnel::version);
    // The desktop entry's name, so that the desktop shows its name and icon.
    QGuiApplication::setDesktopFileName("quarnel");
    quarnel::Form1 form;
#ifndef _WIN32
    std::unique_ptr<QSocketNotifier> notifier;
    if (forward_ending_signals()) {
        notifier = std::make_unique<QSocketNotifier>(signal_pipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &form, [&form] {
            char bytes[16];
            while (read(signal_pipe[0], bytes, sizeof bytes) > 0) {
            }
            form.exit_program();
        });
    }
#endif
    form.show();
    const int status = app.exec();
    return ending_signal != 0 ? 128 + ending_signal : status;
}
