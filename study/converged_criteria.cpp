#include "converged_criteria.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include "engine/crack_openings.h"
#include "engine/input_table.h"
#include "engine/pullout_law.h"

namespace quarnel {

namespace {

// 1 MPa mm = 1 N/mm = 1000 J/m2.
constexpr double joules_per_square_metre_per_MPa_mm = 1000;

// The survey: equal steps to Wcr_mid and on to survey_span Wcr_mid, where the
// peak of most laws lies, then steps growing to the end.
constexpr int survey_rise = 5;
constexpr int survey_peak = 12;
constexpr int survey_tail = 14;
constexpr double survey_span = 3;

// Around the peak: after the survey, the candidates near the vertex of the
// parabola through the peak and its neighbours (which finds a smooth top to
// a small part of the survey's spacing) and near the peak itself; later, the
// candidates nearest the peak. Each neighbouring interval is also divided.
constexpr std::size_t survey_peak_candidates = 16;
constexpr std::size_t later_peak_candidates = 8;
// Where fibers rupture, the top of a law is a saw of drops whose teeth lie
// close together and differ by more than the bumps of a smooth top: more of
// them are taken.
constexpr std::size_t saw_peak_candidates = 32;
constexpr double vertex_margin = 0.05;  // of the survey's spacing at the peak
constexpr int peak_divisions = 3;

// An interval is divided when its uncertainty is above integral_share times
// its share of the tolerance; into more parts the more it is above (the
// uncertainty falls as the square of the width where the law bends).
constexpr double integral_share = 2;
constexpr int most_divisions = 8;

struct Evaluation {
    std::size_t peak = 0;
    double J_b_prime = 0;  // MPa mm until scaled
    double G_b = 0;
    std::vector<double> uncertainty;  // per interval, MPa mm
};

double smaller_same_sign(double a, double b) {
    if (a > 0 && b > 0) return std::min(a, b);
    if (a < 0 && b < 0) return std::max(a, b);
    return 0;
}

Evaluation evaluate(const std::vector<StepValues>& s) {
    Evaluation e;
    const std::size_t n = s.size();
    double P_top = -999999;  // where the law's running peak starts
    for (std::size_t i = 0; i < n; ++i) {
        if (s[i].P >= P_top) {
            P_top = s[i].P;
            e.peak = i;
        }
    }
    // The second divided difference at an inner opening.
    const auto bend = [&](std::size_t i) {
        const double h0 = s[i].Wcr - s[i - 1].Wcr;
        const double h1 = s[i + 1].Wcr - s[i].Wcr;
        return 2 * ((s[i + 1].sigma - s[i].sigma) / h1 - (s[i].sigma - s[i - 1].sigma) / h0) /
               (h0 + h1);
    };
    double integral = s[0].Wcr != 0 ? s[0].sigma * s[0].Wcr / 2 : 0;
    double integral_at_peak = integral;
    e.uncertainty.assign(n > 0 ? n - 1 : 0, 0);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const double h = s[i + 1].Wcr - s[i].Wcr;
        const double cube = h * h * h / 12;
        // The trapezoid's error as the bend on either side makes it.
        const bool left = i > 0;
        const bool right = i + 2 < n;
        const double from_left = left ? -cube * bend(i) : 0;
        const double from_right = right ? -cube * bend(i + 1) : 0;
        double correction = 0;
        if (left && right) {
            correction = smaller_same_sign(from_left, from_right);
            e.uncertainty[i] = std::abs(from_left - from_right) / 2;
        } else if (left || right) {
            e.uncertainty[i] = std::abs(from_left + from_right);
        } else {
            e.uncertainty[i] = std::abs(s[i + 1].sigma - s[i].sigma) * h / 2;
        }
        integral += (s[i].sigma + s[i + 1].sigma) * h / 2 + correction;
        if (i + 1 == e.peak) integral_at_peak = integral;
    }
    const StepValues& peak = s[e.peak];
    e.J_b_prime = peak.sigma * peak.Wcr - integral_at_peak;
    e.G_b = integral;
    return e;
}

LawCriteria criteria_from(const std::vector<StepValues>& s, const Evaluation& e) {
    LawCriteria c;
    const StepValues& peak = s[e.peak];
    c.sigma_max = peak.sigma;
    c.P_max = peak.P;
    c.Wcr_peak = peak.Wcr;
    c.ratio_initial = s.front().effective_fiber_ratio;
    c.ratio_at_peak = peak.effective_fiber_ratio;
    c.J_b_prime = e.J_b_prime * joules_per_square_metre_per_MPa_mm;
    c.G_b = e.G_b * joules_per_square_metre_per_MPa_mm;
    c.source = CriteriaSource::converged;
    c.openings = static_cast<long>(s.size());
    return c;
}

double relative_change(double a, double b) {
    if (a == b) return 0;
    const double change = std::abs(a - b) / std::max(std::abs(a), std::abs(b));
    return std::isnan(change) ? std::numeric_limits<double>::infinity() : change;
}

double largest_change(const LawCriteria& a, const LawCriteria& b) {
    return std::max({relative_change(a.sigma_max, b.sigma_max),
                     relative_change(a.Wcr_peak, b.Wcr_peak),
                     relative_change(a.J_b_prime, b.J_b_prime), relative_change(a.G_b, b.G_b)});
}

// Openings around the peak at s[p].
std::vector<double> peak_openings(const std::vector<StepValues>& s, std::size_t p,
                                  bool after_survey, double tolerance, const LawOutline& outline) {
    std::vector<double> add;
    const std::size_t n = s.size();
    const double x1 = s[p].Wcr;
    const double x0 = p > 0 ? s[p - 1].Wcr : x1;
    const double x2 = p + 1 < n ? s[p + 1].Wcr : x1;
    for (int k = 1; k < peak_divisions; ++k) {
        if (x1 > x0) add.push_back(x0 + (x1 - x0) * k / peak_divisions);
        if (x2 > x1) add.push_back(x1 + (x2 - x1) * k / peak_divisions);
    }
    if (!outline.peak_candidates || !(x2 > x0)) return add;
    if (after_survey) {
        double vertex = x1;
        if (p > 0 && p + 1 < n) {
            const double d0 = (s[p].sigma - s[p - 1].sigma) / (x1 - x0);
            const double d1 = (s[p + 1].sigma - s[p].sigma) / (x2 - x1);
            const double curvature = (d1 - d0) / (x2 - x0);
            if (curvature < 0) {
                const double slope_at_x1 = (d0 * (x2 - x1) + d1 * (x1 - x0)) / (x2 - x0);
                vertex = std::clamp(x1 - slope_at_x1 / (2 * curvature), x0, x2);
            }
        }
        const double margin = vertex_margin * std::max(x1 - x0, x2 - x1);
        const double low = std::max(x0, std::min(vertex, x1) - margin);
        const double high = std::min(x2, std::max(vertex, x1) + margin);
        const std::vector<double> candidates = outline.peak_candidates(low, high);
        // Spaced by the tolerance on the peak's opening, or wider where that
        // would take more than survey_peak_candidates.
        double spacing = std::max(tolerance * x1, (high - low) * 1e-6);
        std::vector<double> taken;
        for (int attempt = 0; attempt < 64; ++attempt) {
            taken.clear();
            double last = -std::numeric_limits<double>::infinity();
            for (const double c : candidates) {
                if (c - last >= spacing) {
                    taken.push_back(c);
                    last = c;
                }
            }
            if (taken.size() <= survey_peak_candidates) break;
            spacing *= 1.25;
        }
        add.insert(add.end(), taken.begin(), taken.end());
        return add;
    }
    std::vector<double> candidates = outline.peak_candidates(x0, x2);
    std::erase_if(candidates, [&](double c) { return !(c > x0 && c < x2); });
    // The nearest to the peak.
    const std::size_t later =
        outline.rupture_windows.empty() ? later_peak_candidates : saw_peak_candidates;
    const auto nearest = std::lower_bound(candidates.begin(), candidates.end(), x1);
    auto a = nearest;
    auto b = nearest;
    for (std::size_t k = 0; k < later && (a != candidates.begin() || b != candidates.end()); ++k) {
        if (b == candidates.end() || (a != candidates.begin() && x1 - *(a - 1) < *b - x1)) {
            --a;
        } else {
            ++b;
        }
    }
    add.insert(add.end(), a, b);
    return add;
}

// Divisions of the intervals whose integral is uncertain beyond their share
// of the tolerance, the most uncertain first.
std::vector<std::vector<double>> integral_openings(const std::vector<StepValues>& s,
                                                   const Evaluation& e, double tolerance) {
    const std::size_t intervals = e.uncertainty.size();
    std::vector<std::vector<double>> divisions;
    if (intervals == 0) return divisions;
    const double G_share = integral_share * tolerance * std::abs(e.G_b) / intervals;
    const double J_share =
        e.peak > 0 ? integral_share * tolerance * std::abs(e.J_b_prime) / e.peak : 0;
    std::vector<std::pair<double, std::size_t>> beyond;
    for (std::size_t i = 0; i < intervals; ++i) {
        double share = G_share;
        if (i < e.peak && J_share > 0) share = std::min(share, J_share);
        if (e.uncertainty[i] > share) {
            beyond.emplace_back(
                share > 0 ? e.uncertainty[i] / share : std::numeric_limits<double>::infinity(), i);
        }
    }
    std::stable_sort(beyond.begin(), beyond.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [ratio, i] : beyond) {
        const int parts =
            std::isfinite(ratio)
                ? std::clamp(static_cast<int>(std::ceil(std::sqrt(ratio))), 2, most_divisions)
                : most_divisions;
        std::vector<double> division;
        const double a = s[i].Wcr;
        const double b = s[i + 1].Wcr;
        for (int k = 1; k < parts; ++k) division.push_back(a + (b - a) * k / parts);
        divisions.push_back(std::move(division));
    }
    return divisions;
}

void sort_distinct(std::vector<double>& openings) {
    std::sort(openings.begin(), openings.end());
    openings.erase(std::unique(openings.begin(), openings.end()), openings.end());
}

// An opening in every window that holds none of `openings` (sorted).
std::vector<double> window_openings(const std::vector<RuptureWindow>& windows,
                                    const std::vector<double>& openings) {
    std::vector<double> add;
    double last = -1;
    for (const RuptureWindow& w : windows) {
        // Inside by a little, clear of the rounding at the window's ends.
        const double inset = (w.last - w.first) * 1e-3;
        const double low = w.first + inset;
        const double high = w.last - inset;
        const auto at = std::lower_bound(openings.begin(), openings.end(), low);
        if (at != openings.end() && *at <= high) continue;
        if (last >= low && last <= high) continue;
        // The window's end: the latest opening serves the most windows after it.
        last = high;
        add.push_back(high);
    }
    return add;
}

}  // namespace

