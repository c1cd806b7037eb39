// The statistics of a fit at its optimum: the linear algebra on cases with a
// closed-form answer, the t quantile against published values, and the
// Jacobian of a real fit where the law is linear in the fitted value.

#include "study/fit_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "engine/input_table.h"
#include "fit_curves.h"
#include "study/fit.h"
#include "study/law_run.h"

namespace quarnel {
namespace {

// |actual / expected - 1| within `share`.
void expect_near_share(double actual, double expected, double share) {
    EXPECT_NEAR(actual / expected, 1, share) << actual << " against " << expected;
}

struct QuantileCase {
    long degrees;
    double t;  // 0.975 quantile, to the digits published
};

class StudentQuantile : public ::testing::TestWithParam<QuantileCase> {};

TEST_P(StudentQuantile, matches_the_published_value) {
    const QuantileCase& c = GetParam();
    EXPECT_NEAR(student_t_quantile(0.975, c.degrees), c.t, 1e-11 * c.t);
}

// Small degrees as the tables give them; 20000 and 100001 (the large-degree
// expansion) against the closed-form sum, evaluated apart.
INSTANTIATE_TEST_SUITE_P(
    Table, StudentQuantile,
    ::testing::Values(QuantileCase{1, 12.706204736174698}, QuantileCase{2, 4.302652729749464},
                      QuantileCase{3, 3.182446305284263}, QuantileCase{4, 2.7764451051977987},
                      QuantileCase{5, 2.570581835636314}, QuantileCase{10, 2.2281388519862744},
                      QuantileCase{30, 2.0422724563012373}, QuantileCase{120, 1.979930405082446},
                      QuantileCase{10000, 1.9602012398914161},
                      QuantileCase{20000, 1.9600826051594016},
                      QuantileCase{100001, 1.9599877073031826}));

TEST(StudentQuantileRange, the_median_is_0_and_other_probabilities_follow) {
    EXPECT_NEAR(student_t_quantile(0.5, 7), 0, 1e-12);
    EXPECT_NEAR(student_t_quantile(0.75, 1), 1, 1e-12);  // tan(pi / 4)
    EXPECT_NEAR(student_t_quantile(0.995, 10), 3.169272672616951, 1e-10);
    EXPECT_THROW(student_t_quantile(0.4, 3), std::invalid_argument);
    EXPECT_THROW(student_t_quantile(0.975, 0), std::invalid_argument);
}

TEST(SymmetricEigen, vectors_and_values_satisfy_the_definition) {
    const std::vector<std::vector<double>> a = {
        {4, 1, -2, 0.5}, {1, 3, 0, 1}, {-2, 0, 5, -1}, {0.5, 1, -1, 2}};
    const SymmetricEigen e = symmetric_eigen(a);
    ASSERT_EQ(e.values.size(), 4u);
    EXPECT_TRUE(std::is_sorted(e.values.begin(), e.values.end()));
    EXPECT_NEAR(std::accumulate(e.values.begin(), e.values.end(), 0.0), 14, 1e-12);  // trace
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t i = 0; i < 4; ++i) {
            double av = 0;
            for (std::size_t j = 0; j < 4; ++j) av += a[i][j] * e.vectors[k][j];
            EXPECT_NEAR(av, e.values[k] * e.vectors[k][i], 1e-12) << k << " " << i;
        }
    }
}

