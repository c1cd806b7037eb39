#pragma once

#include <chrono>
#include <string>

namespace quarnel {

// SIGINT, SIGTERM and SIGHUP are noted rather than ending the process, and
// SIGPIPE is ignored, so that a closed standard output is a write failure
// the command reports. Call once before the work starts.
void guard_process_signals();
// The number of the first ending signal noted, 0 while none has come.
int ending_signal_number();
std::string signal_name(int signal_number);

// Writes one line (holding its line end) to standard output whole and
// flushes it; false when that failed, with `error` saying why.
bool write_standard_output(const std::string& line, std::string& error);
// Flushes standard output; false, with a message after `program`, when it
// failed.
bool standard_output_flushed(const std::string& program);

// One progress line on standard error, redrawn at most ten times a second,
// shown only on a terminal, cleared when finished.
class ProgressLine {
  public:
    explicit ProgressLine(bool wanted);
    ~ProgressLine() { finish(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    // `last` draws at once, whatever the time since the last drawing.
    void show(const std::string& text, bool last = false);
    void finish();

  private:
    bool shown_;
    std::size_t width_ = 0;
    std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace quarnel