std::vector<RuptureWindow> innermost_windows(std::vector<RuptureWindow> windows) {
    std::sort(windows.begin(), windows.end(), [](const RuptureWindow& a, const RuptureWindow& b) {
        return a.last < b.last || (a.last == b.last && a.first > b.first);
    });
    // Sorted so, a window holds an earlier one unless it starts after every
    // earlier start.
    std::vector<RuptureWindow> inner;
    double latest_first = -std::numeric_limits<double>::infinity();
    for (const RuptureWindow& w : windows) {
        if (w.first > latest_first) inner.push_back(w);
        latest_first = std::max(latest_first, w.first);
    }
    return inner;
}

LawOutline law_outline(const CalculationInputs& inputs, const FiberTables& tables) {
    const OrientationGroups& groups = tables.groups;
    std::vector<double> P_rupture(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        P_rupture[g] = rupture_load(inputs, groups.theta_s[g]);
    }
    // Every cell the law evaluates, as it evaluates it.
    const auto for_each_cell = [&tables, P_rupture](const auto& visit) {
        for (std::size_t g = 0; g < tables.groups.size(); ++g) {
            for (int k = tables.first_level[g]; k < centroid_levels; ++k) {
                const std::size_t at = tables.place(k, g);
                const PulloutCell cell{tables.lb[at], tables.P1[at], tables.delta1[at]};
                if (cell.lb > 0) visit(bilinear_cell(cell, P_rupture[g]));
            }
        }
    };
    // The last opening at which the rising load holds, when it ruptures before
    // its corner and before it pulls out; 0 when it never does.
    const auto last_holding = [](const BilinearCell& c) {
        if (!(c.ratio > 0)) return 0.0;
        double w = c.P_rupture / c.ratio;
        if (!(w < std::min(c.delta1, c.lb))) return 0.0;
        while (w > 0 && w * c.ratio > c.P_rupture) w = std::nextafter(w, 0.0);
        return w;
    };
    LawOutline outline;
    outline.peak_candidates = [for_each_cell, last_holding](double low, double high) {
        std::vector<double> found;
        for_each_cell([&](const BilinearCell& c) {
            if (c.delta1 < c.lb && c.delta1 >= low && c.delta1 <= high) found.push_back(c.delta1);
            const double w = last_holding(c);
            if (w > 0 && w >= low && w <= high) found.push_back(w);
        });
        sort_distinct(found);
        return found;
    };
    std::vector<RuptureWindow> windows;
    for_each_cell([&](const BilinearCell& c) {
        const double first = last_holding(c);
        if (!(first > 0)) return;
        // Past the corner the load falls back to the rupture load at
        // delta1 + (P_rupture - P1) / slope, unless the fiber pulls out first.
        double last = c.lb;
        if (c.delta1 < c.lb && c.slope < 0) {
            last = std::min(last, c.delta1 + (c.P_rupture - c.P1) / c.slope);
        }
        if (last > first) windows.push_back({first, last});
    });
    outline.rupture_windows = innermost_windows(std::move(windows));
    return outline;
}

