#include "step_writers.h"

#include <cmath>

#include "app/process_guard.h"
#include "engine/text_to_number.h"

namespace quarnel {

namespace {

std::string exact(double x) {
    return shortest_number_text(x);
}

// JSON has no infinity or NaN.
std::string json_number(double x) {
    return std::isfinite(x) ? exact(x) : "null";
}

std::string failed(const std::string& doing, const std::string& path, const FileFailure& f) {
    return doing + " " + path + " failed: " + f.description;
}

}  // namespace

std::string rows_text(long rows) {
    return std::to_string(rows) + (rows == 1 ? " row" : " rows");
}

std::string sentence(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        text += (p == 0 ? "" : p + 1 == parts.size() ? " and " : ", ") + parts[p];
    }
    return text + ".";
}

std::optional<std::string> StepWriter::open() {
    if (csv_path_.empty()) return std::nullopt;
    if (const auto f = csv_.open(csv_path_)) {
        return "cannot create " + csv_path_ + ": " + f->description;
    }
    csv_created_ = true;
    std::string heading = "step,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio";
    for (std::size_t i = 1; i <= types_; ++i) {
        const std::string t = std::to_string(i);
        heading += ",P_N_" + t + ",effective_fiber_ratio_" + t;
    }
    if (const auto f = csv_.write_line(heading + "\n")) return failed("writing", csv_path_, *f);
    return std::nullopt;
}

std::optional<std::string> StepWriter::write(const StepValues& s,
                                             const std::vector<const StepValues*>& type_steps) {
    if (csv_.is_open()) {
        std::string row = std::to_string(s.n) + "," + exact(s.Wcr) + "," + exact(s.P) + "," +
                          exact(s.sigma) + "," + exact(s.effective_fiber_ratio);
        for (const StepValues* t : type_steps) {
            row += "," + exact(t->P) + "," + exact(t->effective_fiber_ratio);
        }
        if (const auto f = csv_.write_line(row + "\n")) return failed("writing", csv_path_, *f);
    }
    if (json_) {
        std::string line = "{\"n\":" + std::to_string(s.n) + ",\"Wcr\":" + json_number(s.Wcr) +
                           ",\"P\":" + json_number(s.P) + ",\"sigma\":" + json_number(s.sigma) +
                           ",\"effective_fiber_ratio\":" + json_number(s.effective_fiber_ratio) +
                           ",\"P_top\":" + json_number(s.P_top) +
                           ",\"sigma_top\":" + json_number(s.sigma_top);
        for (std::size_t i = 0; i < type_steps.size(); ++i) {
            const std::string t = std::to_string(i + 1);
            line += ",\"P_" + t + "\":" + json_number(type_steps[i]->P) +
                    ",\"effective_fiber_ratio_" + t +
                    "\":" + json_number(type_steps[i]->effective_fiber_ratio);
        }
        std::string error;
        if (!write_standard_output(line + "}\n", error)) return error;
        ++json_lines_;
    }
    return std::nullopt;
}

std::optional<std::string> StepWriter::close() {
    if (const auto f = csv_.close()) return failed("closing", csv_path_, *f);
    return std::nullopt;
}

std::vector<std::string> StepWriter::held() const {
    std::vector<std::string> parts;
    if (!csv_path_.empty()) {
        parts.push_back(!csv_created_ ? csv_path_ + " was not created"
                        : csv_.lines() == 0
                            ? csv_path_ + " is empty"
                            : csv_path_ + " holds the heading and " + rows_text(csv_.lines() - 1));
    }
    if (json_) {
        parts.push_back("standard output holds " + std::to_string(json_lines_) +
                        (json_lines_ == 1 ? " JSON line" : " JSON lines"));
    }
    return parts;
}

std::optional<std::string> ResultFileOutput::open(const CalculationInputs& inputs,
                                                  const ClockReading& clock) {
    if (const auto f = file_.open(path_)) return "cannot create " + path_ + ": " + f->description;
    created_ = true;
    if (const auto f = file_.write_header(inputs, clock)) return failed("writing", path_, *f);
    return std::nullopt;
}

std::optional<std::string> ResultFileOutput::write(const StepValues& s) {
    if (const auto f = file_.write_step_row(s.n, s.Wcr, s.P, s.sigma, s.effective_fiber_ratio)) {
        return failed("writing", path_, *f);
    }
    ++rows_;
    return std::nullopt;
}

std::optional<std::string> ResultFileOutput::close() {
    if (const auto f = file_.close()) return failed("closing", path_, *f);
    return std::nullopt;
}

std::string ResultFileOutput::held() const {
    constexpr long header_lines = 6;
    if (!created_) return path_ + " was not created";
    const long lines = file_.lines();
    if (lines == 0) return path_ + " is empty";
    if (lines < header_lines) {
        return path_ + " holds " + std::to_string(lines) + " of the header's 6 lines";
    }
    return path_ + " holds the header and " + rows_text(rows_);
}

std::optional<std::string> write_result_file(const std::string& path,
                                             const CalculationInputs& inputs,
                                             const std::vector<StepValues>& steps,
                                             const ClockReading& clock) {
    ResultFileOutput file(path);
    std::optional<std::string> failure = file.open(inputs, clock);
    for (std::size_t s = 0; s < steps.size() && !failure; ++s) failure = file.write(steps[s]);
    const auto closing = file.close();
    return failure ? failure : closing;
}

std::optional<std::string> write_text_file(const std::string& path, const std::string& text) {
    LineFile file;
    if (const auto f = file.open(path)) return "cannot create " + path + ": " + f->description;
    std::optional<FileFailure> f = file.write_line(text);
    const auto closing = file.close();
    if (!f) f = closing;
    if (f) return failed("writing", path, *f);
    return std::nullopt;
}

}  // namespace quarnel
