#include "study/converged_criteria.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "engine/crack_openings.h"
#include "engine/input_table.h"
#include "study/fiber_mix.h"
#include "tests/support/bits.h"

namespace quarnel {
namespace {

using quarnel_test::same_bits;

// The relative difference of `actual` from `expected`, within `tolerance`.
void expect_within(double actual, double expected, double tolerance, const std::string& what) {
    const double difference = std::abs(actual - expected) / std::abs(expected);
    EXPECT_LE(difference, tolerance) << what << ": " << actual << " against " << expected;
}

std::vector<double> equal_openings(double end, int intervals) {
    std::vector<double> openings;
    for (int i = 0; i <= intervals; ++i) openings.push_back(end * i / intervals);
    return openings;
}

// The criteria from the steps of the law at many openings: a reference the
// refinement must reach, the peak sought on finer openings still.
LawCriteria fine_criteria(const InputSet& inputs, double end) {
    std::vector<double> openings = equal_openings(end, 8000);
    const LawCriteria coarse = law_criteria(compute_law(inputs, openings).steps);
    for (int i = -2000; i <= 2000; ++i) openings.push_back(coarse.Wcr_peak + 1e-5 * i);
    std::sort(openings.begin(), openings.end());
    openings.erase(std::unique(openings.begin(), openings.end()), openings.end());
    return law_criteria(compute_law(inputs, openings).steps);
}

// ---- Closed forms -------------------------------------------------------
//
// No snubbing, no rupture, kxy = kzx = 1, crack angles 0, Constant model: a
// fiber at angle theta to the crack normal bridges with the share |cos theta|
// weighted by the orientation density, which over the two planes gives
// (2/pi)^2 at w -> 0, and each level's embedded length is uniform on
// [0, L = Lf/2]. With K = (Vf / Af) (2/pi)^2 Pmax and delta = delta_max:
//   rising    sigma = K (w / delta) (1 - w / L)
//   peak      sigma_0 = K (1 - delta / L) at delta_0 = delta
//   J'b       (K / L) (L delta / 2 - 2 delta^2 / 3)
//   G_b       (K / L) ((L^2 - delta^2) / 4 + delta^2 / 6)
// The model's grid (101 equal centroid levels, 2-degree cells) puts sigma
// 0.23 to 0.29 % above these on the rising branch, so the steps are held to
// 0.35 %; its levels at both ends carry full weight, which puts G_b about
// 1.5 % above. The converged criteria are held to 0.5 % (G_b within 1 to 2 %
// above), and to the same law on fine openings within 0.05 %.
struct ClosedFormCase {
    const char* name;
    double Lf, delta_max, Pmax, Vf, Af;
};

class ClosedForms : public ::testing::TestWithParam<ClosedFormCase> {
  protected:
    InputSet inputs() const {
        const ClosedFormCase& c = GetParam();
        InputSet in = default_input_texts();
        for (const char* name : {"fp0", "fp1", "fd0", "fd1", "crack_xy", "crack_zx"})
            in[name] = 0.0;
        in["sigma_fu"] = "1e9";
        in["kxy"] = in["kzx"] = 1.0;
        in["Lf"] = c.Lf;
        in["delta_max"] = c.delta_max;
        in["Pmax"] = c.Pmax;
        in["Vf"] = c.Vf;
        in["Af"] = c.Af;
        return in;
    }
    double L() const { return GetParam().Lf / 2; }
    double delta() const { return GetParam().delta_max; }
    double share() const { return 4 / (std::numbers::pi * std::numbers::pi); }
    double K() const { return GetParam().Vf / GetParam().Af * share() * GetParam().Pmax; }
    double rising(double w) const { return K() * (w / delta()) * (1 - w / L()); }
    double sigma_0() const { return K() * (1 - delta() / L()); }
    double J_b_prime() const {
        return K() / L() * (L() * delta() / 2 - 2 * delta() * delta() / 3) * 1000;
    }
    double G_b() const {
        return K() / L() * ((L() * L() - delta() * delta()) / 4 + delta() * delta() / 6) * 1000;
    }
};

TEST_P(ClosedForms, the_steps_follow_them_within_the_grid) {
    const LawRun run = compute_law(inputs(), std::nullopt);
    ASSERT_FALSE(run.refused()) << run.refusal->message;
    expect_within(run.steps.front().effective_fiber_ratio, share(), 0.003, "share at w = 0");
    for (const StepValues& s : run.steps) {
        if (s.Wcr > 0 && s.Wcr <= delta()) {
            expect_within(s.sigma, rising(s.Wcr), 0.0035, "sigma at " + std::to_string(s.Wcr));
        }
    }
    const LawCriteria c = law_criteria(run.steps);
    expect_within(c.sigma_max, sigma_0(), 0.0035, "sigma_0");
    EXPECT_EQ(c.Wcr_peak, delta());
    expect_within(c.J_b_prime, J_b_prime(), 0.0035, "J'b");
    expect_within(c.G_b, G_b() * 1.015, 0.005, "G_b, 1.5 % above");
}

TEST_P(ClosedForms, the_converged_criteria_meet_them) {
    LawScratch scratch;
    const LawCriteria c = converged_law_criteria(inputs(), {}, {}, scratch);
    ASSERT_TRUE(c.converged) << c.why_none;
    expect_within(c.sigma_max, sigma_0(), 0.005, "sigma_0");
    expect_within(c.Wcr_peak, delta(), 1e-7, "delta_0");  // the corner, rounded to 32 bits
    expect_within(c.J_b_prime, J_b_prime(), 0.005, "J'b");
    EXPECT_GT(c.G_b, G_b() * 1.01);
    EXPECT_LT(c.G_b, G_b() * 1.02);
    const LawCriteria fine = fine_criteria(inputs(), L());
    expect_within(c.sigma_max, fine.sigma_max, 1e-6, "sigma_0 on fine openings");
    expect_within(c.J_b_prime, fine.J_b_prime, 5e-4, "J'b on fine openings");
    expect_within(c.G_b, fine.G_b, 5e-4, "G_b on fine openings");
}

INSTANTIATE_TEST_SUITE_P(NoSnubbingNoRupture, ClosedForms,
                         ::testing::Values(ClosedFormCase{"defaults", 30, 0.45, 3, 0.01, 0.19635},
                                           ClosedFormCase{"short_fibers", 12, 0.2, 4, 0.02,
                                                          0.0314}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Converged criteria of computed laws --------------------------------

InputSet pva_like() {
    InputSet in = default_input_texts();
    in["Vf"] = 0.02;
    in["Lf"] = 12.0;
    in["Af"] = 0.0314;
    in["Pmax"] = 4.0;
    in["delta_max"] = 0.2;
    in["sigma_fu"] = 1600.0;
    return in;
}

// The same law whatever steps the run is asked for: the verdict that the
// steps of division 30 get wrong (J'b 7 % high) holds for every division.
TEST(ConvergedCriteria, do_not_depend_on_the_steps_a_run_asks_for) {
    const MatrixProperties matrix{1.2, 215.0};
    InputSet in = pva_like();
    in["division"] = "30";
    EXPECT_TRUE(*law_criteria(compute_law(in, std::nullopt).steps, matrix).strain_hardening);
    LawScratch scratch;
    const LawCriteria at_30 = converged_law_criteria(in, matrix, {}, scratch);
    EXPECT_FALSE(*at_30.strain_hardening);
    for (const char* division : {"100", "300", "1000"}) {
        in["division"] = division;
        LawScratch fresh;
        const LawCriteria c = converged_law_criteria(in, matrix, {}, fresh);
        EXPECT_TRUE(same_bits(c.J_b_prime, at_30.J_b_prime)) << division;
        EXPECT_TRUE(same_bits(c.sigma_max, at_30.sigma_max)) << division;
        EXPECT_TRUE(same_bits(c.G_b, at_30.G_b)) << division;
        EXPECT_EQ(c.openings, at_30.openings) << division;
        EXPECT_FALSE(*c.strain_hardening) << division;
    }
}

class Tolerances : public ::testing::TestWithParam<double> {
  protected:
    static const LawCriteria& reference() {
        static const LawCriteria fine = fine_criteria(pva_like(), 6);
        return fine;
    }
};

// The refinement stops within the tolerance asked for, and the numbers lie
// within it of the law on fine openings (the opening of a flat top aside).
TEST_P(Tolerances, the_criteria_reach_the_tolerance_asked_for) {
    CriteriaSettings settings;
    settings.tolerance = GetParam();
    LawScratch scratch;
    const LawCriteria c = converged_law_criteria(pva_like(), {}, settings, scratch);
    ASSERT_TRUE(c.converged);
    EXPECT_EQ(c.source, CriteriaSource::converged);
    ASSERT_TRUE(c.change);
    EXPECT_LE(*c.change, settings.tolerance);
    EXPECT_GE(c.laws, 3);
    expect_within(c.sigma_max, reference().sigma_max, settings.tolerance, "sigma_0");
    expect_within(c.J_b_prime, reference().J_b_prime, settings.tolerance, "J'b");
    expect_within(c.G_b, reference().G_b, settings.tolerance, "G_b");
}

INSTANTIATE_TEST_SUITE_P(PvaLike, Tolerances, ::testing::Values(1e-2, 1e-3, 1e-4));

// Fibers that rupture make the law drop steeply past its peak: the steps of
// division 30 put G_b 18 % high; the refinement follows the drop.
TEST(ConvergedCriteria, follow_the_drop_where_fibers_rupture) {
    InputSet in = default_input_texts();
    in["sigma_fu"] = 25.0;
    const LawCriteria fine = fine_criteria(in, 15);
    const LawCriteria steps = law_criteria(compute_law(in, std::nullopt).steps);
    EXPECT_GT(steps.G_b, fine.G_b * 1.1);
    LawScratch scratch;
    const LawCriteria c = converged_law_criteria(in, {}, {}, scratch);
    ASSERT_TRUE(c.converged);
    expect_within(c.G_b, fine.G_b, 1e-3, "G_b");
    expect_within(c.sigma_max, fine.sigma_max, 1e-3, "sigma_0");
    expect_within(c.J_b_prime, fine.J_b_prime, 1e-3, "J'b");
}

TEST(ConvergedCriteria, refused_inputs_give_none_and_say_why) {
    InputSet in = default_input_texts();
    in["Vf"] = "0";
    LawScratch scratch;
    const LawCriteria c = converged_law_criteria(in, {1.0, 1.0}, {}, scratch);
    EXPECT_FALSE(c.available());
    EXPECT_EQ(c.why_none.rfind("the inputs are refused: \"Fiber, Volume fraction\"", 0), 0u)
        << c.why_none;
    EXPECT_TRUE(std::isnan(c.sigma_max));
    EXPECT_FALSE(*c.strain_hardening);
}

TEST(ConvergedMixCriteria, a_mix_of_one_type_is_that_law_bit_for_bit) {
    InputSet fiber = pva_like();
    MixScratch mix_scratch;
    const LawCriteria mix = converged_mix_criteria({fiber_inputs_of(fiber)},
                                                   shared_inputs_of(fiber), {}, {}, mix_scratch);
    LawScratch scratch;
    const LawCriteria law = converged_law_criteria(fiber, {}, {}, scratch);
    EXPECT_TRUE(same_bits(mix.sigma_max, law.sigma_max));
    EXPECT_TRUE(same_bits(mix.Wcr_peak, law.Wcr_peak));
    EXPECT_TRUE(same_bits(mix.J_b_prime, law.J_b_prime));
    EXPECT_TRUE(same_bits(mix.G_b, law.G_b));
    EXPECT_EQ(mix.openings, law.openings);
}

// A fine PVA and a steel fiber: the mix's peak lies in the coarse steps of
// division 30, 4.8 % low there; the converged criteria of the summed law
// meet the mix on fine openings.
TEST(ConvergedMixCriteria, are_those_of_the_summed_law) {
    const InputSet pva = {{"Vf", 0.015},        {"Af", 0.001257}, {"Lf", 12.0},
                          {"sigma_fu", 1600.0}, {"Pmax", 0.9},    {"delta_max", 0.15}};
    const InputSet steel = {{"model", 2.0},       {"Vf", 0.005},  {"Af", 0.0314},
                            {"Lf", 13.0},         {"fp0", 0.8},   {"f_reduction", 0.05},
                            {"sigma_fu", 2500.0}, {"Pmax", 0.94}, {"delta_max", 1.0},
                            {"C", 0.03},          {"D", 1.0}};
    const std::vector<InputSet> fibers = {pva, steel};
    const LawCriteria fine =
        law_criteria(compute_mix(fibers, {}, equal_openings(6.5, 12000)).steps);
    const LawCriteria steps = law_criteria(compute_mix(fibers, {}, std::nullopt).steps);
    EXPECT_LT(steps.sigma_max, fine.sigma_max * 0.96);
    MixScratch scratch;
    const LawCriteria c = converged_mix_criteria(fibers, {}, {}, {}, scratch);
    ASSERT_TRUE(c.converged);
    expect_within(c.sigma_max, fine.sigma_max, 1e-3, "sigma_0");
    expect_within(c.J_b_prime, fine.J_b_prime, 1e-3, "J'b");
    expect_within(c.G_b, fine.G_b, 1e-3, "G_b");
}

// ---- The refinement over laws of known criteria --------------------------

// A law of sigma(w) at any openings, P = 10 sigma.
LawAtOpenings law_of(const std::function<double(double)>& sigma) {
    return [sigma](const std::vector<double>& openings) {
        std::vector<StepValues> steps;
        for (const double w : openings) {
            StepValues s;
            s.n = static_cast<int>(steps.size());
            s.Wcr = w;
            s.sigma = sigma(w);
            s.P = 10 * s.sigma;
            s.effective_fiber_ratio = 1 - w / 2;
            steps.push_back(s);
        }
        return steps;
    };
}

OutlineOfLaw outline_of(std::vector<double> candidates, std::vector<RuptureWindow> windows = {}) {
    return [candidates, windows] {
        LawOutline outline;
        outline.peak_candidates = [candidates](double low, double high) {
            std::vector<double> in;
            for (const double c : candidates) {
                if (c >= low && c <= high) in.push_back(c);
            }
            return in;
        };
        outline.rupture_windows = innermost_windows(windows);
        return outline;
    };
}

// sigma = w (2.2 - w) on [0, 2.2], its peak between the survey's openings:
// sigma_0 = 1.21 at 1.1, J'b = 1.1^3 / 3, G_b = 2.2^3 / 6 (in MPa mm, so
// 1000 times that in J/m2).
TEST(RefineCriteria, a_smooth_law_meets_its_peak_and_integrals) {
    const auto parabola = [](double w) { return w * (2.2 - w); };
    const LawCriteria c = refine_criteria(2.2, 0.5, law_of(parabola), outline_of({1.1}), {}, {});
    ASSERT_TRUE(c.converged);
    EXPECT_EQ(c.sigma_max, parabola(1.1));
    EXPECT_EQ(c.Wcr_peak, 1.1);
    EXPECT_EQ(c.ratio_initial, 1);
    EXPECT_EQ(c.ratio_at_peak, 1 - 1.1 / 2);
    expect_within(c.J_b_prime, 1000 * 1.1 * 1.1 * 1.1 / 3, 1e-3, "J'b");
    expect_within(c.G_b, 1000 * 2.2 * 2.2 * 2.2 / 6, 1e-3, "G_b");
    EXPECT_GE(c.laws, 3);
}

// A drop at the peak, as where fibers rupture: sigma = w up to 1, then
// (3 - w) / 4 to the end at 3; J'b = 1 - 1/2, G_b = 1/2 + 1/2.
TEST(RefineCriteria, a_drop_is_followed) {
    const auto dropping = [](double w) { return w <= 1 ? w : w <= 3 ? (3 - w) / 4 : 0.0; };
    const LawCriteria c = refine_criteria(3, 0.5, law_of(dropping), outline_of({1.0}), {}, {});
    ASSERT_TRUE(c.converged);
    EXPECT_EQ(c.sigma_max, 1);
    EXPECT_EQ(c.Wcr_peak, 1);
    expect_within(c.J_b_prime, 500, 1e-3, "J'b");
    expect_within(c.G_b, 1000, 1e-3, "G_b");
}

// A fiber that adds 0.2 until the first opening that finds it ruptured, in
// (0.7, 0.7001), else until the end: only a refinement told of its window
// drops it where the law does on fine openings.
TEST(RefineCriteria, every_rupture_window_is_visited) {
    const auto parabola = [](double w) { return w * (2 - w); };
    const LawAtOpenings law = [&](const std::vector<double>& openings) {
        std::vector<StepValues> steps = law_of(parabola)(openings);
        bool bridging = true;
        for (StepValues& s : steps) {
            if (s.Wcr > 0.7 && s.Wcr < 0.7001) bridging = false;
            if (bridging) s.sigma += 0.2;
            s.P = 10 * s.sigma;
        }
        return steps;
    };
    const double limit = 4000.0 / 3 + 0.2 * 0.7 * 1000;
    const LawCriteria told =
        refine_criteria(2, 0.5, law, outline_of({1.0}, {{0.7, 0.7001}}), {}, {});
    expect_within(told.G_b, limit, 2e-3, "G_b with the window");
    const LawCriteria blind = refine_criteria(2, 0.5, law, outline_of({1.0}), {}, {});
    EXPECT_GT(blind.G_b, limit * 1.1);
}

// A law that differs by 1 % each time it is computed never settles: the
// refinement stops at its limits and says so.
TEST(RefineCriteria, a_law_that_never_settles_stops_unconverged) {
    int computed = 0;
    const LawAtOpenings restless = [&computed](const std::vector<double>& openings) {
        const double scale = ++computed % 2 == 0 ? 1 : 1.01;
        return law_of([scale](double w) { return scale * w * (2 - w); })(openings);
    };
    const LawCriteria c = refine_criteria(2, 0.5, restless, outline_of({1.0}), {}, {});
    EXPECT_FALSE(c.converged);
    ASSERT_TRUE(c.change);
    EXPECT_GT(*c.change, 1e-3);
    EXPECT_TRUE(c.laws == max_criteria_laws ||
                c.openings >= static_cast<long>(max_criteria_openings))
        << c.laws << " laws, " << c.openings << " openings";
    EXPECT_EQ(c.laws, computed);
    EXPECT_TRUE(c.available());
}

TEST(RefineCriteria, a_law_that_cannot_be_computed_gives_none) {
    const LawAtOpenings nothing = [](const std::vector<double>&) {
        return std::vector<StepValues>{};
    };
    const LawCriteria c = refine_criteria(2, 0.5, nothing, outline_of({}), {}, {});
    EXPECT_EQ(c.why_none, "the law cannot be computed");
    EXPECT_TRUE(std::isnan(c.G_b));
}

TEST(RefineCriteria, the_survey_spans_the_law_and_steps_up_at_its_mid_opening) {
    const std::vector<double> survey = survey_openings(15, 0.45);
    ASSERT_EQ(survey.size(), 32u);
    EXPECT_EQ(survey.front(), 0);
    EXPECT_EQ(survey.back(), 15);
    EXPECT_TRUE(std::is_sorted(survey.begin(), survey.end()));
    EXPECT_EQ(std::adjacent_find(survey.begin(), survey.end()), survey.end());
    EXPECT_EQ(survey[5], 0.45);
    EXPECT_DOUBLE_EQ(survey[17], 1.35);
    // A mid opening beyond a third of the law, or none, is moved within it.
    EXPECT_DOUBLE_EQ(survey_openings(3, 2)[17], 3);
    EXPECT_DOUBLE_EQ(survey_openings(8, 0)[5], 1);
    EXPECT_EQ(survey_openings(0, 1), std::vector<double>{0});
}

TEST(InnermostWindows, keep_the_windows_that_hold_no_other) {
    const std::vector<RuptureWindow> inner =
        innermost_windows({{1, 5}, {2, 3}, {2.5, 6}, {4, 4.5}, {2, 3}, {7, 8}});
    ASSERT_EQ(inner.size(), 3u);
    EXPECT_EQ(inner[0].first, 2);
    EXPECT_EQ(inner[0].last, 3);
    EXPECT_EQ(inner[1].first, 4);
    EXPECT_EQ(inner[2].first, 7);
}

}  // namespace
}  // namespace quarnel