LawOutline mix_outline(const std::vector<LawOutline>& types) {
    LawOutline outline;
    std::vector<RuptureWindow> windows;
    std::vector<std::function<std::vector<double>(double, double)>> candidates;
    for (const LawOutline& type : types) {
        windows.insert(windows.end(), type.rupture_windows.begin(), type.rupture_windows.end());
        if (type.peak_candidates) candidates.push_back(type.peak_candidates);
    }
    outline.rupture_windows = innermost_windows(std::move(windows));
    outline.peak_candidates = [candidates](double low, double high) {
        std::vector<double> found;
        for (const auto& of_type : candidates) {
            const std::vector<double> more = of_type(low, high);
            found.insert(found.end(), more.begin(), more.end());
        }
        sort_distinct(found);
        return found;
    };
    return outline;
}

std::vector<double> survey_openings(double end, double mid) {
    if (!(end > 0) || !std::isfinite(end)) return {0};
    const double a = mid > 0 && mid <= end / survey_span ? mid
                     : mid > 0                           ? end / survey_span
                                                         : end / 8;
    std::vector<double> openings;
    for (int i = 0; i <= survey_rise; ++i) openings.push_back(a * i / survey_rise);
    const double step = (survey_span - 1) * a / survey_peak;
    for (int i = 1; i <= survey_peak; ++i) openings.push_back(a + step * i);
    // Steps step q, step q^2, ... that reach the end in survey_tail steps.
    const double start = survey_span * a;
    const double rest = end - start;
    const auto reach = [&](double q) {
        double sum = 0;
        double h = step;
        for (int k = 0; k < survey_tail; ++k) sum += (h *= q);
        return sum;
    };
    double low = 1e-3;
    double high = 1e3;
    for (int i = 0; i < 200 && rest > 0; ++i) {
        const double q = std::sqrt(low * high);
        (reach(q) < rest ? low : high) = q;
    }
    const double q = std::sqrt(low * high);
    double w = start;
    double h = step;
    for (int k = 1; k < survey_tail; ++k) {
        w += (h *= q);
        if (w < end) openings.push_back(w);
    }
    openings.push_back(end);
    sort_distinct(openings);
    return openings;
}

