// The warnings of a fit, each triggered by a constructed result: a clean fit
// of 40 points whose residuals alternate in sign, changed one way per case.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "study/fit.h"

namespace quarnel {
namespace {

struct Fixture {
    FitProblem problem;
    FitResult result;
};

// Residuals (fitted - measured) by point, with the figures that follow.
void set_residuals(Fixture& f, const std::function<double(std::size_t)>& residual) {
    const std::size_t n = f.problem.stresses.size();
    f.result.fitted_stresses.assign(n, 0);
    std::vector<double> residuals(n);
    double ss = 0;
    for (std::size_t i = 0; i < n; ++i) {
        residuals[i] = residual(i);
        f.result.fitted_stresses[i] = f.problem.stresses[i] + residuals[i];
        ss += residuals[i] * residuals[i];
    }
    f.result.sum_of_squares = ss;
    f.result.rmse = std::sqrt(ss / static_cast<double>(n));
    f.result.local_scatter = local_scatter(f.problem.openings, residuals);
}

// 40 points at 0.1 to 4 mm, listed from the last (the order of a file need
// not be the openings'); three values, none at a bound; residuals of +/-0.01
// alternating in opening order; four starts at the best.
Fixture clean_fit() {
    Fixture f;
    f.problem.values = {{"Pmax", "Pmax", 0.2, 5, {}},
                        {"delta_max", "delta_max", 0.01, 1, {}},
                        {"fp0", "fp0", 0, 1.5, {}}};
    for (int i = 39; i >= 0; --i) {
        const double w = 0.1 * (i + 1);
        f.problem.openings.push_back(w);
        f.problem.stresses.push_back(2 * w * std::exp(-w));
    }
    f.result.found = true;
    f.result.values = {2, 0.3, 0.5};
    f.result.at_bound = {false, false, false};
    set_residuals(f, [](std::size_t i) { return i % 2 == 0 ? 0.01 : -0.01; });
    FitStatistics& s = f.result.statistics;
    s.computed = true;
    s.correlations.assign(3, std::vector<std::optional<double>>(3, 0.3));
    for (std::size_t d = 0; d < 3; ++d) s.correlations[d][d] = 1.0;
    for (int k = 0; k < 4; ++k) f.result.start_ends.push_back({{2, 0.3, 0.5}, f.result.rmse, 40});
    return f;
}

// Residuals of +/-0.01 alternating, but of one sign at `count` successive
// points from the point of index `first` in opening order, and of the other
// at the points beside them.
void run_of(Fixture& f, std::size_t first, std::size_t count, double sign) {
    // The points are listed from the last opening: index i is the
    // (39 - i)-th in opening order.
    set_residuals(f, [=](std::size_t i) {
        const std::size_t k = 39 - i;
        if (k >= first && k < first + count) return sign * 0.01;
        if (k + 1 == first || k == first + count) return -sign * 0.01;
        return k % 2 == 0 ? 0.01 : -0.01;
    });
}

void correlate(Fixture& f, double rho) {
    f.result.statistics.correlations[0][2] = rho;
    f.result.statistics.correlations[2][0] = rho;
}

// Start ends with RMSEs of these shares of the fit's, each at values of
// Pmax in the same share.
void start_rmses(Fixture& f, const std::vector<double>& shares) {
    f.result.start_ends.clear();
    for (const double share : shares) {
        f.result.start_ends.push_back({{2 * share, 0.3, 0.5}, f.result.rmse * share, 30});
    }
}

struct WarningCase {
    const char* name;
    std::function<void(Fixture&)> change;
    std::vector<std::string> expected;  // one part of each warning, in order
};

void PrintTo(const WarningCase& c, std::ostream* out) {
    *out << c.name;
}

class FitWarnings : public ::testing::TestWithParam<WarningCase> {};

TEST_P(FitWarnings, say_what_the_fit_cannot_tell) {
    const WarningCase& c = GetParam();
    Fixture f = clean_fit();
    c.change(f);
    const std::vector<std::string> warnings = fit_warnings(f.problem, f.result);
    ASSERT_EQ(warnings.size(), c.expected.size()) << ::testing::PrintToString(warnings);
    for (std::size_t w = 0; w < warnings.size(); ++w) {
        EXPECT_NE(warnings[w].find(c.expected[w]), std::string::npos)
            << warnings[w] << "\nshould hold: " << c.expected[w];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitWarnings,
    ::testing::Values(
        WarningCase{"clean", [](Fixture&) {}, {}},
        WarningCase{"correlated",
                    [](Fixture& f) { correlate(f, 0.97); },
                    {"Pmax and fp0 correlate at +0.970: the curve cannot tell them apart"}},
        WarningCase{"anticorrelated",
                    [](Fixture& f) { correlate(f, -0.951); },
                    {"Pmax and fp0 correlate at -0.951"}},
        WarningCase{"correlated_at_the_limit", [](Fixture& f) { correlate(f, -0.95); }, {}},
        WarningCase{"undetermined_pair",
                    [](Fixture& f) {
                        f.result.statistics.undetermined = {{0, 1}};
                        f.result.statistics.correlations[0][1].reset();
                    },
                    {"The curve cannot tell Pmax and delta_max apart: only a combination"}},
        WarningCase{"undetermined_alone",
                    [](Fixture& f) { f.result.statistics.undetermined = {{2}}; },
                    {"The measured stresses do not depend on fp0 near the fit"}},
        WarningCase{"at_the_lower_bound",
                    [](Fixture& f) {
                        f.result.values[1] = 0.01;
                        f.result.at_bound[1] = true;
                    },
                    {"delta_max ends at its lower bound 0.01: the best fit may lie beyond it"}},
        WarningCase{"at_the_upper_bound",
                    [](Fixture& f) {
                        f.result.values[0] = 5;
                        f.result.at_bound[0] = true;
                    },
                    {"Pmax ends at its upper bound 5"}},
        // A smooth misfit: far above the local scatter, and of one sign from
        // 0.1 to 1.8 mm (18 points) and then from 1.9 to 3.7 mm (19 points).
        WarningCase{"misfit",
                    [](Fixture& f) {
                        set_residuals(f, [&](std::size_t i) {
                            return 0.05 * std::sin(f.problem.openings[i] / 0.6);
                        });
                    },
                    {"times the local scatter of the residuals",
                     "lies above the measured stresses at all 18 successive points from 0.1 "
                     "to 1.8 mm",
                     "lies below the measured stresses at all 19 successive points from 1.9 "
                     "to 3.7 mm"}},
        // ceil(log2(100 * 40)) = 12 points of one sign, and 11, which noise
        // shows too often.
        WarningCase{"a_run_of_12_above",
                    [](Fixture& f) { run_of(f, 10, 12, 1); },
                    {"lies above the measured stresses at all 12 successive points from 1.1 to "
                     "2.2 mm: a systematic misfit there"}},
        WarningCase{"a_run_of_13_below",
                    [](Fixture& f) { run_of(f, 26, 13, -1); },
                    {"lies below the measured stresses at all 13 successive points from 2.7 to "
                     "3.9 mm"}},
        WarningCase{"a_run_of_11", [](Fixture& f) { run_of(f, 3, 11, -1); }, {}},
        // Residuals in runs of five, alternating: the RMSE is 1.58 times the
        // local scatter, and no run is long.
        WarningCase{"runs_of_five",
                    [](Fixture& f) {
                        set_residuals(f,
                                      [](std::size_t i) { return i / 5 % 2 == 0 ? 0.01 : -0.01; });
                    },
                    {}},
        // A misfit of 1e-7 of the stresses is rounding, not a misfit.
        WarningCase{"exact_to_rounding",
                    [](Fixture& f) {
                        set_residuals(f, [&](std::size_t i) {
                            return 1e-8 * std::sin(f.problem.openings[i] / 0.6);
                        });
                    },
                    {}},
        WarningCase{"too_few_points_to_judge",
                    [](Fixture& f) {
                        f.problem.openings.resize(9);
                        f.problem.stresses.resize(9);
                        set_residuals(f, [](std::size_t) { return 0.01; });
                    },
                    {}},
        WarningCase{"starts_in_two_minima",
                    [](Fixture& f) {
                        start_rmses(f, {1, 2.5, 1.0005, 1});
                    },
                    {"The 4 starts ended in 2 different minima (RMSE 0.01 to 0.025 MPa); the "
                     "best is reported, reached by 3 of them."}},
        WarningCase{"the_best_reached_once",
                    [](Fixture& f) {
                        start_rmses(f, {3, 1, 2});
                    },
                    {"The 3 starts ended in 3 different minima (RMSE 0.01 to 0.03 MPa); the best "
                     "is reported, reached by one start alone: more starts may find a better "
                     "one."}},
        WarningCase{"the_best_found_by_the_polish_alone",
                    [](Fixture& f) {
                        start_rmses(f, {1.5, 2});
                    },
                    {"which no start reached before the polish: more starts may find a better "
                     "one."}},
        WarningCase{"one_minimum_within_rounding",
                    [](Fixture& f) {
                        start_rmses(f, {1, 1.0009, 1.0001});
                    },
                    {}},
        // Ends at very different RMSEs (of a curve without noise, say) but at
        // the same values, within 1e-3 of the ranges.
        WarningCase{"one_minimum_at_the_same_values",
                    [](Fixture& f) {
                        start_rmses(f, {1, 1});
                        f.result.start_ends[1].rmse *= 50;
                        f.result.start_ends[1].values = {2.005, 0.3006, 0.5014};
                    },
                    {}},
        WarningCase{"values_apart_by_more_than_a_thousandth_of_a_range",
                    [](Fixture& f) {
                        start_rmses(f, {1, 1});
                        f.result.start_ends[1].rmse *= 50;
                        f.result.start_ends[1].values = {2, 0.3, 0.5016};
                    },
                    {"2 different minima"}},
        WarningCase{"all_at_once",
                    [](Fixture& f) {
                        f.result.statistics.undetermined = {{1}};
                        correlate(f, 0.99);
                        f.result.at_bound[0] = true;
                        run_of(f, 0, 12, 1);
                        start_rmses(f, {1, 2});
                    },
                    {"do not depend on delta_max", "Pmax and fp0 correlate at +0.990",
                     "Pmax ends at its lower bound", "at all 12 successive points from 0.1",
                     "2 different minima"}}),
    [](const ::testing::TestParamInfo<WarningCase>& info) { return info.param.name; });

TEST(FitWarningsNone, a_fit_without_a_result_has_none) {
    Fixture f = clean_fit();
    f.result.found = false;
    correlate(f, 1);
    EXPECT_TRUE(fit_warnings(f.problem, f.result).empty());
}

TEST(LocalScatter, is_the_scatter_of_successive_residuals_in_opening_order) {
    // In opening order the residuals are 1, 2, 4: steps 1 and 2.
    EXPECT_DOUBLE_EQ(*local_scatter({0.3, 0.1, 0.2}, {4, 1, 2}), std::sqrt(5.0 / 4));
    // Equal openings keep their given order.
    EXPECT_DOUBLE_EQ(*local_scatter({0.1, 0.1, 0.0}, {1, 3, 0}), std::sqrt((1 + 4) / 4.0));
    EXPECT_FALSE(local_scatter({0.1}, {1}));
    EXPECT_FALSE(local_scatter({0.1, 0.2}, {1}));
}

}  // namespace
}  // namespace quarnel
