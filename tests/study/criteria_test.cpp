#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "engine/crack_openings.h"
#include "engine/input_table.h"
#include "study/criteria.h"
#include "study/law_run.h"
#include "tests/support/bits.h"
#include "tests/support/steps.h"

namespace quarnel {
namespace {

StepValues step(double Wcr, double sigma, double ratio) {
    StepValues s;
    s.Wcr = Wcr;
    s.P = sigma * 10;
    s.sigma = sigma;
    s.effective_fiber_ratio = ratio;
    return s;
}

using quarnel_test::expect_same_steps;
using quarnel_test::same_bits;

// Worked by hand: sigma 0, 2, 1, 2, 0 at openings 0..4 mm. The peak is reached
// at 1 and again at 3 mm; the later one counts. Trapezoids: 1, 1.5, 1.5, 1.
TEST(LawCriteria, integrals_and_peak_of_a_curve_worked_by_hand) {
    const std::vector<StepValues> steps = {step(0, 0, 0.9), step(1, 2, 0.8), step(2, 1, 0.7),
                                           step(3, 2, 0.6), step(4, 0, 0.5)};
    const LawCriteria c = law_criteria(steps, {3.2, 1000});
    EXPECT_EQ(c.sigma_max, 2);
    EXPECT_EQ(c.P_max, 20);
    EXPECT_EQ(c.Wcr_peak, 3);
    EXPECT_EQ(c.ratio_initial, 0.9);
    EXPECT_EQ(c.ratio_at_peak, 0.6);
    EXPECT_EQ(c.J_b_prime, (2 * 3 - 4) * 1000.0);  // sigma0 delta0 - integral to the peak
    EXPECT_EQ(c.G_b, 5000);
    EXPECT_EQ(*c.psh_strength, 2 / 3.2);
    EXPECT_EQ(*c.psh_energy, 2);
    EXPECT_EQ(*c.strain_hardening, false);  // strength index below 1
    EXPECT_TRUE(*law_criteria(steps, {1.5, 1000}).strain_hardening);
    EXPECT_FALSE(*law_criteria(steps, {1.5, 2000}).strain_hardening);  // energy index exactly 1
}

TEST(LawCriteria, indices_only_for_the_properties_given) {
    const std::vector<StepValues> steps = {step(0, 0, 1), step(1, 2, 1)};
    const LawCriteria none = law_criteria(steps);
    EXPECT_FALSE(none.psh_strength || none.psh_energy || none.strain_hardening);
    const LawCriteria strength = law_criteria(steps, {4.0, std::nullopt});
    EXPECT_EQ(*strength.psh_strength, 0.5);
    EXPECT_FALSE(strength.psh_energy || strength.strain_hardening);
    const LawCriteria energy = law_criteria(steps, {std::nullopt, 500.0});
    EXPECT_EQ(*energy.psh_energy, 2);  // J_b' = (2 1 - 1) 1000
    EXPECT_FALSE(energy.psh_strength || energy.strain_hardening);
}

// The integrals start from (0, 0), where every law starts: a single step at
// 0.5 mm spans one trapezoid.
TEST(LawCriteria, single_step_and_no_step) {
    const LawCriteria one = law_criteria({step(0.5, 3, 0.25)});
    EXPECT_EQ(one.Wcr_peak, 0.5);
    EXPECT_EQ(one.G_b, 3 * 0.5 / 2 * 1000);
    EXPECT_EQ(one.J_b_prime, (3 * 0.5 - 3 * 0.5 / 2) * 1000);
    EXPECT_EQ(one.ratio_initial, 0.25);
    EXPECT_EQ(one.openings, 1);
    EXPECT_TRUE(one.available());
    const LawCriteria none = law_criteria({});
    EXPECT_TRUE(std::isnan(none.sigma_max));
    EXPECT_EQ(none.why_none, "the law has no steps");
}

// Criteria from steps integrate from (0, 0), where every law starts: steps
// that start above 0 give what the same steps after one at 0 give.
TEST(LawCriteria, steps_that_start_above_0_integrate_from_0) {
    const std::vector<double> given = {0.1, 0.2, 0.3, 0.36, 0.5};
    std::vector<double> from_0 = given;
    from_0.insert(from_0.begin(), 0);
    const LawRun run = compute_law(default_input_texts(), given);
    const LawCriteria c = law_criteria(run.steps);
    const LawCriteria c0 = law_criteria(compute_law(default_input_texts(), from_0).steps);
    EXPECT_TRUE(same_bits(c.J_b_prime, c0.J_b_prime));
    EXPECT_TRUE(same_bits(c.G_b, c0.G_b));
    EXPECT_EQ(c.openings, 5);
    EXPECT_EQ(c.source, CriteriaSource::steps);
    EXPECT_FALSE(c.change);
    EXPECT_GT(c.G_b, 0.5 * run.steps[0].sigma * 0.1 * 1000);
}

struct NotIncreasing {
    std::vector<double> openings;
    std::string why;
};

class OpeningsNotIncreasing : public ::testing::TestWithParam<NotIncreasing> {};

// Openings that do not increase give no criteria, rather than negative
// widths, and say where they stop increasing (positions from 0).
TEST_P(OpeningsNotIncreasing, give_no_criteria_and_say_why) {
    std::vector<StepValues> steps;
    for (const double w : GetParam().openings) steps.push_back(step(w, w, 1));
    const LawCriteria c = law_criteria(steps, {1.0, 1.0}, PshMargins{1, 1});
    EXPECT_FALSE(c.available());
    EXPECT_EQ(c.why_none, "the openings do not increase: " + GetParam().why);
    for (const double x : {c.sigma_max, c.P_max, c.Wcr_peak, c.J_b_prime, c.G_b}) {
        EXPECT_TRUE(std::isnan(x));
    }
    EXPECT_FALSE(*c.strain_hardening);
    EXPECT_FALSE(*c.strain_hardening_margin);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpeningsNotIncreasing,
    ::testing::Values(NotIncreasing{{0, 0.2, 0.1},
                                    "opening 2 (0.1 mm) is not above the one before it (0.2 mm)"},
                      NotIncreasing{{0, 0.1, 0.1, 0.3},
                                    "opening 2 (0.1 mm) is not above the one before it (0.1 mm)"},
                      NotIncreasing{{0.5, 0.2, 0.1},
                                    "opening 1 (0.2 mm) is not above the one before it (0.5 mm)"}));

struct MarginCase {
    std::optional<PshMargins> margins;
    MatrixProperties matrix;
    std::optional<bool> verdict;
};

class MarginVerdict : public ::testing::TestWithParam<MarginCase> {};

// On the curve worked by hand, psh_strength = 2 / 1.5 and psh_energy = 2:
// the margin verdict asks each index to reach its margin, equal counting,
// and is given only with margins and both properties.
TEST_P(MarginVerdict, asks_both_indices_to_reach_their_margins) {
    const std::vector<StepValues> steps = {step(0, 0, 0.9), step(1, 2, 0.8), step(2, 1, 0.7),
                                           step(3, 2, 0.6), step(4, 0, 0.5)};
    const LawCriteria c = law_criteria(steps, GetParam().matrix, GetParam().margins);
    EXPECT_EQ(c.strain_hardening_margin, GetParam().verdict);
    if (GetParam().matrix.sigma_fc && GetParam().matrix.J_tip) {
        EXPECT_TRUE(*c.strain_hardening);
    }
}

INSTANTIATE_TEST_SUITE_P(
    HandCurve, MarginVerdict,
    ::testing::Values(MarginCase{PshMargins{1.3, 2.0}, {1.5, 1000.0}, true},
                      MarginCase{PshMargins{1.3, 2.7}, {1.5, 1000.0}, false},
                      MarginCase{PshMargins{1.4, 1.0}, {1.5, 1000.0}, false},
                      MarginCase{PshMargins{2 / 1.5, 2.0}, {1.5, 1000.0}, true},
                      MarginCase{std::nullopt, {1.5, 1000.0}, std::nullopt},
                      MarginCase{PshMargins{1.3, 2.0}, {1.5, std::nullopt}, std::nullopt}));

// Beyond half the fiber length every fiber is pulled out: every P is 0, the
// peak is reached at every step and the last one holds it.
TEST(LawCriteria, a_law_past_pull_out_peaks_at_its_last_step) {
    const InputSet texts = default_input_texts();
    const LawRun run = compute_law(texts, std::vector<double>{16, 18, 20});
    ASSERT_FALSE(run.refused()) << run.refusal->message;
    ASSERT_EQ(run.steps.size(), 3u);
    for (const StepValues& s : run.steps) ASSERT_EQ(s.P, 0);
    const LawCriteria c = law_criteria(run.steps);
    EXPECT_EQ(c.Wcr_peak, 20);
    EXPECT_EQ(c.J_b_prime, 0);
    EXPECT_EQ(c.G_b, 0);
}

// Division 2 of the defaults: the peak and the integrals from the five rows.
TEST(LawCriteria, of_a_computed_law_agree_with_its_peak_and_its_rows) {
    InputSet texts = default_input_texts();
    texts["division"] = "2";
    const LawRun run = compute_law(texts, std::nullopt);
    ASSERT_EQ(run.steps.size(), 5u);
    const LawCriteria c = law_criteria(run.steps);
    const StepValues& last = run.steps.back();
    EXPECT_TRUE(same_bits(c.sigma_max, last.sigma_top));
    EXPECT_TRUE(same_bits(c.P_max, last.P_top));
    std::size_t peak = 0;
    for (std::size_t n = 0; n < run.steps.size(); ++n) {
        if (run.steps[n].P == last.P_top) peak = n;
    }
    EXPECT_EQ(c.Wcr_peak, run.steps[peak].Wcr);
    EXPECT_EQ(c.ratio_at_peak, run.steps[peak].effective_fiber_ratio);
    double to_peak = 0;
    double all = 0;
    for (std::size_t n = 1; n < run.steps.size(); ++n) {
        const double area = (run.steps[n - 1].sigma + run.steps[n].sigma) *
                            (run.steps[n].Wcr - run.steps[n - 1].Wcr) / 2;
        all += area;
        if (n <= peak) to_peak += area;
    }
    EXPECT_EQ(c.G_b, all * 1000);
    EXPECT_EQ(c.J_b_prime, (c.sigma_max * c.Wcr_peak - to_peak) * 1000);
    EXPECT_GT(c.G_b, 0);
}

TEST(ComputeLaw, equals_the_law_at_the_division_openings_and_refuses_as_the_run_does) {
    InputSet texts = default_input_texts();
    const LawRun run = compute_law(texts, std::nullopt);
    ASSERT_FALSE(run.refused());
    FiberTables tables;
    SilentProgress silent;
    build_fiber_tables(run.inputs, tables, silent);
    const auto direct = bridging_law(run.inputs, tables, division_openings(run.inputs));
    ASSERT_EQ(run.steps.size(), direct.size());
    for (std::size_t n = 0; n < direct.size(); ++n) {
        EXPECT_TRUE(same_bits(run.steps[n].P, direct[n].P)) << n;
        EXPECT_TRUE(same_bits(run.steps[n].effective_fiber_ratio, direct[n].effective_fiber_ratio))
            << n;
    }

    const LawRun at = compute_law(texts, std::vector<double>{0.1, 0.2});
    ASSERT_EQ(at.steps.size(), 2u);
    EXPECT_EQ(at.steps[1].Wcr, 0.2);

    const LawRun bad_opening = compute_law(texts, std::vector<double>{0.1, -1});
    ASSERT_TRUE(bad_opening.refused());
    EXPECT_NE(bad_opening.refusal->message.find("Opening 1"), std::string::npos);
    EXPECT_TRUE(bad_opening.steps.empty());

    texts["Am"] = "0";
    const LawRun bad = compute_law(texts, std::nullopt);
    ASSERT_TRUE(bad.refused());
    EXPECT_EQ(bad.refusal->member, "Am");

    texts = default_input_texts();
    texts["delta_max"] = "1e-320";  // a displacement at peak the tables refuse
    const LawRun tiny = compute_law(texts, std::nullopt);
    EXPECT_TRUE(tiny.refused());
}

// A member given under its other name ("A" for Pmax) counts as given.
TEST(ComputeLaw, members_not_given_take_their_default_texts) {
    InputSet short_fibers = default_input_texts();
    short_fibers["Lf"] = "12";
    const InputSet power_law = {
        {"model", "2"}, {"A", "2"}, {"B", "0.3"}, {"C", "0.05"}, {"D", "0.3"}};
    InputSet function_lb = default_input_texts();
    function_lb.erase("Pmax");
    function_lb.erase("delta_max");
    for (const auto& [name, value] : power_law) function_lb[name] = value;
    const std::pair<InputSet, InputSet> cases[] = {{{{"Lf", "12"}}, short_fibers},
                                                   {power_law, function_lb}};
    for (const auto& [given, every] : cases) {
        const LawRun partial = compute_law(given, std::vector<double>{0, 0.05, 0.4, 3});
        ASSERT_FALSE(partial.refused()) << partial.refusal->message;
        expect_same_steps(partial.steps,
                          compute_law(every, std::vector<double>{0, 0.05, 0.4, 3}).steps);
        FiberTables tables;
        const LawRun by_division = compute_law(given, std::nullopt, tables);
        ASSERT_FALSE(by_division.refused()) << by_division.refusal->message;
        EXPECT_EQ(by_division.steps.size(), 61u);
        expect_same_steps(by_division.steps, compute_law(every, std::nullopt).steps);
    }
    EXPECT_EQ(compute_law({{"A", "2"}}, std::nullopt).inputs.Pmax, 2);
    EXPECT_THROW(compute_law({{"A", "2"}, {"Pmax", "2"}}, std::nullopt), std::invalid_argument);
}

}  // namespace
}  // namespace quarnel