LawCriteria refine_criteria(double end, double mid, const LawAtOpenings& law_at,
                            const OutlineOfLaw& outline_of, const MatrixProperties& matrix,
                            const CriteriaSettings& settings) {
    const double tolerance = settings.tolerance;
    std::vector<double> openings = survey_openings(end, mid);
    LawOutline outline;
    LawCriteria last;
    std::optional<double> change;
    int laws = 0;
    bool converged = false;
    for (;;) {
        const std::vector<StepValues> steps = law_at(openings);
        ++laws;
        if (steps.size() != openings.size() || steps.empty()) {
            LawCriteria none = law_criteria({});
            none.source = CriteriaSource::converged;
            none.why_none = "the law cannot be computed";
            apply_matrix(none, matrix, settings.psh_margins);
            return none;
        }
        const Evaluation e = evaluate(steps);
        const LawCriteria now = criteria_from(steps, e);
        // The survey's change is not counted: its peak is too coarse to say.
        if (laws > 1) change = largest_change(last, now);
        last = now;
        if (laws > 2 && *change <= tolerance) {
            converged = true;
            break;
        }
        if (laws >= max_criteria_laws || openings.size() >= max_criteria_openings) break;
        if (laws == 1 && outline_of) outline = outline_of();

        std::vector<double> next = openings;
        std::size_t room = max_criteria_openings - openings.size();
        const auto take = [&](const std::vector<double>& more) {
            if (more.size() > room) return false;
            next.insert(next.end(), more.begin(), more.end());
            room -= more.size();
            return true;
        };
        take(peak_openings(steps, e.peak, laws == 1, tolerance, outline));
        for (const std::vector<double>& division : integral_openings(steps, e, tolerance)) {
            if (!take(division)) break;
        }
        sort_distinct(next);
        room = max_criteria_openings - std::min(max_criteria_openings, next.size());
        take(window_openings(outline.rupture_windows, next));
        sort_distinct(next);
        // No refinement wanted, or none fits: the next law would be this one.
        if (next == openings) break;
        openings = std::move(next);
    }
    last.change = change;
    last.laws = laws;
    last.converged = converged;
    apply_matrix(last, matrix, settings.psh_margins);
    return last;
}

