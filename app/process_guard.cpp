#include "process_guard.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quarnel {

namespace {

// The signal that asked the command to end, 0 while none has. Set from a
// signal handler, or on Windows from the thread the system runs console
// handlers on.
std::atomic<int> ending_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

#ifdef _WIN32

// Ctrl+C is SIGINT and Ctrl+Break SIGBREAK, as the C library names them; a
// console closing, a logoff or a shutdown asks the command to end as SIGTERM
// does. The work ends at its next check, with whole rows and lines.
BOOL WINAPI note_console_event(DWORD event) {
    const int s = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM;
    ending_signal.store(s);
    return TRUE;
}

#else

extern "C" void note_ending_signal(int signal_number) {
    ending_signal.store(signal_number);
}

#endif

}  // namespace

void guard_process_signals() {
#ifdef _WIN32
    // Windows has no SIGPIPE: a closed pipe is a failed write already.
    SetConsoleCtrlHandler(note_console_event, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = note_ending_signal;
    sigemptyset(&action.sa_mask);
    // Writes interrupted by the signal go on; the work ends at its next check.
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

int ending_signal_number() {
    return ending_signal.load();
}

std::string signal_name(int s) {
    switch (s) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
#ifdef SIGHUP
        case SIGHUP:
            return "SIGHUP";
#endif
#ifdef SIGBREAK
        case SIGBREAK:
            return "SIGBREAK";
#endif
        default:
            return "signal " + std::to_string(s);
    }
}

bool write_standard_output(const std::string& line, std::string& error) {
    errno = 0;
    if (std::fputs(line.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return true;
    error =
        std::string("writing standard output failed: ") + std::strerror(errno != 0 ? errno : EIO);
    return false;
}

bool standard_output_flushed(const std::string& program) {
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
    std::cerr << program
              << "writing standard output failed: " << std::strerror(errno != 0 ? errno : EIO)
              << "\n";
    return false;
}

#ifdef _WIN32
ProgressLine::ProgressLine(bool wanted) : shown_(wanted && _isatty(_fileno(stderr)) != 0) {}
#else
ProgressLine::ProgressLine(bool wanted) : shown_(wanted && isatty(fileno(stderr)) != 0) {}
#endif

void ProgressLine::show(const std::string& text, bool last) {
    if (!shown_ || text.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!last && width_ > 0 && now - drawn_ < std::chrono::milliseconds(100)) return;
    drawn_ = now;
    std::string line = text;
    if (line.size() < width_) line.resize(width_, ' ');
    width_ = line.size();
    std::fprintf(stderr, "\r%s", line.c_str());
}

void ProgressLine::finish() {
    if (width_ > 0) std::fprintf(stderr, "\r%s\r", std::string(width_, ' ').c_str());
    width_ = 0;
}

}  // namespace quarnel
