#include "fit.h"

#include <nlopt.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <numeric>
#include <set>

#include "engine/fiber_tables.h"
#include "engine/text_to_number.h"
#include "study/law_run.h"

namespace quarnel {

bool is_single_precision_member(const std::string& member) {
    return member != "Pmax" && member != "delta_max" && member != "C" && member != "D" &&
           member != "division" && member != "model";
}

double stored_value(const std::string& member, double value) {
    return is_single_precision_member(member) ? static_cast<double>(static_cast<float>(value))
                                              : value;
}

namespace {

bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool reads_back(const std::string& member, const std::string& text, double value) {
    return same_bits(stored_value(member, read_number(text)), value);
}

std::string chars_of(double x, int precision) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, precision);
    return std::string(buffer, result.ptr);
}

std::string chars_of(float x) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, result.ptr);
}

}  // namespace

std::string shortest_field_text(const std::string& member, double value) {
    const std::string exact = shortest_number_text(value);
    if (!is_single_precision_member(member)) return exact;
    // A text is read as a double and then rounded to a float: the float's own
    // shortest text may round twice to a neighbour, so every candidate is
    // read back, and the double's shortest text always reads back.
    std::string best = exact;
    const auto consider = [&](const std::string& text) {
        if (text.size() < best.size() && reads_back(member, text, value)) best = text;
    };
    consider(chars_of(static_cast<float>(value)));
    for (int precision = 1; precision <= 9; ++precision) consider(chars_of(value, precision));
    return best;
}

long default_max_evaluations(std::size_t count, int searches) {
    constexpr long most = std::numeric_limits<long>::max();
    if (count >= static_cast<std::size_t>((most - 400) / 400 / max_fit_starts / 2)) return most;
    const long per_search = 100 + 100 * static_cast<long>(count);
    return std::max(4 * per_search, per_search * std::max(searches, 1));
}

std::optional<std::string> check_fit_settings(const FitSettings& settings) {
    if (settings.starts < 1 || settings.starts > max_fit_starts) {
        return "starts must be from 1 to " + std::to_string(max_fit_starts);
    }
    if (settings.extra_starts < 0 || settings.extra_starts > max_fit_starts) {
        return "extra_starts must be from 0 to " + std::to_string(max_fit_starts);
    }
    if (settings.max_evaluations && *settings.max_evaluations < 1) {
        return std::string("max_evaluations must be at least 1");
    }
    if (settings.max_seconds &&
        !(std::isfinite(*settings.max_seconds) && *settings.max_seconds > 0)) {
        return std::string("max_seconds must be a finite number above 0");
    }
    if (!(std::isfinite(settings.x_tolerance) && settings.x_tolerance >= 0)) {
        return std::string("x_tolerance must be a finite number of 0 or more");
    }
    if (!(std::isfinite(settings.f_tolerance) && settings.f_tolerance >= 0)) {
        return std::string("f_tolerance must be a finite number of 0 or more");
    }
    return std::nullopt;
}

std::string fit_stop_text(FitStop stop) {
    switch (stop) {
        case FitStop::converged:
            return "tolerances reached";
        case FitStop::max_evaluations:
            return "maximum evaluations reached";
        case FitStop::max_time:
            return "maximum time reached";
        case FitStop::interrupted:
            return "interrupted";
    }
    return "";
}

namespace {

// A value's candidate from its place u in [0, 1] of the search range: on a
// logarithmic scale for a range above 0, else linear; the ends are the bounds
// exactly.
struct SearchScale {
    double low = 0;
    double high = 0;
    bool logarithmic = false;

    // The start and its place, so that the start is evaluated as given.
    std::optional<double> start;
    double start_place = -1;

    double value(double u) const {
        if (!(u > 0)) return low;
        if (u >= 1) return high;
        if (start && u == start_place) return *start;
        const double v = logarithmic
                             ? std::exp(std::log(low) + u * (std::log(high) - std::log(low)))
                             : low + u * (high - low);
        return std::clamp(v, low, high);
    }
    double place(double v) const {
        if (v <= low) return 0;
        if (v >= high) return 1;
        const double u = logarithmic
                             ? (std::log(v) - std::log(low)) / (std::log(high) - std::log(low))
                             : (v - low) / (high - low);
        return std::clamp(u, 0.0, 1.0);
    }
};

}  // namespace

double stored_value_within(const std::string& member, double v, double low, double high) {
    double s = stored_value(member, v);
    if (!is_single_precision_member(member)) return s;
    const float f = static_cast<float>(s);
    if (s > high) s = std::nextafter(f, -std::numeric_limits<float>::infinity());
    if (s < low) s = std::nextafter(f, std::numeric_limits<float>::infinity());
    return s;
}

