#include "result_file.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/types.h>
#include <unistd.h>
#endif

#include "file_paths.h"
#include "number_text.h"

namespace quarnel {

namespace {

// Code page 932 bytes of the two Greek letters the file uses.
constexpr const char* delta_cp932 = "\x83\xC2";
constexpr const char* sigma_cp932 = "\x83\xD0";

constexpr std::size_t print_zone = 14;

std::string two_digits(int value) {
    std::string text = plain_number_text(value);
    return text.size() < 2 ? "0" + text : text;
}

std::string four_digits(int value) {
    std::string text = plain_number_text(value);
    return text.size() < 4 ? std::string(4 - text.size(), '0') + text : text;
}

std::string stored(float x) {
    return plain_number_text(x);
}

int file_error_code(int error_number) {
    switch (error_number) {
        case ENAMETOOLONG:
        case EINVAL:
        case EILSEQ:
            return file_error::invalid_name;
        case ENOENT:
        case ENOTDIR:
            return file_error::path_not_found;
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
#ifdef ETXTBSY
        case ETXTBSY:
#endif
            return file_error::permission_denied;
        case EISDIR:
            return file_error::path_access;
        case ENOSPC:
        case EFBIG:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return file_error::disk_full;
        default:
            return file_error::device_io;
    }
}

FileFailure failure_of(int error_number) {
    // Some C libraries fail a stream without setting errno.
    if (error_number == 0) error_number = EIO;
    return {file_error_code(error_number), std::strerror(error_number)};
}

}  // namespace

ClockReading local_clock_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0) return {};
#else
    if (localtime_r(&now, &local) == nullptr) return {};
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string file_error_message(int code) {
    return "This output data file has been opened by another application. (" +
           plain_number_text(code) + ")";
}

std::string result_header_line(int line, const CalculationInputs& in, const ClockReading& clock) {
    switch (line) {
        case 1:
            return "Bridging Law (bi-linear) calculated at " + two_digits(clock.hour) + ":" +
                   two_digits(clock.minute) + ":" + two_digits(clock.second) + " on " +
                   two_digits(clock.month) + "-" + two_digits(clock.day) + "-" +
                   four_digits(clock.year) +
                   (in.model == 1 ? ", Constant model"
                                  : std::string(", Function lb model (P and ") + delta_cp932 + ")");
        case 2:
            return "  Sectional area of matrix (mm2)=" + stored(in.Am) +
                   ",  Fiber volume fraction=" + stored(in.Vf) +
                   ",  Fiber effective strength (MPa)=" + stored(in.sigma_fu);
        case 3: {
            // A negative fp1 is left out of the load expression altogether.
            const std::string load = in.fp1 < 0 ? stored(in.fp0) + ", "
                                                : stored(in.fp0) + "+" + stored(in.fp1) + "*lb, ";
            return "    Af(mm2)=" + stored(in.Af) + ", Lf(mm)=" + stored(in.Lf) +
                   ",  Snubbing coef.=" + load + stored(in.fd0) + "+" + stored(in.fd1) +
                   "*lb, Strength degr.=" + stored(in.f_reduction);
        }
        case 4:
            return "  Orientation intensity, X-Y=" + stored(in.kxy) + ", Z-X=" + stored(in.kzx) +
                   ",  Principal orientation angle, X-Y=" + stored(in.theta_r_xy) +
                   ", Z-X=" + stored(in.theta_r_zx);
        case 5:
            return "  Crack angle, X-Y=" + stored(in.crack_xy) + ", Z-X=" + stored(in.crack_zx) +
                   ", Total fiber = " + stored(in.total_fiber) +
                   ", Coefficient of fiber Number = " + stored(in.fiber_number_coefficient);
        case 6:
            return std::string(" Step          Wcr(mm)      P(N)          ") + sigma_cp932 +
                   "(MPa)       Effective fiber ratio";
        default:
            throw std::out_of_range("result header has lines 1 to 6");
    }
}

std::string result_row(int n, double Wcr, double P, double sigma, double effective_fiber_ratio) {
    std::string row;
    // Pads to the next multiple of 14 strictly after the text, so a field that
    // fills or overruns its zone still gets at least one blank and the next
    // field starts at a zone boundary.
    const auto next_zone = [&row] { row.append(print_zone - row.size() % print_zone, ' '); };
    row += sign_padded_text(n);
    next_zone();
    row += fixed_point_text(Wcr, 5);
    next_zone();
    row += fixed_point_text(P, 2);
    next_zone();
    row += fixed_point_text(sigma, 5);
    next_zone();
    row += fixed_point_text(effective_fiber_ratio, 5);
    return row;
}

LineFile::~LineFile() {
    if (file_ != nullptr) std::fclose(file_);
}

std::optional<FileFailure> LineFile::open(const std::string& path) {
    close();
    errno = 0;
    file_ = open_file(path, "wb");
    if (file_ == nullptr) return failure_of(errno);
    // Unbuffered, a line goes out in one write and nothing is left in a
    // buffer that could reach the file after a failure was reported.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    length_ = 0;
    lines_ = 0;
    failed_ = false;
    return std::nullopt;
}

std::optional<FileFailure> LineFile::write_line(std::string_view line) {
    if (file_ == nullptr || failed_) {
        return FileFailure{file_error::device_io, std::strerror(EBADF)};
    }
    errno = 0;
    if (std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fflush(file_) == 0) {
        length_ += static_cast<long long>(line.size());
        ++lines_;
        return std::nullopt;
    }
    const FileFailure failure = failure_of(errno);
    failed_ = true;
    // Cut off what part of the line got through. Devices and pipes cannot be
    // cut; they hold whatever the system took.
#ifdef _WIN32
    _chsize_s(_fileno(file_), length_);
#else
    if (ftruncate(fileno(file_), static_cast<off_t>(length_)) == 0) {
        std::fseek(file_, static_cast<long>(length_), SEEK_SET);
    }
#endif
    return failure;
}

std::optional<FileFailure> LineFile::close() {
    if (file_ == nullptr) return std::nullopt;
    errno = 0;
    const int result = std::fclose(file_);
    file_ = nullptr;
    if (result != 0) return failure_of(errno);
    return std::nullopt;
}

std::optional<FileFailure> ResultFile::open(const std::string& path) {
    file_.close();
    // An embedded NUL would make the C library open a different, shorter name.
    if (path.empty() || path.find('\0') != std::string::npos) {
        return FileFailure{file_error::invalid_name, std::strerror(EINVAL)};
    }
    return file_.open(path);
}

std::optional<FileFailure> ResultFile::write_line(const std::string& line) {
    return file_.write_line(line + "\r\n");
}

std::optional<FileFailure> ResultFile::write_header(const CalculationInputs& inputs,
                                                    const ClockReading& clock) {
    for (int line = 1; line <= 6; ++line) {
        if (auto failure = write_line(result_header_line(line, inputs, clock))) return failure;
    }
    return std::nullopt;
}

std::optional<FileFailure> ResultFile::write_step_row(int n, double Wcr, double P, double sigma,
                                                      double effective_fiber_ratio) {
    return write_line(result_row(n, Wcr, P, sigma, effective_fiber_ratio));
}

std::optional<FileFailure> ResultFile::close() {
    return file_.close();
}

}  // namespace quarnel
