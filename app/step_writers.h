#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/bridging_law.h"
#include "engine/calculation_inputs.h"
#include "run/result_file.h"

namespace quarnel {

// "1 row", "3 rows".
std::string rows_text(long rows);
// Parts joined as a sentence: "a, b and c."
std::string sentence(const std::vector<std::string>& parts);

// The steps of one law, or of a mix with `types` fiber types, to a CSV file
// and to JSON lines on standard output. Each row and line goes out whole, so
// that a failure or a signal leaves whole lines behind. A mix's rows carry
// each type's P and effective fiber ratio after the mix's own values.
class StepWriter {
  public:
    StepWriter(std::string csv, bool json, std::size_t types = 0)
        : csv_path_(std::move(csv)), json_(json), types_(types) {}

    // Creates the CSV with its heading; the message of a failure.
    std::optional<std::string> open();
    // One step; `type_steps` holds each type's step of a mix.
    std::optional<std::string> write(const StepValues& step,
                                     const std::vector<const StepValues*>& type_steps = {});
    std::optional<std::string> close();
    // What each output holds, for a command that did not finish.
    std::vector<std::string> held() const;

  private:
    std::string csv_path_;
    bool json_;
    std::size_t types_;
    LineFile csv_;
    bool csv_created_ = false;
    long json_lines_ = 0;
};

// A classic result file of computed steps (a sweep's or a mix's files).
class ResultFileOutput {
  public:
    explicit ResultFileOutput(std::string path) : path_(std::move(path)) {}
    ResultFileOutput(const ResultFileOutput&) = delete;
    ResultFileOutput& operator=(const ResultFileOutput&) = delete;

    // Creates the file with its header; the message of a failure.
    std::optional<std::string> open(const CalculationInputs& inputs, const ClockReading& clock);
    std::optional<std::string> write(const StepValues& step);
    std::optional<std::string> close();
    const std::string& path() const { return path_; }
    // "run.p-d holds the header and 3 rows", "... was not created", ...
    std::string held() const;

  private:
    std::string path_;
    ResultFile file_;
    bool created_ = false;
    long rows_ = 0;
};

// Writes a whole result file: header and every step. The message of a
// failure.
std::optional<std::string> write_result_file(const std::string& path,
                                             const CalculationInputs& inputs,
                                             const std::vector<StepValues>& steps,
                                             const ClockReading& clock);
// Writes a text file whole; the message of a failure.
std::optional<std::string> write_text_file(const std::string& path, const std::string& text);

}  // namespace quarnel
