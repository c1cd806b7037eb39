#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "engine/calculation_inputs.h"
#include "engine/input_checks.h"
#include "study/fit_statistics.h"
#include "study/measured_curve.h"

namespace quarnel {

// One input to fit, within bounds [low, high] (inclusive), from an optional
// start inside them.
struct FitValue {
    std::string name;    // as the user gave it: "A" or "Pmax"
    std::string member;  // the member it stands for: "Pmax"
    double low = 0;
    double high = 0;
    std::optional<double> start;
};

// The most local searches a fit may start: its screening draws 4 points per
// start.
constexpr int max_fit_starts = 10000;

// How long and from where the optimiser searches.
struct FitSettings {
    int starts = 4;  // local searches before the polish, the first from the given starts
    // With 2 starts or more: while fewer than two ends of the local searches
    // lie at the best minimum found (as fit_warnings tells minima apart),
    // another is started, up to this many more, from the best screening point
    // that lies farther than 0.15 of each search range from every start and
    // every end so far (else from the farthest).
    int extra_starts = 0;
    std::uint64_t seed = 1;               // the other starts' points
    std::optional<long> max_evaluations;  // laws computed in all; none: default_max_evaluations
    std::optional<double> max_seconds;    // none: no time limit
    // A local search ends when a step changes no value by more than this
    // share of its search range, or the sum of squares by less than
    // f_tolerance of itself.
    double x_tolerance = 1e-7;
    double f_tolerance = 1e-10;
};

// The evaluations a fit of `count` values by at most `searches` local
// searches (starts and extra starts) may take when none are given: 100 + 100
// per value for each search, and at least 400 + 400 per value.
long default_max_evaluations(std::size_t count, int searches);

// Refuses, with the message, settings a fit cannot run with: starts outside
// 1 to max_fit_starts, extra_starts outside 0 to max_fit_starts, max_evaluations below 1,
// max_seconds not a finite number above 0, and tolerances that are negative or not finite.
std::optional<std::string> check_fit_settings(const FitSettings& settings);

// A measured curve and what to fit to it. `inputs` holds every input as for
// a single run (texts by member, "model" among them); the fitted members'
// entries are replaced by the candidates.
struct FitProblem {
    InputSet inputs;
    std::vector<FitValue> values;
    std::vector<double> openings;  // mm, in any order, equal ones allowed
    std::vector<double> stresses;  // MPa, one per opening
};

// What a fit of a problem cannot be made for.
struct FitSetupError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// Refuses, with the message, a problem that cannot be fitted: no value to
// fit, a name that is not a numeric input (division and model are not fitted:
// the law is computed at the measured openings), a member fitted twice, bounds
// that are not finite or not increasing, a start outside them, 32-bit inputs
// whose bounds hold no 32-bit value, fewer points than values plus one, and
// openings or stresses that are not finite, openings below 0 and openings or
// stresses beyond measured_value_limit in magnitude (so that the sums of
// squares of a fit stay finite), such a point named by its index from 0.
std::optional<std::string> check_fit_problem(const FitProblem& problem);

// A value to fit from its argument, NAME=LOW:HIGH or NAME=LOW:HIGH:START
// ("A=0.1:20", "kxy=0:2:0.5"): NAME an input's name, the bounds whole
// decimal numbers (read_decimal_number), finite. Throws FitSetupError naming
// the name and the rule broken ("Pmax LOW: \"abc\" is not a decimal
// number"); a text echoed is cut to its first 40 characters and "..." when
// longer. Whether the bounds suit the name is check_fit_problem's to say.
FitValue parse_fit_value(const std::string& argument);

// Why a fit problem cannot be made.
struct FitProblemRefusal {
    std::string message;  // names members and rules; "{member}" written as the member's name
    // An input refusal that no fitted value can lift, for a front end to word
    // with the member's caption.
    std::optional<InputRefusal> input;
    // The points are too few: the message counts them, for a front end to
    // say whose points they are ("curve.csv holds ...").
    bool about_point_count = false;
};

// The problem of fitting `values` to the measured points that have an
// opening up to `until` (every point without it), in their order, with the
// other inputs from `inputs` ("model" among them). Refused, in this order:
// the values as check_fit_problem refuses them; an `until` that is not a
// number; a point that cannot be fitted, named by its line ("line 7: the
// stress 1e+200 is beyond 1e100 MPa, which a fit cannot square", or "point
// 2" for a point of line 0), whether it lies beyond `until` or not; fewer
// points than values plus one ("3 points with an opening up to 0.5 mm, fewer
// than the 4 that fitting 3 values needs", for a front end to prefix with
// "<file> holds "); and a refusal of the inputs that no fitted value can
// lift: the inputs with each fitted value at its start (or the middle of its
// range: geometric above 0, else arithmetic) checked for given openings and,
// when `division_used`, for the "Division" scheme, kept when it names a
// member that is not fitted. Throws std::invalid_argument for inputs
// read_calculation_inputs does not take.
std::variant<FitProblem, FitProblemRefusal> make_fit_problem(
    const InputSet& inputs, std::vector<FitValue> values, const std::vector<MeasuredPoint>& points,
    std::optional<double> until, bool division_used);

// The inputs with each value's member set to its fitted value (`fitted` in
// the order of `values`) and the member's other name ("A" for "Pmax") left
// out, so that the set reads as it would with the fitted texts typed in.
InputSet inputs_with_fitted(const InputSet& inputs, const std::vector<FitValue>& values,
                            const std::vector<InputValue>& fitted);

enum class FitStop {
    converged,        // every start's search met its tolerances
    max_evaluations,  // the evaluations ran out
    max_time,         // the time ran out
    interrupted,      // stop_requested said so
};
std::string fit_stop_text(FitStop stop);

// Where one local search from a start ended: the best candidate it computed.
struct FitStartEnd {
    std::vector<double> values;  // stored values; empty when it computed none
    double rmse = 0;             // MPa; infinity when it computed none
    long evaluations = 0;        // its own
};

// Two start ends (or a start end and the fit) are at one minimum when their
// RMSEs differ by less than this share of the smaller (fit_warnings).
constexpr double same_minimum_share = 1e-3;

struct FitResult {
    // Whether some candidate's law was computed with a finite sum of squares.
    // When none was, evaluations is 0 only for a fit interrupted before its
    // first evaluation (the first start is evaluated whatever the limits),
    // and refused_evaluations equals evaluations when every candidate was
    // refused.
    bool found = false;
    // The best candidate: each fitted input's value as stored and evaluated
    // (a 32-bit input's float widened to a double), and the shortest field
    // text that reads back to that stored value.
    std::vector<double> values;
    std::vector<std::string> texts;
    std::vector<bool> at_bound;           // within 1e-6 of its search range from a bound
    std::vector<double> fitted_stresses;  // the law's sigma at each opening, in the problem's order
    double sum_of_squares = 0;            // MPa2
    double rmse = 0;                      // MPa
    // 1 - SS / SS about the mean of the measured stresses; none where it is
    // undefined: when the measured stresses are all equal (or so nearly that
    // their squares about the mean sum to 0).
    std::optional<double> r2;
    long evaluations = 0;          // laws asked for, refused ones included
    long refused_evaluations = 0;  // candidates whose inputs were refused
    std::optional<InputRefusal> last_refusal;
    double seconds = 0;  // the search and the statistics
    FitStop stop = FitStop::converged;