namespace {

// Deterministic numbers from a seed (SplitMix64), the same on every platform.
class SeededNumbers {
  public:
    explicit SeededNumbers(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

  private:
    std::uint64_t state_;
};

// The start points in the search space: the given starts (or the middles),
// then a Latin hypercube of `others` points.
std::vector<std::vector<double>> start_points(const std::vector<SearchScale>& scales,
                                              const FitProblem& problem, std::size_t others,
                                              std::uint64_t seed) {
    const std::size_t n = scales.size();
    std::vector<std::vector<double>> points;
    std::vector<double> first(n);
    for (std::size_t d = 0; d < n; ++d) {
        const FitValue& v = problem.values[d];
        first[d] = v.start ? scales[d].place(*v.start) : 0.5;
    }
    points.push_back(first);
    if (others == 0) return points;
    SeededNumbers numbers(seed);
    std::vector<std::vector<double>> columns(n, std::vector<double>(others));
    for (std::size_t d = 0; d < n; ++d) {
        std::vector<std::size_t> strata(others);
        std::iota(strata.begin(), strata.end(), 0);
        for (std::size_t i = others; i > 1; --i) std::swap(strata[i - 1], strata[numbers.below(i)]);
        for (std::size_t s = 0; s < others; ++s) {
            columns[d][s] =
                (static_cast<double>(strata[s]) + numbers.uniform()) / static_cast<double>(others);
        }
    }
    for (std::size_t s = 0; s < others; ++s) {
        std::vector<double> p(n);
        for (std::size_t d = 0; d < n; ++d) p[d] = columns[d][s];
        points.push_back(p);
    }
    return points;
}

using Clock = std::chrono::steady_clock;

// The state of one fit across its local searches.
struct Search {
    Search(const FitProblem& p, const FitSettings& s, const FitHooks& h)
        : problem(p), settings(s), hooks(h) {}
    const FitProblem& problem;
    const FitSettings& settings;
    const FitHooks& hooks;
    std::vector<SearchScale> scales;
    InputSet inputs;
    std::optional<std::vector<double>> sorted_openings;
    std::vector<std::size_t> order;  // problem index of each sorted opening
    FiberTables tables;
    double penalty = 0;
    long max_evaluations = 0;
    Clock::time_point started;
    nlopt_opt current = nullptr;
    std::optional<FitStop> stopped;
    std::exception_ptr failure;  // thrown by an evaluation

    FitResult result;
    double best_f = std::numeric_limits<double>::infinity();
    std::vector<double> best_values;
    std::vector<double> best_place;  // in the search space
    std::vector<double> best_stresses;

    double seconds() const { return std::chrono::duration<double>(Clock::now() - started).count(); }

    // Whether the first local search has made its first evaluation, the one
    // from the first start: it is made whatever the limits.
    bool first_evaluated = false;

    // Whether the fit must end before the next evaluation. Until the first
    // start has been evaluated, one evaluation is kept for it.
    bool must_stop() {
        if (stopped) return true;
        if (hooks.stop_requested && hooks.stop_requested()) {
            stopped = FitStop::interrupted;
        } else if (result.evaluations >= max_evaluations - (first_evaluated ? 0 : 1)) {
            stopped = FitStop::max_evaluations;
        } else if (settings.max_seconds && seconds() >= *settings.max_seconds) {
            stopped = FitStop::max_time;
        }
        return stopped.has_value();
    }

    // Whether a stop was requested, which alone ends a fit before the first
    // start's evaluation.
    bool interrupted() {
        if (stopped != FitStop::interrupted && hooks.stop_requested && hooks.stop_requested()) {
            stopped = FitStop::interrupted;
        }
        return stopped == FitStop::interrupted;
    }

    // The law's sigma at the problem's openings, in its order, for stored
    // values; none when the inputs are refused.
    struct LawStresses {
        std::vector<double> stresses;
        std::optional<InputRefusal> refusal;
    };
    LawStresses law_stresses(const std::vector<double>& values) {
        for (std::size_t d = 0; d < values.size(); ++d) {
            inputs[problem.values[d].member] = values[d];
        }
        const LawRun run = compute_law(inputs, sorted_openings, tables);
        LawStresses law;
        if (run.refused()) {
            law.refusal = run.refusal;
            return law;
        }
        law.stresses.resize(problem.openings.size());
        for (std::size_t s = 0; s < order.size(); ++s) law.stresses[order[s]] = run.steps[s].sigma;
        return law;
    }

    // The local search under way from a start, if any: its best so far.
    std::optional<FitStartEnd> start_end;
    double start_best_f = std::numeric_limits<double>::infinity();

