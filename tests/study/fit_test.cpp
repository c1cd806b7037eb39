// The fit's pieces and its contracts, on fits cut short so that they stay
// quick under the sanitizers; the recovery of known values is in
// fit_recovery_test.cpp.

#include "study/fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

#include "engine/input_table.h"
#include "engine/text_to_number.h"
#include "fit_curves.h"
#include "study/law_run.h"
#include "tests/support/bits.h"

namespace quarnel {
namespace {

using testing::model_curve;
using testing::TestNumbers;

using quarnel_test::same_bits;

InputSet base_inputs() {
    InputSet inputs = default_input_texts();
    inputs["model"] = 1.0;
    return inputs;
}

// A curve of 12 points made with Pmax = 2.2 N and delta_max = 0.3 mm.
FitProblem small_problem() {
    InputSet made = base_inputs();
    made["Pmax"] = 2.2;
    made["delta_max"] = 0.3;
    const testing::ModelCurve curve = model_curve(made, 12, 10, 0, 3);
    FitProblem p;
    p.inputs = base_inputs();
    p.inputs["delta_max"] = "0.3";
    p.openings = curve.openings;
    p.stresses = curve.stresses;
    p.values = {{"Pmax", "Pmax", 0.2, 5, std::nullopt}};
    return p;
}

TEST(FitTexts, a_double_member_takes_the_shortest_round_trip_text) {
    EXPECT_EQ(shortest_field_text("Pmax", 0.1), "0.1");
    EXPECT_EQ(shortest_field_text("C", 1e-5), "1e-05");
    EXPECT_EQ(shortest_field_text("D", -0.0), "-0");
    TestNumbers numbers(11);
    for (int i = 0; i < 20000; ++i) {
        const double x =
            std::ldexp(numbers.uniform() + 0.5, static_cast<int>(numbers.next() % 80) - 40);
        const std::string text = shortest_field_text("delta_max", x);
        EXPECT_TRUE(same_bits(read_number(text), x)) << text;
        EXPECT_EQ(text, shortest_number_text(x));
    }
}

TEST(FitTexts, a_float_member_takes_the_shortest_text_that_reads_back_to_its_float) {
    EXPECT_EQ(shortest_field_text("kxy", static_cast<float>(0.1)), "0.1");
    EXPECT_EQ(shortest_field_text("Lf", 30), "30");
    EXPECT_EQ(shortest_field_text("theta_r_xy", static_cast<float>(-12.345678)), "-12.345678");
    EXPECT_EQ(shortest_field_text("Vf", static_cast<float>(1e-7)), "1e-07");
    TestNumbers numbers(12);
    for (int i = 0; i < 100000; ++i) {
        const auto f = static_cast<float>(
            std::ldexp(numbers.uniform() + 0.5, static_cast<int>(numbers.next() % 60) - 30));
        const std::string text = shortest_field_text("kzx", f);
        // Read by the field rule, then stored as the member stores it.
        EXPECT_EQ(static_cast<float>(read_number(text)), f) << text;
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, f).ptr;
        EXPECT_LE(text.size(), static_cast<std::size_t>(end - buffer)) << text;
        // Never longer than the shortest text of the double.
        EXPECT_LT(text.size(), shortest_number_text(f).size() + 1);
    }
}

TEST(FitTexts, stored_values_and_bounds) {
    EXPECT_TRUE(is_single_precision_member("kxy"));
    EXPECT_TRUE(is_single_precision_member("sigma_fu"));
    EXPECT_FALSE(is_single_precision_member("Pmax"));
    EXPECT_FALSE(is_single_precision_member("D"));
    EXPECT_EQ(stored_value("kxy", 0.1), static_cast<double>(0.1f));
    EXPECT_EQ(stored_value("Pmax", 0.1), 0.1);
    // float(0.3) lies above 0.3: the value is moved one float inwards.
    ASSERT_GT(static_cast<double>(0.3f), 0.3);
    EXPECT_EQ(stored_value_within("kxy", 0.3, 0.1, 0.3),
              static_cast<double>(std::nextafter(0.3f, 0.0f)));
    // float(0.1) lies above 0.1 and so within [0.1, 0.3].
    EXPECT_EQ(stored_value_within("kxy", 0.1, 0.1, 0.3), static_cast<double>(0.1f));
    // float(0.7) lies below 0.7: moved up within [0.7, 1].
    ASSERT_LT(static_cast<double>(0.7f), 0.7);
    EXPECT_EQ(stored_value_within("kxy", 0.7, 0.7, 1),
              static_cast<double>(std::nextafter(0.7f, 1.0f)));
    EXPECT_EQ(stored_value_within("Pmax", 0.3, 0.1, 0.3), 0.3);
}

TEST(FitProblemCheck, refuses_what_cannot_be_fitted) {
    FitProblem p = small_problem();
    EXPECT_FALSE(check_fit_problem(p));
    const auto message = [&](const std::vector<FitValue>& values) {
        FitProblem q = p;
        q.values = values;
        return check_fit_problem(q).value_or("");
    };
    EXPECT_EQ(message({}), "nothing to fit: give at least one value to fit");
    EXPECT_EQ(message({{"Bx", "", 0, 1, {}}}), "unknown name \"Bx\"");
    EXPECT_EQ(message({{"division", "division", 1, 3, {}}}),
              "\"division\" cannot be fitted: the law is computed at the measured openings");
    EXPECT_EQ(message({{"A", "Pmax", 0, 1, {}}, {"Pmax", "Pmax", 0, 1, {}}}),
              "\"Pmax\" is fitted twice");
    EXPECT_EQ(message({{"A", "Pmax", 1, 1, {}}}), "A: LOW must be below HIGH");
    EXPECT_EQ(message({{"A", "Pmax", 2, 1, {}}}), "A: LOW must be below HIGH");
    EXPECT_EQ(message({{"A", "Pmax", 0, INFINITY, {}}}), "A: the bounds must be finite numbers");
    EXPECT_EQ(message({{"A", "Pmax", 0, 1, 1.5}}), "A: START must lie within LOW:HIGH");
    EXPECT_FALSE(check_fit_problem([&] {
        FitProblem q = p;
        q.values = {{"A", "Pmax", 0, 1, 1.0}};  // a start on a bound
        return q;
    }()));
    // Between the floats 0.1f and the next one up.
    EXPECT_EQ(message({{"kxy", "kxy", 0.100000002, 0.100000008, {}}}),
              "kxy: no 32-bit value lies within LOW:HIGH");

    FitProblem few = p;
    few.openings.resize(2);
    few.stresses.resize(2);
    few.values = {{"Pmax", "Pmax", 0.2, 5, {}}, {"delta_max", "delta_max", 0.01, 1, {}}};
    EXPECT_EQ(check_fit_problem(few).value_or(""),
              "2 points are fewer than the 3 that fitting 2 values needs");
    few.openings.push_back(1);
    few.stresses.push_back(1);
    EXPECT_FALSE(check_fit_problem(few));
    few.openings[1] = -1;
    EXPECT_TRUE(check_fit_problem(few));
    EXPECT_THROW(fit_law(few), FitSetupError);
}

// Beyond 1e100 the sums of squares could overflow, and every candidate
// would look as poor as a refused one.
TEST(FitProblemCheck, refuses_measured_values_a_fit_cannot_square) {
    FitProblem p = small_problem();
    p.stresses[3] = 1e100;
    p.stresses[4] = -1e100;
    p.openings[5] = 1e100;
    EXPECT_FALSE(check_fit_problem(p));
    FitSettings settings;
    settings.starts = 1;
    settings.max_evaluations = 3;
    const FitResult r = fit_law(p, settings);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.refused_evaluations, 0);

