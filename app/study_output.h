#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run/result_file.h"
#include "study/criteria.h"

namespace quarnel {

// The criteria columns of a summary, in order: sigma_max, P_max, Wcr_peak,
// ratio_initial, ratio_at_peak, J_b_prime, G_b, then psh_strength with
// --sigma-fc, psh_energy with --J-tip and strain_hardening with both; then
// how they were formed, criteria_openings and criteria_change (empty for
// criteria from steps), and strain_hardening_margin with --psh-margins.
std::vector<std::string> criteria_columns(const MatrixProperties& matrix,
                                          const CriteriaSettings& settings);
// The criteria's values under those columns: numbers as shortest round-trip
// texts, the verdicts as "yes" or "no".
std::vector<std::string> criteria_cells(const LawCriteria& criteria, const MatrixProperties& matrix,
                                        const CriteriaSettings& settings);
// The column every summary ends with: the larger |sum - 1| of the law's two
// planes' orientation weights (the largest over a mix's types), which tells
// how far narrow orientation densities are from being resolved by the cells.
inline const std::string orientation_weight_column = "orientation_weight_error";
// A number's cell: its shortest round-trip text, empty where it is not a
// finite number, which spreadsheets and pandas read as missing.
std::string number_cell(double x);
// Whether a criteria column holds a verdict ("yes"/"no") rather than a number.
bool is_verdict_column(const std::string& column);

// A cell of a CSV row: quoted, with its quotes doubled, when it holds a comma,
// a quote or a line end.
std::string csv_cell(const std::string& text);
// A JSON string literal of UTF-8 text.
std::string json_string(const std::string& text);

// A summary cell as a JSON value: a number's text as a number (null for an
// empty cell, infinity or NaN, which JSON lacks), a verdict's "yes" or "no"
// as true or false, any other cell as a string.
std::string json_value(const std::string& column, const std::string& cell, bool numeric);

// Rows of a summary: a CSV with one header row, or JSON Lines with the same
// keys when the file's name ends in ".jsonl". Every row is written whole or
// not at all. A cell is a text; in JSON Lines a number's text goes out as a
// number and "yes"/"no" of a verdict as true/false.
class SummaryFile {
  public:
    // Opens the file and, for a CSV, writes its header row.
    std::optional<FileFailure> open(const std::string& path, std::vector<std::string> columns);
    // One row, a cell per column; `numeric[c]` says whether column c's cell
    // is a number (or empty) rather than text.
    std::optional<FileFailure> write_row(const std::vector<std::string>& cells,
                                         const std::vector<bool>& numeric);
    std::optional<FileFailure> close();
    bool is_open() const { return file_.is_open(); }
    // Rows written whole, the header not counted.
    long rows() const { return file_.lines() - (json_ ? 0 : 1); }
    const std::vector<std::string>& columns() const { return columns_; }

  private:
    LineFile file_;
    std::vector<std::string> columns_;
    bool json_ = false;
};

// A summary of one law: its criteria and its orientation weights' error as
// the single row of a summary file. The message of a failure, if any.
std::optional<std::string> write_law_summary(const std::string& path, const LawCriteria& criteria,
                                             const MatrixProperties& matrix,
                                             const CriteriaSettings& settings,
                                             double orientation_weight_error);

// The criteria as the lines a single run prints at its end, with how they
// were formed, or why there are none.
std::string criteria_report(const LawCriteria& criteria, const CriteriaSettings& settings);

}  // namespace quarnel