    double evaluate(const double* u) {
        const std::size_t n = scales.size();
        std::vector<double> values(n);
        for (std::size_t d = 0; d < n; ++d) {
            const FitValue& v = problem.values[d];
            values[d] = stored_value_within(v.member, scales[d].value(u[d]), v.low, v.high);
        }
        ++result.evaluations;
        LawStresses law = law_stresses(values);
        double f = penalty;
        if (law.refusal) {
            ++result.refused_evaluations;
            result.last_refusal = law.refusal;
        } else {
            double sum = 0;
            for (std::size_t i = 0; i < law.stresses.size(); ++i) {
                const double r = law.stresses[i] - problem.stresses[i];
                sum += r * r;
            }
            // A law computed with a sum that is not finite is a poor fit,
            // scored as the penalty, not a refused one.
            if (std::isfinite(sum)) {
                f = sum;
                if (start_end && sum < start_best_f) {
                    start_best_f = sum;
                    start_end->values = values;
                }
                if (sum < best_f) {
                    best_f = sum;
                    best_values = values;
                    best_place.assign(u, u + n);
                    best_stresses = std::move(law.stresses);
                    result.found = true;
                }
            }
        }
        if (start_end) ++start_end->evaluations;
        if (hooks.evaluated) hooks.evaluated(values, f, law.refusal.has_value());
        if (hooks.progress) {
            hooks.progress(result.evaluations,
                           result.found ? std::sqrt(best_f / static_cast<double>(order.size()))
                                        : std::numeric_limits<double>::infinity());
        }
        return f;
    }
};

double objective(unsigned, const double* u, double*, void* data);

// One local search by BOBYQA from x, in the unit box of the search space.
void local_search(Search& search, std::vector<double>& x, double x_tolerance, double f_tolerance) {
    const std::size_t n = x.size();
    const std::vector<double> lower(n, 0.0);
    const std::vector<double> upper(n, 1.0);
    const std::vector<double> step(n, 0.1);
    nlopt_opt opt = nlopt_create(NLOPT_LN_BOBYQA, static_cast<unsigned>(n));
    if (opt == nullptr) throw std::bad_alloc();
    search.current = opt;
    nlopt_set_lower_bounds(opt, lower.data());
    nlopt_set_upper_bounds(opt, upper.data());
    nlopt_set_min_objective(opt, objective, &search);
    nlopt_set_xtol_abs1(opt, x_tolerance);
    nlopt_set_ftol_rel(opt, f_tolerance);
    nlopt_set_initial_step(opt, step.data());
    double f = 0;
    nlopt_optimize(opt, x.data(), &f);
    search.current = nullptr;
    nlopt_destroy(opt);
    if (search.failure) std::rethrow_exception(search.failure);
}

double objective(unsigned, const double* u, double*, void* data) {
    auto& search = *static_cast<Search*>(data);
    const bool first = !search.first_evaluated;
    search.first_evaluated = true;
    if (first ? search.interrupted() : search.must_stop()) {
        nlopt_force_stop(search.current);
        return search.result.found ? search.best_f : search.penalty;
    }
    // No exception may cross NLopt's C frames: it is kept and thrown again
    // once the search has returned.
    try {
        return search.evaluate(u);
    } catch (...) {
        search.failure = std::current_exception();
        search.stopped = FitStop::interrupted;
        nlopt_force_stop(search.current);
        return search.penalty;
    }
}

}  // namespace

namespace {

// The text as a message echoes it: its first 40 characters (a UTF-8
// sequence kept whole) and "..." when it is longer.
std::string echoed(const std::string& text) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters == 40) return text.substr(0, i) + "...";
        ++characters;
    }
    return text;
}