    p.stresses[3] = 1e200;
    EXPECT_EQ(check_fit_problem(p).value_or(""),
              "point 3: the stress 1e+200 is beyond 1e100 MPa, which a fit cannot square");
    EXPECT_THROW(fit_law(p, settings), FitSetupError);
    p.stresses[3] = -1e101;
    EXPECT_EQ(check_fit_problem(p).value_or(""),
              "point 3: the stress -1e+101 is beyond -1e100 MPa, which a fit cannot square");
    p.stresses[3] = 1;
    p.openings[5] = 2e100;
    EXPECT_EQ(check_fit_problem(p).value_or(""), "point 5: the opening 2e+100 is beyond 1e100 mm");
}

struct SettingsCase {
    const char* name;
    FitSettings settings;
    std::string refusal;  // "" when accepted
};

void PrintTo(const SettingsCase& c, std::ostream* out) {
    *out << c.name;
}

FitSettings with(void (*change)(FitSettings&)) {
    FitSettings settings;
    change(settings);
    return settings;
}

class FitSettingsCheck : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(FitSettingsCheck, refuses_what_a_fit_cannot_run_with) {
    const SettingsCase& c = GetParam();
    EXPECT_EQ(check_fit_settings(c.settings).value_or(""), c.refusal);
    if (!c.refusal.empty()) {
        // Refused before any law is computed: no evaluation is reported.
        FitHooks hooks;
        hooks.evaluated = [](const std::vector<double>&, double, bool) { ADD_FAILURE(); };
        EXPECT_THROW(fit_law(small_problem(), c.settings, hooks), FitSetupError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, FitSettingsCheck,
    ::testing::Values(
        SettingsCase{"defaults", {}, ""},
        SettingsCase{"one_start", with([](FitSettings& s) { s.starts = 1; }), ""},
        SettingsCase{"most_starts", with([](FitSettings& s) { s.starts = 10000; }), ""},
        SettingsCase{"no_start", with([](FitSettings& s) { s.starts = 0; }),
                     "starts must be from 1 to 10000"},
        SettingsCase{"negative_starts", with([](FitSettings& s) { s.starts = -3; }),
                     "starts must be from 1 to 10000"},
        SettingsCase{"too_many_starts", with([](FitSettings& s) { s.starts = 10001; }),
                     "starts must be from 1 to 10000"},
        // 4 * starts overflows an int, and 300000000 would ask for 1.2e9 points.
        SettingsCase{"starts_of_2_to_the_29", with([](FitSettings& s) { s.starts = 536870912; }),
                     "starts must be from 1 to 10000"},
        SettingsCase{"starts_of_3e8", with([](FitSettings& s) { s.starts = 300000000; }),
                     "starts must be from 1 to 10000"},
        SettingsCase{"one_evaluation", with([](FitSettings& s) { s.max_evaluations = 1; }), ""},
        SettingsCase{"no_evaluation", with([](FitSettings& s) { s.max_evaluations = 0; }),
                     "max_evaluations must be at least 1"},
        SettingsCase{"negative_evaluations", with([](FitSettings& s) { s.max_evaluations = -5; }),
                     "max_evaluations must be at least 1"},
        SettingsCase{"a_nanosecond", with([](FitSettings& s) { s.max_seconds = 1e-9; }), ""},
        SettingsCase{"no_time", with([](FitSettings& s) { s.max_seconds = 0.0; }),
                     "max_seconds must be a finite number above 0"},
        SettingsCase{"negative_time", with([](FitSettings& s) { s.max_seconds = -1.0; }),
                     "max_seconds must be a finite number above 0"},
        SettingsCase{"endless_time", with([](FitSettings& s) { s.max_seconds = INFINITY; }),
                     "max_seconds must be a finite number above 0"},
        SettingsCase{"time_nan", with([](FitSettings& s) { s.max_seconds = NAN; }),
                     "max_seconds must be a finite number above 0"},
        SettingsCase{"x_tolerance_0", with([](FitSettings& s) { s.x_tolerance = 0; }), ""},
        SettingsCase{"x_tolerance_nan", with([](FitSettings& s) { s.x_tolerance = NAN; }),
                     "x_tolerance must be a finite number of 0 or more"},
        SettingsCase{"x_tolerance_negative", with([](FitSettings& s) { s.x_tolerance = -1e-7; }),
                     "x_tolerance must be a finite number of 0 or more"},
        SettingsCase{"f_tolerance_infinite", with([](FitSettings& s) { s.f_tolerance = INFINITY; }),
                     "f_tolerance must be a finite number of 0 or more"}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return info.param.name; });

TEST(Fit, default_evaluations_grow_with_the_values_and_never_overflow) {
    EXPECT_EQ(default_max_evaluations(1, 4), 800);
    EXPECT_EQ(default_max_evaluations(3, 4), 1600);
    EXPECT_EQ(default_max_evaluations(3, 1), 1600);  // never below 4 searches' worth
    EXPECT_EQ(default_max_evaluations(3, 10), 4000);
    EXPECT_EQ(default_max_evaluations(2, 2 * max_fit_starts), 300L * 2 * max_fit_starts);
    EXPECT_EQ(default_max_evaluations(static_cast<std::size_t>(-1), 4),
              std::numeric_limits<long>::max());
}

TEST(Fit, the_most_starts_screen_four_points_each) {
    FitSettings settings;
    settings.starts = max_fit_starts;
    settings.max_evaluations = 3;
    const FitResult r = fit_law(small_problem(), settings);
    EXPECT_EQ(r.evaluations, 3);
    EXPECT_EQ(r.stop, FitStop::max_evaluations);
}

TEST(Fit, the_texts_reproduce_the_fitted_law_bit_for_bit) {
    FitProblem p = small_problem();
    // A 32-bit input and a 64-bit one, over ranges whose values are no short texts.
    p.values = {{"kxy", "kxy", 0.3, 3.3, {}}, {"A", "Pmax", 0.7, 4.1, {}}};
    FitSettings settings;
    settings.starts = 2;
    settings.max_evaluations = 14;
    const FitResult r = fit_law(p, settings);
    ASSERT_TRUE(r.found);
    ASSERT_EQ(r.values.size(), 2u);
    EXPECT_EQ(r.values[0], static_cast<double>(static_cast<float>(r.values[0])));
    InputSet inputs = p.inputs;
    inputs["kxy"] = r.texts[0];
    inputs["Pmax"] = r.texts[1];
    EXPECT_EQ(read_calculation_inputs(inputs).kxy, static_cast<float>(r.values[0]));
    EXPECT_TRUE(same_bits(read_calculation_inputs(inputs).Pmax, r.values[1]));
    std::vector<double> sorted = p.openings;
    std::sort(sorted.begin(), sorted.end());
    const LawRun law = compute_law(inputs, sorted);
    ASSERT_FALSE(law.refused());
    double squares = 0;
    for (std::size_t i = 0; i < p.openings.size(); ++i) {
        const auto at = std::lower_bound(sorted.begin(), sorted.end(), p.openings[i]);
        const double sigma = law.steps[static_cast<std::size_t>(at - sorted.begin())].sigma;
        EXPECT_TRUE(same_bits(sigma, r.fitted_stresses[i])) << i;
        squares += (r.fitted_stresses[i] - p.stresses[i]) * (r.fitted_stresses[i] - p.stresses[i]);
    }
    EXPECT_TRUE(same_bits(squares, r.sum_of_squares));
    EXPECT_EQ(r.rmse, std::sqrt(squares / static_cast<double>(p.openings.size())));
    const double mean = std::accumulate(p.stresses.begin(), p.stresses.end(), 0.0) /
                        static_cast<double>(p.stresses.size());
    double about_mean = 0;
    for (const double y : p.stresses) about_mean += (y - mean) * (y - mean);
    ASSERT_TRUE(r.r2);
    EXPECT_EQ(*r.r2, 1 - squares / about_mean);
}

TEST(Fit, r2_is_undefined_when_the_measured_stresses_are_all_equal) {
    FitProblem p = small_problem();
    FitSettings settings;
    settings.starts = 1;
    settings.max_evaluations = 3;
    // Twelve times 0.1 sums to more than 1.2: the mean is not 0.1 itself.
    for (const double stress : {0.0, 0.1, 2.5}) {
        std::fill(p.stresses.begin(), p.stresses.end(), stress);
        const FitResult r = fit_law(p, settings);
        ASSERT_TRUE(r.found);
        EXPECT_FALSE(r.r2) << stress << ": " << r.r2.value_or(0);
        EXPECT_TRUE(std::isfinite(r.rmse));
    }
    p.stresses[3] = 2.75;
    const FitResult r = fit_law(p, settings);
    ASSERT_TRUE(r.r2);
    EXPECT_TRUE(std::isfinite(*r.r2));
}

TEST(Fit, a_refused_candidate_is_a_poor_fit_and_the_fit_goes_on) {
    FitProblem p = small_problem();
    p.inputs["Pmax"] = "2.2";
    // delta_max = 0 is refused (a displacement at peak of 0): the start.
    p.values = {{"delta_max", "delta_max", 0, 1, 0.0}};
    FitSettings settings;
    settings.starts = 1;
    settings.max_evaluations = 12;
    // Every refused candidate scores the same finite sum of squares, above
    // that of the law of no stress and of every computed candidate.
    double no_stress = 0;
    for (const double y : p.stresses) no_stress += y * y;
    std::vector<double> refused;
    double worst_computed = 0;
    FitHooks hooks;
    hooks.evaluated = [&](const std::vector<double>& values, double f, bool was_refused) {
        ASSERT_EQ(values.size(), 1u);
        if (was_refused) {
            EXPECT_EQ(values[0], 0);
            refused.push_back(f);
        } else {
            worst_computed = std::max(worst_computed, f);
        }
    };
    const FitResult r = fit_law(p, settings, hooks);
    ASSERT_FALSE(refused.empty());
    EXPECT_EQ(static_cast<long>(refused.size()), r.refused_evaluations);
    for (const double f : refused) {
        EXPECT_TRUE(std::isfinite(f));
        EXPECT_EQ(f, refused[0]);
        EXPECT_GT(f, 10 * no_stress);
        EXPECT_GT(f, worst_computed);
    }
    EXPECT_GE(r.refused_evaluations, 1);
    ASSERT_TRUE(r.last_refusal);
    EXPECT_EQ(r.last_refusal->member, "delta_max");
    ASSERT_TRUE(r.found);
    EXPECT_GT(r.values[0], 0);
    EXPECT_EQ(r.evaluations, 12);
    EXPECT_EQ(r.stop, FitStop::max_evaluations);
}

TEST(Fit, every_candidate_refused_finds_nothing) {
    FitProblem p = small_problem();
    // Peak loads beyond the 32-bit range of the cell tables.
    p.values = {{"Pmax", "Pmax", 1e300, 1e308, {}}};
    FitSettings settings;
    settings.starts = 2;
    settings.max_evaluations = 10;
    const FitResult r = fit_law(p, settings);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.refused_evaluations, r.evaluations);
    EXPECT_EQ(r.evaluations, 10);
    ASSERT_TRUE(r.last_refusal);
    EXPECT_TRUE(r.values.empty());
}

TEST(Fit, an_exception_of_an_evaluation_reaches_the_caller) {
    FitProblem p = small_problem();
    p.inputs["model"] = 3.0;  // read_calculation_inputs throws
    FitSettings settings;
    settings.starts = 1;  // the first evaluation is inside the optimiser
    EXPECT_THROW(fit_law(p, settings), std::invalid_argument);
    settings.starts = 2;  // the first is a screening point
    EXPECT_THROW(fit_law(p, settings), std::invalid_argument);
}

TEST(Fit, stops_on_evaluations_time_and_request) {
    FitProblem p = small_problem();
    FitSettings settings;
    settings.max_evaluations = 5;
    long reported = 0;
    double last_rmse = INFINITY;
    bool rising = false;
    FitHooks hooks;
    hooks.progress = [&](long evaluations, double rmse) {
        reported = evaluations;
        rising = rising || rmse > last_rmse;
        last_rmse = rmse;
    };
    FitResult r = fit_law(p, settings, hooks);
    EXPECT_EQ(r.stop, FitStop::max_evaluations);
    EXPECT_EQ(r.evaluations, 5);
    EXPECT_EQ(reported, 5);
    EXPECT_FALSE(rising);  // the best RMSE so far never rises
    EXPECT_EQ(last_rmse, r.rmse);

    settings.max_evaluations.reset();
    settings.max_seconds = 1e-9;
    r = fit_law(p, settings);
    EXPECT_EQ(r.stop, FitStop::max_time);
    EXPECT_LE(r.evaluations, 1);

    settings.max_seconds.reset();
    int asked = 0;
    hooks.progress = nullptr;
    hooks.stop_requested = [&] { return ++asked > 3; };
    r = fit_law(p, settings, hooks);
    EXPECT_EQ(r.stop, FitStop::interrupted);
    EXPECT_EQ(r.evaluations, 3);
    EXPECT_TRUE(r.found);
}

// Whatever the limits, the first start is evaluated: a fit never ends having
// computed nothing unless it is interrupted.
TEST(Fit, the_first_start_is_evaluated_whatever_the_limits) {
    FitProblem p = small_problem();
    p.values = {{"Pmax", "Pmax", 0.2, 5, 1.5}, {"delta_max", "delta_max", 0.01, 1, {}}};
    const auto first_only = [&](const FitSettings& settings, FitStop stop) {
        std::vector<std::vector<double>> evaluated;
        FitHooks hooks;
        hooks.evaluated = [&](const std::vector<double>& values, double, bool) {
            evaluated.push_back(values);
        };
        const FitResult r = fit_law(p, settings, hooks);
        EXPECT_EQ(r.stop, stop);
        EXPECT_EQ(r.evaluations, 1);
        EXPECT_TRUE(r.found);
        ASSERT_EQ(evaluated.size(), 1u);
        EXPECT_EQ(evaluated[0][0], 1.5);
        EXPECT_NEAR(evaluated[0][1], 0.1, 1e-15);  // the middle of [0.01, 1], logarithmically
    };
    for (const int starts : {1, 4}) {
        FitSettings settings;
        settings.starts = starts;
        settings.max_seconds = 1e-9;
        first_only(settings, FitStop::max_time);
        settings.max_seconds.reset();
        settings.max_evaluations = 1;
        first_only(settings, FitStop::max_evaluations);
    }
    // With room for more, the screening keeps one evaluation for the first
    // start.
    FitSettings settings;
    settings.starts = 4;
    settings.max_evaluations = 5;
    std::vector<std::vector<double>> evaluated;
    FitHooks hooks;
    hooks.evaluated = [&](const std::vector<double>& values, double, bool) {
        evaluated.push_back(values);
    };
    const FitResult r = fit_law(p, settings, hooks);
    EXPECT_EQ(r.evaluations, 5);
    ASSERT_EQ(evaluated.size(), 5u);
    EXPECT_EQ(evaluated[4][0], 1.5);
    // Only a stop request ends a fit before its first evaluation.
    hooks.stop_requested = [] { return true; };
    evaluated.clear();
    const FitResult stopped = fit_law(p, settings, hooks);
    EXPECT_EQ(stopped.stop, FitStop::interrupted);
    EXPECT_EQ(stopped.evaluations, 0);
    EXPECT_FALSE(stopped.found);
    EXPECT_TRUE(evaluated.empty());
}

TEST(Fit, starts_are_deterministic_and_follow_the_seed) {
    FitProblem p = small_problem();
    p.values.push_back({"delta_max", "delta_max", 0.01, 1, {}});
    FitSettings settings;
    settings.starts = 3;
    settings.max_evaluations = 13;  // the screening points, then the first start
    // The screening points, every one inside the ranges, in strata of the
    // Latin hypercube: one point per twelfth of each range's search scale.
    const auto screened = [&](std::uint64_t seed) {
        std::vector<std::vector<double>> points;
        FitHooks hooks;
        hooks.evaluated = [&](const std::vector<double>& values, double, bool) {
            points.push_back(values);
        };
        settings.seed = seed;
        const FitResult r = fit_law(p, settings, hooks);
        EXPECT_TRUE(r.found);
        EXPECT_EQ(points.size(), 13u);
        if (!points.empty()) points.pop_back();
        return points;
    };
    const std::vector<std::vector<double>> a = screened(1);
    ASSERT_EQ(a.size(), 12u);
    EXPECT_EQ(a, screened(1));
    EXPECT_NE(a, screened(2));
    for (std::size_t d = 0; d < 2; ++d) {
        const double low = p.values[d].low;
        const double high = p.values[d].high;
        std::vector<int> strata;
        for (const std::vector<double>& point : a) {
            ASSERT_GE(point[d], low);
            ASSERT_LE(point[d], high);
            const double u = std::log(point[d] / low) / std::log(high / low);
            strata.push_back(static_cast<int>(u * 12));
        }
        std::sort(strata.begin(), strata.end());
        for (int s = 0; s < 12; ++s) EXPECT_EQ(strata[static_cast<std::size_t>(s)], s) << d;
    }
    settings.seed = 1;
    // The first evaluation is the given start.
    settings.max_evaluations = 1;
    settings.starts = 1;
    p.values[0].start = 2.5;
    p.values[1].start = 0.25;
    const FitResult d = fit_law(p, settings);
    EXPECT_EQ(d.values[0], 2.5);
    EXPECT_EQ(d.values[1], 0.25);
    // Without starts, the middle of each range: logarithmic above 0.
    p.values[0].start.reset();
    p.values[1] = {"crack_xy", "crack_xy", 0, 40, {}};
    const FitResult e = fit_law(p, settings);
    EXPECT_NEAR(e.values[0], std::sqrt(0.2 * 5), 1e-12);
    EXPECT_EQ(e.values[1], 20);
}

TEST(Fit, a_value_held_at_a_bound_is_reported) {
    FitProblem p = small_problem();  // made with Pmax = 2.2
    p.values = {{"Pmax", "Pmax", 0.5, 1, {}}};
    FitSettings settings;
    settings.starts = 1;
    const FitResult r = fit_law(p, settings);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.values[0], 1);
    EXPECT_TRUE(r.at_bound[0]);
    EXPECT_EQ(r.stop, FitStop::converged);
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

// The stress is proportional to both Pmax and Vf, and does not depend on a
// rupture strength no fiber reaches: the statistics say so, whatever the
// values the (short) search ended at.
TEST(FitStatisticsOfAFit, values_the_curve_cannot_tell_apart_are_named) {
    FitProblem p = small_problem();
    p.values = {{"Pmax", "Pmax", 0.2, 5, {}},
                {"Vf", "Vf", 0.001, 0.1, {}},
                {"kxy", "kxy", 0.5, 2, {}},
                {"sigma_fu", "sigma_fu", 1e6, 1e7, {}}};
    FitSettings settings;
    settings.starts = 1;
    settings.max_evaluations = 5;
    const FitResult r = fit_law(p, settings);
    ASSERT_TRUE(r.found);
    const FitStatistics& s = r.statistics;
    ASSERT_TRUE(s.computed) << s.not_computed;
    EXPECT_EQ(s.evaluations, 8);
    EXPECT_EQ(s.undetermined, (std::vector<std::vector<std::size_t>>{{0, 1}, {3}}));
    EXPECT_FALSE(s.standard_errors[0]);
    EXPECT_FALSE(s.standard_errors[1]);
    EXPECT_TRUE(s.standard_errors[2]);
    EXPECT_FALSE(s.standard_errors[3]);
    EXPECT_EQ(s.degrees_of_freedom, 12u - 2u);  // rank 2: Pmax Vf together, and kxy
    const auto has = [&](const std::string& part) {
        return std::any_of(r.warnings.begin(), r.warnings.end(),
                           [&](const std::string& w) { return w.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(has("The curve cannot tell Pmax and Vf apart")) << r.warnings.size();
    EXPECT_TRUE(has("do not depend on sigma_fu")) << r.warnings.size();
}

TEST(FitStatisticsOfAFit, each_start_end_is_kept_and_an_interrupted_fit_has_no_statistics) {
    FitProblem p = small_problem();
    FitSettings settings;
    settings.starts = 2;
    const FitResult r = fit_law(p, settings);
    ASSERT_TRUE(r.found);
    ASSERT_EQ(r.start_ends.size(), 2u);
    long in_starts = 0;
    for (const FitStartEnd& e : r.start_ends) {
        ASSERT_EQ(e.values.size(), 1u);
        EXPECT_GE(e.rmse, r.rmse);
        // At the one minimum of a curve without noise, at the coarse tolerance.
        EXPECT_NEAR(std::log(e.values[0] / r.values[0]), 0, 1e-3 * std::log(5 / 0.2));
        EXPECT_GE(e.evaluations, 5);  // BOBYQA's first model alone takes 2n + 1 = 3
        in_starts += e.evaluations;
    }
    EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();  // one minimum
    // The 8 screening points and the polish are no start's.
    EXPECT_LT(in_starts, r.evaluations - 8);
    EXPECT_TRUE(r.statistics.computed);
    EXPECT_EQ(r.statistics.evaluations, 2);

    // Interrupted at the last request, which the statistics make: the fit
    // is interrupted, without them.
    int asked = 0;
    FitHooks hooks;
    hooks.stop_requested = [&] { return ++asked < 0; };
    settings.starts = 1;
    settings.max_evaluations = 4;
    const FitResult counted = fit_law(p, settings, hooks);
    ASSERT_TRUE(counted.statistics.computed);
    const int requests = asked;
    asked = 0;
    hooks.stop_requested = [&] { return ++asked == requests; };
    const FitResult stopped = fit_law(p, settings, hooks);
    EXPECT_EQ(stopped.evaluations, counted.evaluations);
    EXPECT_EQ(stopped.stop, FitStop::interrupted);
    EXPECT_FALSE(stopped.statistics.computed);
    EXPECT_EQ(stopped.statistics.not_computed, "interrupted");
}

}  // namespace
}  // namespace quarnel
