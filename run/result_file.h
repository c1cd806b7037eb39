#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "engine/calculation_inputs.h"

namespace quarnel {

// Local date and time as the header's first line shows it.
struct ClockReading {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
ClockReading local_clock_now();

// A failure of the result file: a numeric code per cause (file_error below)
// and the platform's description of it.
struct FileFailure {
    int code = 0;
    std::string description;
};

// The numeric codes of file failures.
namespace file_error {
inline constexpr int invalid_name = 52;
inline constexpr int device_io = 57;
inline constexpr int disk_full = 61;
inline constexpr int permission_denied = 70;
inline constexpr int path_access = 75;  // the name is a folder
inline constexpr int path_not_found = 76;
}  // namespace file_error

// "This output data file has been opened by another application. (<code>)"
std::string file_error_message(int code);

// The five header lines and the table heading (line 1..6; any other number
// throws std::out_of_range), without line ends; lines are bytes of code page
// 932 (δ is 83 C2, σ is 83 D0).
std::string result_header_line(int line, const CalculationInputs& inputs,
                               const ClockReading& clock);
// One table row in 14-character print zones, without the line end. A field
// that fills or overruns its zone is followed by at least one blank, and the
// next field starts at the following zone.
std::string result_row(int n, double Wcr, double P, double sigma, double effective_fiber_ratio);

// A file written as whole lines. Each line reaches the file in one unbuffered
// write, so that a failure is reported at the line that caused it, and a line
// that fails is cut off again: the file never ends inside a line.
class LineFile {
  public:
    LineFile() = default;
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;
    ~LineFile();

    // Creates the file or empties it; a file still open is closed first.
    std::optional<FileFailure> open(const std::string& path);
    // Writes `line`, which holds its own line end. After a failure the file
    // holds the lines before it and takes no more.
    std::optional<FileFailure> write_line(std::string_view line);
    std::optional<FileFailure> close();
    bool is_open() const { return file_ != nullptr; }
    // Lines written whole since the file was opened.
    long lines() const { return lines_; }

  private:
    std::FILE* file_ = nullptr;
    long long length_ = 0;
    long lines_ = 0;
    bool failed_ = false;
};

// The result data file of one run: created or emptied at open, lines ending in
// CR LF, each written whole or not at all (see LineFile).
class ResultFile {
  public:
    // Creates the file or empties it; a file still open is closed first. An
    // empty name, or one holding a NUL character, is refused as invalid.
    std::optional<FileFailure> open(const std::string& path);
    std::optional<FileFailure> write_header(const CalculationInputs& inputs,
                                            const ClockReading& clock);
    std::optional<FileFailure> write_step_row(int n, double Wcr, double P, double sigma,
                                              double effective_fiber_ratio);
    std::optional<FileFailure> close();
    bool is_open() const { return file_.is_open(); }
    // Lines written whole since the file was opened, the header's included.
    long lines() const { return file_.lines(); }

  private:
    std::optional<FileFailure> write_line(const std::string& line);
    LineFile file_;
};

}  // namespace quarnel