std::string count_text(std::size_t count, const std::string& thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// The other name of a member that has two ("A" for "Pmax"), else "".
std::string other_name(const std::string& member) {
    return member == "Pmax" ? "A" : member == "delta_max" ? "B" : "";
}

std::optional<std::string> check_fit_values(const std::vector<FitValue>& values) {
    if (values.empty()) return "nothing to fit: give at least one value to fit";
    std::set<std::string> members;
    for (const FitValue& v : values) {
        const std::string member = input_member(v.name);
        if (member.empty() || member != v.member) return "unknown name \"" + echoed(v.name) + "\"";
        if (member == "model") {
            return "\"model\" cannot be fitted: it chooses the pull-out model (model=1 or 2)";
        }
        if (member == "division") {
            return "\"" + v.name +
                   "\" cannot be fitted: the law is computed at the measured openings";
        }
        if (!members.insert(member).second) return "\"" + v.name + "\" is fitted twice";
        if (!std::isfinite(v.low) || !std::isfinite(v.high)) {
            return v.name + ": the bounds must be finite numbers";
        }
        if (!(v.low < v.high)) return v.name + ": LOW must be below HIGH";
        if (v.start && !(*v.start >= v.low && *v.start <= v.high)) {
            return v.name + ": START must lie within LOW:HIGH";
        }
        if (is_single_precision_member(member)) {
            const double s = stored_value_within(member, v.low, v.low, v.high);
            if (!(s >= v.low && s <= v.high)) {
                return v.name + ": no 32-bit value lies within LOW:HIGH";
            }
        }
    }
    return std::nullopt;
}

// Why a measured point cannot be fitted, if it cannot.
std::optional<std::string> point_refusal(double opening, double stress) {
    const auto beyond = [](double value) { return " is beyond " + measured_limit_text(value); };
    if (!std::isfinite(opening)) {
        return "the opening " + shortest_number_text(opening) + " is not a finite number";
    }
    if (opening < 0) return "the opening " + shortest_number_text(opening) + " is negative";
    if (opening > measured_value_limit) {
        return "the opening " + shortest_number_text(opening) + beyond(opening) + " mm";
    }
    if (!std::isfinite(stress)) {
        return "the stress " + shortest_number_text(stress) + " is not a finite number";
    }
    if (std::abs(stress) > measured_value_limit) {
        return "the stress " + shortest_number_text(stress) + beyond(stress) +
               " MPa, which a fit cannot square";
    }
    return std::nullopt;
}

// An input refusal with each "{member}" written as the member's name.
std::string plain_refusal_text(const InputRefusal& refusal) {
    std::string text = refusal.message;
    for (std::size_t open = text.find('{'); open != std::string::npos;
         open = text.find('{', open)) {
        const std::size_t close = text.find('}', open);
        if (close == std::string::npos) break;
        text.erase(close, 1);
        text.erase(open, 1);
    }
    return text;
}

// The refusal of the inputs that no fitted value can lift: the inputs with
// each fitted value at its start (or the middle of its range) checked, and a
// refusal kept only when it names a member that is not fitted.
std::optional<InputRefusal> fixed_refusal(const InputSet& inputs,
                                          const std::vector<FitValue>& values, bool division_used) {
    std::vector<InputValue> trial;
    for (const FitValue& v : values) {
        trial.emplace_back(v.start.value_or(v.low > 0 ? std::sqrt(v.low) * std::sqrt(v.high)
                                                      : v.low / 2 + v.high / 2));
    }
    const CalculationInputs read =
        read_calculation_inputs(inputs_with_fitted(inputs, values, trial));
    for (const OpeningScheme scheme :
         {OpeningScheme::given, division_used ? OpeningScheme::division : OpeningScheme::given}) {
        if (auto refusal = check_calculation_inputs(read, scheme)) {
            const bool fitted = std::any_of(values.begin(), values.end(), [&](const FitValue& v) {
                return v.member == refusal->member;
            });
            if (!fitted && !refusal->member.empty()) return refusal;
        }
    }
    return std::nullopt;
}

// A bound of a NAME=LOW:HIGH[:START] argument.
double fit_bound(const std::string& name, const char* what, const std::string& text) {
    const auto value = read_decimal_number(text);
    const std::string quoted = name + " " + what + ": \"" + echoed(text) + "\"";
    if (!value) throw FitSetupError(quoted + " is not a decimal number");
    if (!std::isfinite(*value)) throw FitSetupError(quoted + " is beyond the range of numbers");
    return *value;
}

}  // namespace

std::optional<std::string> check_fit_problem(const FitProblem& problem) {
    if (auto error = check_fit_values(problem.values)) return error;
    if (problem.openings.size() != problem.stresses.size()) {
        return "the openings and the stresses differ in number";
    }
    if (problem.openings.size() < problem.values.size() + 1) {
        return std::to_string(problem.openings.size()) +
               (problem.openings.size() == 1 ? " point is" : " points are") + " fewer than the " +
               std::to_string(problem.values.size() + 1) + " that fitting " +
               count_text(problem.values.size(), "value") + " needs";
    }
    for (std::size_t i = 0; i < problem.openings.size(); ++i) {
        if (auto reason = point_refusal(problem.openings[i], problem.stresses[i])) {
            return "point " + std::to_string(i) + ": " + *reason;
        }
    }
    return std::nullopt;
}

