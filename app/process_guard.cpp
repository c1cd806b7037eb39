#include "process_guard.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <unistd.h>

namespace quarnel {

namespace {

// The signal that asked the command to end, 0 while none has.
volatile std::sig_atomic_t ending_signal = 0;

extern "C" void note_ending_signal(int signal_number) {
    ending_signal = signal_number;
}

}  // namespace

void guard_process_signals() {
    struct sigaction action {};
    action.sa_handler = note_ending_signal;
    sigemptyset(&action.sa_mask);
    // Writes interrupted by the signal go on; the work ends at its next check.
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int ending_signal_number() {
    return ending_signal;
}

std::string signal_name(int s) {
    switch (s) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
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

ProgressLine::ProgressLine(bool wanted) : shown_(wanted && isatty(fileno(stderr)) != 0) {}

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
