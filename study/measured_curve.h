#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace quarnel {

// The largest magnitude of a measured opening (mm) or stress (MPa): below it
// a fit's sums of squares of differences over any file stay finite.
constexpr double measured_value_limit = 1e100;
constexpr std::string_view measured_value_limit_text = "1e100";  // as messages write it

// One measured point of a bridging curve and the line of the file it was on.
struct MeasuredPoint {
    double opening = 0;  // crack opening, mm
    double stress = 0;   // bridging stress, MPa
    int line = 0;        // from 1
};

// Why a measured file cannot be used: the line at fault (0 when no one line
// is, as for a file of no data rows), the column at fault (from 1; 0 when no
// one column is, and always 0 for a file of two columns) and the reason.
struct CurveRefusal {
    int line = 0;
    std::string reason;
    int column = 0;
};

// Where a lab file keeps the curve: the first `skip` lines are skipped
// whatever they hold (metadata before the header), and with `columns` the
// opening and the stress are read from those columns (from 1) of lines of
// any number of values.
struct MeasuredLayout {
    std::optional<std::pair<int, int>> columns;  // opening, stress; none: a file of two columns
    long skip = 0;
};

// Reads a measured curve: two columns, crack opening (mm) and bridging stress
// (MPa), separated on each line by a semicolon, a tab, a comma or blanks
// (a semicolon when the line holds one, else a tab when it holds one, else a
// comma when the line holds exactly one, else runs of blanks); blanks around
// a value are skipped. A decimal comma is accepted where the separator is not
// a comma ("0,5;1,25"). Values are decimal numbers (sign, digits with at most
// one decimal point, an optional exponent), each read as the nearest double.
// Blank lines and lines whose first character other than a blank is "#" are
// skipped, a line may end in CR LF, and a leading UTF-8 byte-order mark is
// skipped. The first line that is neither blank nor a comment is a header,
// and skipped, when none of its values is a number ("w (mm), sigma (MPa)").
// Refused, with the line: a line of other than two values, a value that is
// not a number or not a finite one, a negative opening, a value beyond
// measured_value_limit in magnitude, and a file of no data rows. Openings
// need not be sorted and may repeat.
//
// With `layout.skip`, the lines before the header are skipped first (line
// numbers still count them). With `layout.columns`, a line holds any number
// of values, and a line with neither a semicolon nor a tab is split at
// commas when none of the parts holds a blank ("t,w,F,sigma"; "0,5 1,25" is
// two values with decimal commas); the other columns are not read. Refused
// then, naming the line and the column: a line with fewer values than the
// larger column number, and the refusals above of an opening or a stress.
// Throws std::invalid_argument for a column below 1 or a negative skip.
std::variant<std::vector<MeasuredPoint>, CurveRefusal> read_measured_curve(
    std::string_view text, const MeasuredLayout& layout = {});

// A whole decimal number (sign, digits with at most one decimal point, an
// optional exponent; blanks around it not allowed) read as the nearest double
// (infinity beyond the range); none for any other text.
std::optional<double> read_decimal_number(std::string_view text);

// The limit on the side of `value`, as messages write it: "1e100", or
// "-1e100" for a negative value.
std::string measured_limit_text(double value);

// The criteria of a measured curve, by the trapezoidal rule from (0, 0) over
// the points in opening order (equal openings in their given order), as the
// criteria of a law are formed from its steps. NaN for a curve of no points.
struct CurveCriteria {
    double sigma_max = 0;  // MPa: the largest stress (sigma_0), the later point on a tie
    double Wcr_peak = 0;   // mm: its opening (delta_0)
    double J_b_prime = 0;  // J/m2: sigma_max Wcr_peak - integral of sigma from 0 to Wcr_peak
    double G_b = 0;        // J/m2: integral of sigma from 0 to the last opening
};
CurveCriteria measured_curve_criteria(const std::vector<double>& openings,
                                      const std::vector<double>& stresses);

// "line 4: ...", "line 4, column 3: ..." or, for line 0, the reason alone.
std::string curve_refusal_text(const CurveRefusal& refusal);

}  // namespace quarnel