// y = a + b x: the textbook standard errors, correlation and intervals.
TEST(LeastSquaresStatistics, straight_line_has_the_textbook_answer) {
    const std::vector<double> x = {0.5, 1, 2, 3, 4.5, 6, 7};
    const std::vector<double> residuals = {0.1, -0.2, 0.05, 0.15, -0.1, 0.02, -0.02};
    std::vector<std::vector<double>> jacobian;
    double ss = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        jacobian.push_back({1, x[i]});
        ss += residuals[i] * residuals[i];
    }
    const auto n = static_cast<double>(x.size());
    const double mean = std::accumulate(x.begin(), x.end(), 0.0) / n;
    double sxx = 0;
    double sum_x2 = 0;
    for (const double xi : x) {
        sxx += (xi - mean) * (xi - mean);
        sum_x2 += xi * xi;
    }
    const double s = std::sqrt(ss / (n - 2));
    const FitStatistics st = least_squares_statistics(jacobian, ss, {1.5, -0.25});
    ASSERT_TRUE(st.computed);
    EXPECT_EQ(st.degrees_of_freedom, 5u);
    EXPECT_NEAR(st.t_95, 2.570581835636314, 1e-11);
    ASSERT_TRUE(st.standard_errors[0] && st.standard_errors[1]);
    expect_near_share(*st.standard_errors[0], s * std::sqrt(1 / n + mean * mean / sxx), 1e-12);
    expect_near_share(*st.standard_errors[1], s / std::sqrt(sxx), 1e-12);
    ASSERT_TRUE(st.correlations[0][1]);
    expect_near_share(*st.correlations[0][1], -mean / std::sqrt(sum_x2 / n), 1e-12);
    EXPECT_EQ(st.correlations[1][0], st.correlations[0][1]);
    EXPECT_EQ(st.correlations[0][0], 1.0);
    ASSERT_TRUE(st.intervals_95[1]);
    EXPECT_NEAR(st.intervals_95[1]->first, -0.25 - st.t_95 * *st.standard_errors[1], 1e-15);
    EXPECT_NEAR(st.intervals_95[1]->second, -0.25 + st.t_95 * *st.standard_errors[1], 1e-15);
    EXPECT_TRUE(st.undetermined.empty());
    // Units do not matter: the same line with x in other units.
    for (auto& row : jacobian) row[1] *= 1e6;
    const FitStatistics scaled = least_squares_statistics(jacobian, ss, {1.5, -0.25e-6});
    expect_near_share(*scaled.standard_errors[1], s / std::sqrt(sxx) * 1e-6, 1e-12);
}

// Two proportional columns and a zero one: the values cannot be told apart
// or do not matter; an independent value keeps its standard error.
TEST(LeastSquaresStatistics, values_that_cannot_be_told_apart_have_no_standard_error) {
    std::vector<std::vector<double>> jacobian;
    for (int i = 0; i < 8; ++i) {
        const double x = 0.3 * i;
        // Columns 0 and 2 proportional (to 1e-9 of themselves), 3 zero.
        jacobian.push_back({x * x, std::cos(i), 2 * x * x * (1 + 1e-9 * (i % 2)), 0});
    }
    const FitStatistics st = least_squares_statistics(jacobian, 0.5, {1, 2, 3, 4});
    ASSERT_TRUE(st.computed);
    EXPECT_EQ(st.undetermined, (std::vector<std::vector<std::size_t>>{{0, 2}, {3}}));
    EXPECT_FALSE(st.standard_errors[0]);
    EXPECT_FALSE(st.standard_errors[2]);
    EXPECT_FALSE(st.standard_errors[3]);
    EXPECT_FALSE(st.intervals_95[0]);
    EXPECT_FALSE(st.correlations[0][2]);
    EXPECT_FALSE(st.correlations[1][0]);
    // Column 1 alone: the one-column answer.
    double sum = 0;
    for (const auto& row : jacobian) sum += row[1] * row[1];
    ASSERT_TRUE(st.standard_errors[1]);
    EXPECT_EQ(st.degrees_of_freedom, 6u);  // rank 2
    double dot = 0;
    double sq0 = 0;
    for (const auto& row : jacobian) {
        dot += row[0] * row[1];
        sq0 += row[0] * row[0];
    }
    // With column 0's direction taken out: 1 / (|c1|^2 - (c0.c1)^2 / |c0|^2).
    expect_near_share(*st.standard_errors[1], std::sqrt(0.5 / 6 / (sum - dot * dot / sq0)), 1e-6);
    EXPECT_EQ(st.correlations[1][1], 1.0);

    // Every column zero: nothing determined, and no crash.
    std::vector<std::vector<double>> zero(5, std::vector<double>(2, 0.0));
    const FitStatistics none = least_squares_statistics(zero, 1, {1, 2});
    EXPECT_EQ(none.undetermined, (std::vector<std::vector<std::size_t>>{{0}, {1}}));
    EXPECT_EQ(none.degrees_of_freedom, 5u);
    EXPECT_THROW(least_squares_statistics(zero, 1, {1, 2, 3, 4, 5}), std::invalid_argument);
}