FitValue parse_fit_value(const std::string& argument) {
    const auto eq = argument.find('=');
    if (eq == std::string::npos) {
        throw FitSetupError("takes NAME=LOW:HIGH or NAME=LOW:HIGH:START, not \"" +
                            echoed(argument) + "\"");
    }
    FitValue v;
    v.name = argument.substr(0, eq);
    v.member = input_member(v.name);
    if (v.member.empty()) throw FitSetupError("unknown name \"" + echoed(v.name) + "\"");
    std::vector<std::string> parts;
    std::size_t from = eq + 1;
    for (;;) {
        const std::size_t colon = argument.find(':', from);
        parts.push_back(argument.substr(from, colon == std::string::npos ? colon : colon - from));
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    if (parts.size() != 2 && parts.size() != 3) {
        throw FitSetupError(v.name + ": expected LOW:HIGH or LOW:HIGH:START, not \"" +
                            echoed(argument.substr(eq + 1)) + "\"");
    }
    v.low = fit_bound(v.name, "LOW", parts[0]);
    v.high = fit_bound(v.name, "HIGH", parts[1]);
    if (parts.size() == 3) v.start = fit_bound(v.name, "START", parts[2]);
    return v;
}

InputSet inputs_with_fitted(const InputSet& inputs, const std::vector<FitValue>& values,
                            const std::vector<InputValue>& fitted) {
    if (fitted.size() != values.size()) {
        throw std::invalid_argument(
            "inputs_with_fitted: the values and the fitted values differ "
            "in number");
    }
    InputSet result = inputs;
    for (std::size_t i = 0; i < values.size(); ++i) {
        result.erase(other_name(values[i].member));
        result[values[i].member] = fitted[i];
    }
    return result;
}

std::variant<FitProblem, FitProblemRefusal> make_fit_problem(
    const InputSet& inputs, std::vector<FitValue> values, const std::vector<MeasuredPoint>& points,
    std::optional<double> until, bool division_used) {
    if (auto error = check_fit_values(values)) return FitProblemRefusal{*error, std::nullopt};
    if (until && std::isnan(*until)) {
        return FitProblemRefusal{"until is not a number", std::nullopt};
    }
    // Every point is checked, those beyond `until` too: they are still the
    // measured curve.
    for (std::size_t i = 0; i < points.size(); ++i) {
        const MeasuredPoint& p = points[i];
        if (auto reason = point_refusal(p.opening, p.stress)) {
            const std::string where =
                p.line > 0 ? "line " + std::to_string(p.line) : "point " + std::to_string(i);
            return FitProblemRefusal{where + ": " + *reason, std::nullopt};
        }
    }
    FitProblem problem;
    for (const MeasuredPoint& p : points) {
        if (until && !(p.opening <= *until)) continue;
        problem.openings.push_back(p.opening);
        problem.stresses.push_back(p.stress);
    }
    const std::size_t used = problem.openings.size();
    if (used < values.size() + 1) {
        std::string where = count_text(used, "point");
        if (until) where += " with an opening up to " + shortest_number_text(*until) + " mm";
        return FitProblemRefusal{where + ", fewer than the " + std::to_string(values.size() + 1) +
                                     " that fitting " + count_text(values.size(), "value") +
                                     " needs",
                                 std::nullopt, true};
    }
    if (auto refusal = fixed_refusal(inputs, values, division_used)) {
        return FitProblemRefusal{plain_refusal_text(*refusal), std::move(refusal)};
    }
    problem.inputs = inputs;
    problem.values = std::move(values);
    return problem;
}

namespace {

// The two stored values between which value d's derivative is taken, at x:
// x -/+ the step, or x and one step to the side that stays within the bounds.
std::pair<double, double> difference_points(const FitValue& v, double x) {
    // The law rounds through 32-bit values (the fiber count, the cells'
    // tables), some 1e-7 of a stress: a step of 1e-3 keeps that below 1e-4
    // of a difference, while the curvature costs about 1e-6.
    double h = 1e-3 * std::max(std::abs(x), 1e-2 * (v.high - v.low));
    if (is_single_precision_member(v.member)) {
        const float f = static_cast<float>(x);
        const double ulp = std::nextafter(f, std::numeric_limits<float>::infinity()) - f;
        h = std::max(h, 16 * ulp);
    }
    const auto stored = [&](double y) { return stored_value_within(v.member, y, v.low, v.high); };
    const bool up_fits = x + h <= v.high;
    const bool down_fits = x - h >= v.low;
    if (up_fits && down_fits) return {stored(x - h), stored(x + h)};
    if (up_fits) return {x, stored(x + h)};
    if (down_fits) return {stored(x - h), x};
    return {stored(v.low), stored(v.high)};
}

// The statistics at the best values, from central differences of the law.
FitStatistics statistics_at_optimum(Search& search) {
    const FitProblem& problem = search.problem;
    const std::vector<double>& best = search.best_values;
    const std::size_t n = problem.openings.size();
    std::vector<std::vector<double>> jacobian(n, std::vector<double>(best.size()));
    long evaluations = 0;
    const auto stopped = [&] {
        return search.hooks.stop_requested && search.hooks.stop_requested();
    };
    const auto not_computed = [&](std::string why) {
        FitStatistics none;
        none.not_computed = std::move(why);
        none.evaluations = evaluations;
        return none;
    };
    for (std::size_t d = 0; d < best.size(); ++d) {
        const FitValue& v = problem.values[d];
        auto [low, high] = difference_points(v, best[d]);
        const auto stresses_at = [&](double x) -> Search::LawStresses {
            if (x == best[d]) return {search.best_stresses, std::nullopt};
            std::vector<double> values = best;
            values[d] = x;
            ++evaluations;
            return search.law_stresses(values);
        };
        if (stopped()) return not_computed("interrupted");
        Search::LawStresses below = stresses_at(low);
        if (stopped()) return not_computed("interrupted");
        Search::LawStresses above = stresses_at(high);
        // A refused side is replaced by the best values, a one-sided difference.
        if (below.refusal && !above.refusal && high != best[d]) {
            low = best[d];
            below = stresses_at(low);
        } else if (above.refusal && !below.refusal && low != best[d]) {
            high = best[d];
            above = stresses_at(high);
        }
        for (const auto* law : {&below, &above}) {
            if (law->refusal) {
                return not_computed("the law beside the fitted " + v.name +
                                    " is refused: " + plain_refusal_text(*law->refusal));
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            jacobian[i][d] = (above.stresses[i] - below.stresses[i]) / (high - low);
        }
    }
    FitStatistics s = least_squares_statistics(jacobian, search.best_f, best);
    s.evaluations = evaluations;
    return s;
}

// Whether two ends of local searches lie at one minimum: their RMSEs within
// same_minimum_share of the smaller (and 1e-6 of the largest measured
// stress: at a minimum near 0 the coarse ends differ by large shares of
// nothing), or every value within 1e-3 of its search range, ten times the
// coarse tolerance (a flat valley).
bool same_minimum(const FitProblem& problem, const std::vector<double>& a, double a_rmse,
                  const std::vector<double>& b, double b_rmse) {
    double largest = 0;
    for (const double y : problem.stresses) largest = std::max(largest, std::abs(y));
    const double low = std::min(a_rmse, b_rmse);
    if (std::abs(a_rmse - b_rmse) <= low * same_minimum_share + 1e-6 * largest) return true;
    const std::size_t p = problem.values.size();
    if (a.size() != p || b.size() != p) return false;
    for (std::size_t d = 0; d < p; ++d) {
        const FitValue& v = problem.values[d];
        const SearchScale scale{v.low, v.high, v.low > 0, std::nullopt, -1};
        if (!(std::abs(scale.place(a[d]) - scale.place(b[d])) <= 1e-3)) return false;
    }
    return true;
}

std::string number_words(double x) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.4g", x);
    return buffer;
}

std::string names_words(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}

}  // namespace

std::optional<double> local_scatter(const std::vector<double>& openings,
                                    const std::vector<double>& residuals) {
    const std::size_t n = residuals.size();
    if (n < 2 || openings.size() != n) return std::nullopt;
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return openings[a] < openings[b]; });
    double sum = 0;
    for (std::size_t k = 1; k < n; ++k) {
        const double step = residuals[order[k]] - residuals[order[k - 1]];
        sum += step * step;
    }
    return std::sqrt(sum / (2 * static_cast<double>(n - 1)));
}

