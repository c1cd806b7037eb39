#include <QApplication>

#include <csignal>
#include <memory>
#include <string_view>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>
#endif

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

}  // namespace

int main(int argc, char* argv[]) {
    // `quarnel --check-display` opens the display and ends: scripts ask it
    // whether the window can start before they start it.
    if (argc == 2 && std::string_view(argv[1]) == "--check-display") {
        QApplication probe(argc, argv);
        return 0;
    }
    QApplication app(argc, argv);
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