// The stress is proportional to Vf (a fiber count): fitting Vf is a linear
// least-squares problem whose estimate and standard error have closed forms,
// g the law's stress per unit Vf: Vf = sum g y / sum g^2, SE = s / |g|.
TEST(FitStatistics, a_value_the_law_is_linear_in_has_the_closed_form_standard_error) {
    InputSet made = default_input_texts();
    made["model"] = 1.0;
    made["Vf"] = "0.02";
    const testing::ModelCurve curve = testing::model_curve(made, 14, 10, 0.05, 8);
    FitProblem p;
    p.inputs = made;
    p.values = {{"Vf", "Vf", 0.005, 0.05, {}}};
    p.openings = curve.openings;
    p.stresses = curve.stresses;
    std::vector<double> sorted = p.openings;
    std::sort(sorted.begin(), sorted.end());
    InputSet unit = made;
    unit["Vf"] = 1.0;
    const LawRun law = compute_law(unit, sorted);
    ASSERT_FALSE(law.refused());
    double gy = 0;
    double gg = 0;
    for (std::size_t i = 0; i < p.openings.size(); ++i) {
        const auto at = std::lower_bound(sorted.begin(), sorted.end(), p.openings[i]);
        const double g = law.steps[static_cast<std::size_t>(at - sorted.begin())].sigma;
        gy += g * p.stresses[i];
        gg += g * g;
    }
    const double estimate = gy / gg;
    FitSettings settings;
    settings.starts = 1;
    const FitResult r = fit_law(p, settings);
    ASSERT_TRUE(r.found);
    expect_near_share(r.values[0], estimate, 1e-6);
    const FitStatistics& st = r.statistics;
    ASSERT_TRUE(st.computed) << st.not_computed;
    EXPECT_EQ(st.evaluations, 2);
    EXPECT_EQ(st.degrees_of_freedom, 13u);
    const double s = std::sqrt(r.sum_of_squares / 13);
    ASSERT_TRUE(st.standard_errors[0]);
    // The law rounds through 32-bit values: its differences hold to 1e-4.
    expect_near_share(*st.standard_errors[0], s / std::sqrt(gg), 1e-4);
    ASSERT_TRUE(st.intervals_95[0]);
    const double t = student_t_quantile(0.975, 13);
    expect_near_share(st.intervals_95[0]->first, r.values[0] - t * s / std::sqrt(gg), 1e-5);
    // The truth, 0.02, within the interval of a 5 % noise.
    EXPECT_LT(st.intervals_95[0]->first, 0.02);
    EXPECT_GT(st.intervals_95[0]->second, 0.02);

    // At the upper bound the difference goes the other way, and the
    // Jacobian is the same.
    p.values = {{"Vf", "Vf", 0.005, 0.8 * estimate, {}}};
    const FitResult bound = fit_law(p, settings);
    ASSERT_TRUE(bound.found);
    ASSERT_TRUE(bound.at_bound[0]);
    ASSERT_TRUE(bound.statistics.standard_errors[0]) << bound.statistics.not_computed;
    expect_near_share(*bound.statistics.standard_errors[0],
                      std::sqrt(bound.sum_of_squares / 13) / std::sqrt(gg), 1e-4);
}

}  // namespace
}  // namespace quarnel