    // At the optimum: the values' standard errors, correlations and 95 %
    // intervals from central differences of the law's stresses (one-sided
    // where a step would cross a bound or its law is refused), each step 1e-3
    // of the value (1e-5 of its range near 0), at least 16 units in the last
    // place of a 32-bit value, and taken between stored values. Not computed for a fit
    // interrupted or without a result, or when a law beside the optimum is
    // refused on both sides.
    FitStatistics statistics;
    // Each local search from a start, in order (the polish not among them).
    std::vector<FitStartEnd> start_ends;
    // The local scatter of the residuals (fitted - measured) in opening
    // order: sqrt(sum (r[i+1] - r[i])^2 / (2 (n - 1))), MPa; about the
    // noise's deviation when the law follows the curve, whatever the misfit.
    std::optional<double> local_scatter;
    // Sentences for a reader (fit_warnings).
    std::vector<std::string> warnings;
};

// The local scatter of residuals taken in the order of their openings
// (equal openings in the given order); none for fewer than 2.
std::optional<double> local_scatter(const std::vector<double>& openings,
                                    const std::vector<double>& residuals);

// What a reader of a fit must be told, each a sentence naming the values or
// the region:
// - values the curve cannot tell apart (statistics.undetermined), and two
//   values whose correlation lies beyond +/-0.95;
// - a value that ends at a bound (at_bound);
// - with at least 10 points and an RMSE above 1e-6 of the largest measured
//   stress (a fit not exact to rounding): an RMSE above twice the local
//   scatter of the residuals, and every run of successive residuals of one
//   sign (in opening order) of at least log2(100 n) points, which a curve
//   with independent noise shows with odds below 1 in 100;
// - start ends at different minima, with how many reached the best: two
//   ends are at one minimum when their RMSEs lie within same_minimum_share
//   of the smaller (plus 1e-6 of the largest measured stress), or every
//   value within 1e-3 of its search range (on its search scale).
std::vector<std::string> fit_warnings(const FitProblem& problem, const FitResult& result);

struct FitHooks {
    // After every evaluation: evaluations so far and the best RMSE so far
    // (infinity while none was computed).
    std::function<void(long evaluations, double best_rmse)> progress;
    // After every evaluation: the candidate's stored values and its sum of
    // squares (the penalty when refused or not finite), for tracing a fit.
    std::function<void(const std::vector<double>& values, double sum_of_squares, bool refused)>
        evaluated;
    // Asked before every evaluation; true ends the fit with the best so far.
    std::function<bool()> stop_requested;
};

// Fits the values to the measured curve: least squares of the law's sigma at
// the measured openings (computed in increasing order), by NLopt's BOBYQA.
// The first local search starts with each value at its start (or the middle
// of its range; BOBYQA first moves a start that lies closer than a tenth of
// its search scale to a bound, but not on it, a tenth inside); the other
// `starts` - 1 start from the best of a Latin hypercube of 4 * starts points
// (at least 8) drawn from `seed` over the ranges, which are evaluated first;
// then the extra starts (FitSettings::extra_starts). These searches stop at a
// coarse tolerance (1e-4 of the ranges, 1e-8 of the sum of squares, or the
// settings' when coarser); the best point found is then polished to the
// settings' tolerances, and the statistics are taken there. Values whose range lies above 0
// are searched on a logarithmic scale, others linearly. Every candidate
// counts as an evaluation, the screening points too. The first local
// search's first evaluation is made whatever the limits: until it is, the
// screening leaves one evaluation for it, and a limit reached ends the fit
// just after it; only a stop request ends a fit before it. A candidate whose
// inputs are refused, or whose law's sum of squares is not finite, counts as
// a very poor fit (a sum of squares 100 times that of the law of no stress,
// plus 100). Throws FitSetupError for a problem check_fit_problem refuses and
// for settings check_fit_settings refuses. The statistics' laws are not
// evaluations: no limit, hook or count of the search applies to them, but a
// stop request ends them (the fit is then interrupted, without statistics).
FitResult fit_law(const FitProblem& problem, const FitSettings& settings = {},
                  const FitHooks& hooks = {});

// Whether the member is stored as a 32-bit float (every numeric input but
// Pmax, delta_max, C, D, division and model).
bool is_single_precision_member(const std::string& member);
// The value as the member stores it: rounded to the nearest float for a
// 32-bit member, unchanged for a 64-bit one.
double stored_value(const std::string& member, double value);
// The stored value of the member nearest to `value` that lies within
// [low, high]: a 32-bit member's float rounded to a bound's outside is moved
// one float inwards.
double stored_value_within(const std::string& member, double value, double low, double high);
// The shortest text that, read by the field rule and stored with the member's
// width, gives `value` again; `value` must be a stored value of the member.
std::string shortest_field_text(const std::string& member, double value);

}  // namespace quarnel