namespace {

// The reason a refused law gives no criteria.
LawCriteria refused_criteria(const std::string& why, const MatrixProperties& matrix,
                             const CriteriaSettings& settings) {
    LawCriteria none = law_criteria({});
    none.source = settings.source;
    none.why_none = why;
    apply_matrix(none, matrix, settings.psh_margins);
    return none;
}

}  // namespace

LawCriteria converged_law_criteria(const InputSet& inputs, const MatrixProperties& matrix,
                                   const CriteriaSettings& settings, LawScratch& scratch) {
    const CalculationInputs read = read_calculation_inputs(with_default_texts(inputs));
    const double end = static_cast<float>(static_cast<double>(read.Lf) / 2);
    std::optional<InputRefusal> refusal;
    std::optional<CalculationInputs> computed;
    const LawAtOpenings law_at = [&](const std::vector<double>& openings) {
        if (computed) return bridging_law(*computed, scratch.tables, openings);
        // The first law through the checks, which build or reuse the tables.
        LawRun run = compute_law(inputs, openings, scratch);
        if (run.refused()) {
            refusal = std::move(run.refusal);
            return std::vector<StepValues>{};
        }
        computed = run.inputs;
        return std::move(run.steps);
    };
    const OutlineOfLaw outline = [&] { return law_outline(*computed, scratch.tables); };
    LawCriteria c = refine_criteria(end, mid_opening(read), law_at, outline, matrix, settings);
    if (refusal) {
        return refused_criteria("the inputs are refused: " + refusal_message(*refusal, read.model),
                                matrix, settings);
    }
    return c;
}

LawCriteria converged_mix_criteria(const std::vector<InputSet>& fibers, const InputSet& shared,
                                   const MatrixProperties& matrix, const CriteriaSettings& settings,
                                   MixScratch& scratch) {
    std::vector<CalculationInputs> read;
    for (const InputSet& fiber : fibers) {
        InputSet set = fiber;
        set.insert(shared.begin(), shared.end());
        read.push_back(read_calculation_inputs(with_default_texts(std::move(set))));
    }
    if (read.empty()) throw std::invalid_argument("a mix needs at least one fiber type");
    const CalculationInputs& longest = read[longest_fiber(read)];
    const double end = static_cast<float>(static_cast<double>(longest.Lf) / 2);
    std::optional<MixRefusal> refusal;
    std::vector<CalculationInputs> computed;
    const LawAtOpenings law_at = [&](const std::vector<double>& openings) {
        MixRun mix = compute_mix(fibers, shared, openings, scratch);
        if (mix.refused()) {
            refusal = std::move(mix.refusal);
            return std::vector<StepValues>{};
        }
        if (computed.empty()) {
            for (const LawRun& type : mix.fibers) computed.push_back(type.inputs);
        }
        return std::move(mix.steps);
    };
    const OutlineOfLaw outline = [&] {
        std::vector<LawOutline> types;
        for (std::size_t i = 0; i < computed.size(); ++i) {
            types.push_back(law_outline(computed[i], scratch[i].tables));
        }
        return mix_outline(types);
    };
    LawCriteria c = refine_criteria(end, mid_opening(longest), law_at, outline, matrix, settings);
    if (refusal) {
        const std::string type =
            refusal->fiber == 0 ? "" : "fiber type " + std::to_string(refusal->fiber) + ": ";
        return refused_criteria(
            "the inputs are refused: " + type + refusal_message(refusal->refusal, refusal->model),
            matrix, settings);
    }
    return c;
}

LawCriteria criteria_of_law(const InputSet& inputs, const std::vector<StepValues>& steps,
                            const MatrixProperties& matrix, const CriteriaSettings& settings,
                            LawScratch& scratch) {
    if (settings.source == CriteriaSource::steps) {
        return law_criteria(steps, matrix, settings.psh_margins);
    }
    return converged_law_criteria(inputs, matrix, settings, scratch);
}

LawCriteria criteria_of_mix(const std::vector<InputSet>& fibers, const InputSet& shared,
                            const std::vector<StepValues>& steps, const MatrixProperties& matrix,
                            const CriteriaSettings& settings, MixScratch& scratch) {
    if (settings.source == CriteriaSource::steps) {
        return law_criteria(steps, matrix, settings.psh_margins);
    }
    return converged_mix_criteria(fibers, shared, matrix, settings, scratch);
}

}  // namespace quarnel