std::vector<std::string> fit_warnings(const FitProblem& problem, const FitResult& r) {
    std::vector<std::string> warnings;
    if (!r.found) return warnings;
    const std::size_t p = problem.values.size();
    const auto name = [&](std::size_t d) { return problem.values[d].name; };

    const std::size_t n = problem.stresses.size();
    double largest = 0;
    for (const double y : problem.stresses) largest = std::max(largest, std::abs(y));

    const FitStatistics& s = r.statistics;
    for (const std::vector<std::size_t>& group : s.undetermined) {
        if (group.size() == 1) {
            warnings.push_back("The measured stresses do not depend on " + name(group[0]) +
                               " near the fit: its value is not determined.");
        } else {
            std::vector<std::string> names;
            for (const std::size_t d : group) names.push_back(name(d));
            warnings.push_back("The curve cannot tell " + names_words(names) +
                               " apart: only a combination of them is determined, not each "
                               "value (they have no standard errors).");
        }
    }
    if (s.computed) {
        for (std::size_t j = 0; j < p; ++j) {
            for (std::size_t k = j + 1; k < p; ++k) {
                const std::optional<double> rho = s.correlations[j][k];
                if (!rho || !(std::abs(*rho) > 0.95)) continue;
                char text[16];
                std::snprintf(text, sizeof text, "%+.3f", *rho);
                warnings.push_back(name(j) + " and " + name(k) + " correlate at " + text +
                                   ": the curve cannot tell them apart; a change in one is "
                                   "made up by the other, so each is known only as far as the "
                                   "other is (fix one, or fit a curve that separates them).");
            }
        }
    }
    for (std::size_t d = 0; d < p && d < r.at_bound.size(); ++d) {
        if (!r.at_bound[d]) continue;
        const FitValue& v = problem.values[d];
        const bool upper = std::abs(r.values[d] - v.high) < std::abs(r.values[d] - v.low);
        warnings.push_back(v.name + " ends at its " + (upper ? "upper" : "lower") + " bound " +
                           number_words(upper ? v.high : v.low) +
                           ": the best fit may lie beyond it, and its standard error and "
                           "interval do not say how far.");
    }

    // The residuals' pattern, unless the fit is exact to rounding.
    if (n >= 10 && r.fitted_stresses.size() == n && r.rmse > 1e-6 * largest) {
        if (r.local_scatter && r.rmse > 2 * *r.local_scatter) {
            warnings.push_back("The RMSE (" + number_words(r.rmse) + " MPa) is " +
                               number_words(r.rmse / *r.local_scatter) +
                               " times the local scatter of the residuals (" +
                               number_words(*r.local_scatter) +
                               " MPa): the law misses the shape of the curve, beyond its noise.");
        }
        std::vector<std::size_t> order(n);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return problem.openings[a] < problem.openings[b];
        });
        const auto sign = [&](std::size_t k) {
            const double residual = r.fitted_stresses[order[k]] - problem.stresses[order[k]];
            return residual > 0 ? 1 : residual < 0 ? -1 : 0;
        };
        const auto longest =
            static_cast<std::size_t>(std::ceil(std::log2(100 * static_cast<double>(n))));
        for (std::size_t k = 0; k < n;) {
            std::size_t end = k + 1;
            while (end < n && sign(end) == sign(k)) ++end;
            if (sign(k) != 0 && end - k >= longest) {
                warnings.push_back(
                    "The fitted law lies " + std::string(sign(k) > 0 ? "above" : "below") +
                    " the measured stresses at all " + std::to_string(end - k) +
                    " successive points from " + number_words(problem.openings[order[k]]) + " to " +
                    number_words(problem.openings[order[end - 1]]) +
                    " mm: a systematic misfit there, not noise.");
            }
            k = end;
        }
    }

    // Start ends in different minima, in order of RMSE: an end is at the
    // minimum of the one before or not.
    const auto same = [&](const FitStartEnd& a, double a_rmse, const std::vector<double>& b,
                          double b_rmse) {
        return same_minimum(problem, a.values, a_rmse, b, b_rmse);
    };
    std::vector<const FitStartEnd*> ends;
    for (const FitStartEnd& e : r.start_ends) {
        if (std::isfinite(e.rmse)) ends.push_back(&e);
    }
    std::stable_sort(ends.begin(), ends.end(),
                     [](const FitStartEnd* a, const FitStartEnd* b) { return a->rmse < b->rmse; });
    std::size_t minima = 0;
    std::size_t reached = 0;
    for (std::size_t k = 0; k < ends.size(); ++k) {
        if (k == 0 || !same(*ends[k], ends[k]->rmse, ends[k - 1]->values, ends[k - 1]->rmse)) {
            ++minima;
        }
        if (same(*ends[k], ends[k]->rmse, r.values, r.rmse)) ++reached;
    }
    if (minima > 1) {
        std::string text = "The " + std::to_string(r.start_ends.size()) + " starts ended in " +
                           std::to_string(minima) + " different minima (RMSE " +
                           number_words(ends.front()->rmse) + " to " +
                           number_words(ends.back()->rmse) + " MPa); the best is reported";
        if (reached == 0) {
            text +=
                ", which no start reached before the polish: more starts may find a better "
                "one.";
        } else if (reached == 1) {
            text += ", reached by one start alone: more starts may find a better one.";
        } else {
            text += ", reached by " + std::to_string(reached) + " of them.";
        }
        warnings.push_back(text);
    }
    return warnings;
}

FitResult fit_law(const FitProblem& problem, const FitSettings& settings, const FitHooks& hooks) {
    if (const auto error = check_fit_problem(problem)) throw FitSetupError(*error);
    if (const auto error = check_fit_settings(settings)) throw FitSetupError(*error);
    Search search(problem, settings, hooks);
    search.started = Clock::now();
    const std::size_t n = problem.values.size();
    for (const FitValue& v : problem.values) {
        SearchScale scale{v.low, v.high, v.low > 0, std::nullopt, -1};
        if (v.start) {
            scale.start_place = scale.place(*v.start);
            scale.start = v.start;
        }
        search.scales.push_back(scale);
    }
    search.inputs = problem.inputs;
    for (const FitValue& v : problem.values) {
        // A fitted member given under its other name is the fitted one.
        search.inputs.erase(other_name(v.member));
    }
    search.order.resize(problem.openings.size());
    std::iota(search.order.begin(), search.order.end(), 0);
    std::stable_sort(search.order.begin(), search.order.end(), [&](std::size_t a, std::size_t b) {
        return problem.openings[a] < problem.openings[b];
    });
    std::vector<double> sorted;
    for (const std::size_t i : search.order) sorted.push_back(problem.openings[i]);
    search.sorted_openings = std::move(sorted);
    double squares = 0;
    for (const double y : problem.stresses) squares += y * y;
    // Worse than the law of no stress by far, and finite: the measured
    // stresses lie within measured_value_limit.
    search.penalty = 100 * (squares + 1);
    search.max_evaluations = settings.max_evaluations.value_or(
        default_max_evaluations(n, settings.starts + settings.extra_starts));

    // Screening: the first start, then the best of a Latin hypercube of
    // points spread over the ranges, start local searches to a coarse
    // tolerance; the best point found is then polished to the fine one.
    const auto starts = static_cast<std::size_t>(settings.starts);
    const std::size_t screened = std::max<std::size_t>(4 * starts, 8);
    std::vector<std::vector<double>> candidates =
        start_points(search.scales, problem, screened, settings.seed);
    std::vector<std::vector<double>> chosen = {candidates[0]};
    // The screening points, best first.
    std::vector<std::pair<double, std::size_t>> ranked;
    if (starts > 1) {
        for (std::size_t p = 1; p < candidates.size() && !search.must_stop(); ++p) {
            ranked.emplace_back(search.evaluate(candidates[p].data()), p);
        }
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t r = 0; r < ranked.size() && chosen.size() < starts; ++r) {
            chosen.push_back(candidates[ranked[r].second]);
        }
    }
    std::vector<bool> used(ranked.size(), false);  // the ranked points started from
    for (std::size_t r = 0; r + 1 < chosen.size(); ++r) used[r] = true;
    const double coarse = std::max(settings.x_tolerance, 1e-4);
    const auto points = static_cast<double>(problem.stresses.size());
    for (std::size_t next = 0;; ++next) {
        if (next >= chosen.size()) {
            // More starts while fewer than two ends lie at the best minimum.
            const std::size_t extra = next - std::min(next, starts);
            const bool unused = std::find(used.begin(), used.end(), false) != used.end();
            if (starts < 2 || extra >= static_cast<std::size_t>(settings.extra_starts) || !unused ||
                !search.result.found) {
                break;
            }
            const double best_rmse = std::sqrt(search.best_f / points);
            const auto at_best = std::count_if(
                search.result.start_ends.begin(), search.result.start_ends.end(),
                [&](const FitStartEnd& e) {
                    return same_minimum(problem, e.values, e.rmse, search.best_values, best_rmse);
                });
            if (at_best >= 2) break;
            // The best screening point away from every start and every end
            // so far (by 0.15 of each range), else the farthest: the next
            // best points tend to lie in the basins already searched.
            std::vector<std::vector<double>> taken = chosen;
            for (const FitStartEnd& e : search.result.start_ends) {
                if (e.values.size() != n) continue;
                std::vector<double> place(n);
                for (std::size_t d = 0; d < n; ++d) place[d] = search.scales[d].place(e.values[d]);
                taken.push_back(place);
            }
            std::size_t pick = ranked.size();
            double farthest = -1;
            for (std::size_t r = 0; r < ranked.size(); ++r) {
                if (used[r]) continue;
                const std::vector<double>& point = candidates[ranked[r].second];
                double nearest = std::numeric_limits<double>::infinity();
                for (const std::vector<double>& t : taken) {
                    double distance = 0;
                    for (std::size_t d = 0; d < n; ++d) {
                        distance = std::max(distance, std::abs(point[d] - t[d]));
                    }
                    nearest = std::min(nearest, distance);
                }
                if (nearest > farthest) {
                    farthest = nearest;
                    pick = r;
                }
                if (nearest >= 0.15) break;
            }
            used[pick] = true;
            chosen.push_back(candidates[ranked[pick].second]);
        }
        std::vector<double> x = chosen[next];
        // The first local search is begun even after a limit, for its first
        // evaluation.
        if (search.first_evaluated ? search.must_stop() : search.interrupted()) break;
        search.start_end = FitStartEnd{};
        search.start_best_f = std::numeric_limits<double>::infinity();
        local_search(search, x, coarse, std::max(settings.f_tolerance, 1e-8));
        FitStartEnd end = std::move(*search.start_end);
        search.start_end.reset();
        end.rmse = std::sqrt(search.start_best_f / points);
        search.result.start_ends.push_back(std::move(end));
    }
    if (search.result.found && !search.must_stop()) {
        std::vector<double> x = search.best_place;
        local_search(search, x, settings.x_tolerance, settings.f_tolerance);
    }

    FitResult result = std::move(search.result);
    result.stop = search.stopped.value_or(FitStop::converged);
    result.seconds = search.seconds();
    if (!result.found) {
        result.statistics.not_computed = "no law was computed";
        return result;
    }
    result.values = search.best_values;
    result.fitted_stresses = search.best_stresses;
    result.sum_of_squares = search.best_f;
    result.rmse = std::sqrt(search.best_f / points);
    const double mean =
        std::accumulate(problem.stresses.begin(), problem.stresses.end(), 0.0) / points;
    double about_mean = 0;
    for (const double y : problem.stresses) about_mean += (y - mean) * (y - mean);
    // Equal stresses are told apart from the sum, which the rounding of
    // their mean can leave just above 0 (twelve times 0.1).
    const bool all_equal = std::all_of(problem.stresses.begin(), problem.stresses.end(),
                                       [&](double y) { return y == problem.stresses.front(); });
    if (!all_equal && about_mean > 0) result.r2 = 1 - search.best_f / about_mean;
    for (std::size_t d = 0; d < n; ++d) {
        const FitValue& v = problem.values[d];
        result.texts.push_back(shortest_field_text(v.member, result.values[d]));
        const double u = search.scales[d].place(result.values[d]);
        result.at_bound.push_back(u <= 1e-6 || u >= 1 - 1e-6);
    }
    std::vector<double> residuals(problem.stresses.size());
    for (std::size_t i = 0; i < residuals.size(); ++i) {
        residuals[i] = result.fitted_stresses[i] - problem.stresses[i];
    }
    result.local_scatter = local_scatter(problem.openings, residuals);
    if (result.stop == FitStop::interrupted) {
        result.statistics.not_computed = "interrupted";
    } else {
        result.statistics = statistics_at_optimum(search);
        if (!result.statistics.computed && result.statistics.not_computed == "interrupted") {
            result.stop = FitStop::interrupted;
        }
    }
    result.warnings = fit_warnings(problem, result);
    result.seconds = search.seconds();
    return result;
}

}  // namespace quarnel
