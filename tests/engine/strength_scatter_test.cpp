// Fiber strength scattered by a Weibull law (weibull_m): the classic law when
// it is empty or 0, the literal model bit for bit on every path otherwise, the
// deterministic law in the limit of a large modulus, and a specimen of fibers
// with drawn strengths within its statistical error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "drawn_strengths.h"
#include "engine/bridging_law.h"
#include "engine/crack_openings.h"
#include "engine/input_checks.h"
#include "engine/input_table.h"
#include "engine/law_kernels.h"
#include "reference_model.h"
#include "tests/support/steps.h"

namespace quarnel {
namespace {

using quarnel_test::expect_same_steps;

std::vector<kernels::Path> runnable_paths() {
    std::vector<kernels::Path> paths;
    for (const kernels::Path p :
         {kernels::Path::portable, kernels::Path::avx2, kernels::Path::avx512}) {
        if (kernels::path_supported(p)) paths.push_back(p);
    }
    return paths;
}

CalculationInputs inputs(InputSet changes, std::int16_t model = 1) {
    InputSet texts = default_input_texts();
    for (const auto& [name, value] : changes) texts[name] = value;
    return read_calculation_inputs(texts, model);
}

std::vector<StepValues> engine_law(const CalculationInputs& in, const std::vector<double>& openings,
                                   kernels::Path path = kernels::best_path()) {
    FiberTables tables;
    SilentProgress silent;
    build_fiber_tables(in, tables, silent);
    return bridging_law(in, tables, openings, path);
}

// Fibers weak enough that many rupture within the law: the rupture load
// (about 3 to 5 N) lies near the peak loads (3 to 6.6 N).
InputSet weak_fibers() {
    return {{"sigma_fu", "25"}, {"f_reduction", "0.3"}};
}

TEST(StrengthScatter, an_empty_or_zero_modulus_is_the_classic_law_bit_for_bit) {
    for (const InputSet& base : {InputSet{}, weak_fibers()}) {
        InputSet short_run = base;
        short_run["division"] = "6";
        const CalculationInputs classic = inputs(short_run);
        const std::vector<StepValues> literal = reference::run(classic);
        for (const InputValue& m : {InputValue(""), InputValue("  "), InputValue("0"),
                                    InputValue("-0"), InputValue(0.0)}) {
            InputSet with_m = short_run;
            with_m["weibull_m"] = m;
            const CalculationInputs in = inputs(with_m);
            ASSERT_FALSE(check_calculation_inputs(in).has_value());
            for (const kernels::Path path : runnable_paths()) {
                SCOPED_TRACE(kernels::path_name(path));
                expect_same_steps(engine_law(in, division_openings(in), path), literal);
            }
        }
    }
}

struct ScatterCase {
    std::string name;
    InputSet changes;
    std::int16_t model;
    std::vector<double> openings;  // empty: the "Division" openings
};

void PrintTo(const ScatterCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<ScatterCase> scatter_cases() {
    InputSet weak = weak_fibers();
    weak["division"] = "4";
    std::vector<ScatterCase> cases;
    for (const char* m : {"3", "12.5", "1000"}) {
        InputSet c = weak;
        c["weibull_m"] = m;
        cases.push_back({std::string("weak_m_") + (m[1] == '2' ? "12_5" : m), c, 1, {}});
    }
    // Inclined crack, snubbing that grows with lb, the Function lb model.
    cases.push_back({"function_lb_inclined",
                     {{"weibull_m", "5"},
                      {"sigma_fu", "40"},
                      {"crack_xy", "30"},
                      {"kxy", "4"},
                      {"theta_r_xy", "20"},
                      {"fp1", "0.02"},
                      {"fd1", "0.05"},
                      {"Pmax", "1"},
                      {"delta_max", "0.45"},
                      {"C", "0.05"},
                      {"D", "0.3"},
                      {"division", "3"}},
                     2,
                     {}});
    // Openings that fall and rise again: the largest load carried so far,
    // not the load at hand, sets the share.
    InputSet back = weak;
    back["weibull_m"] = "4";
    cases.push_back({"openings_back_and_forth", back, 1, {0.1, 0.5, 0.2, 0.45, 0.3, 2.0, 0.6}});
    // Beyond 32 steps, so that a block's second half carries the largest
    // loads of its first.
    InputSet many = weak;
    many["weibull_m"] = "6";
    many["division"] = "20";
    cases.push_back({"forty_one_steps", many, 1, {}});
    return cases;
}

class ScatteredStrength : public ::testing::TestWithParam<ScatterCase> {};

// The engine forms a rising load's power as (r / P_rupture)^m Wcr^m, the
// literal model as (Wcr r / P_rupture)^m: the two differ by the rounding of
// the quotient, amplified m times, far below 1E-12 of a step's values for
// the moduli here. The paths among themselves agree bit for bit.
void expect_close_steps(const std::vector<StepValues>& engine,
                        const std::vector<StepValues>& literal) {
    ASSERT_EQ(engine.size(), literal.size());
    for (std::size_t n = 0; n < engine.size(); ++n) {
        SCOPED_TRACE("step " + std::to_string(n));
        EXPECT_EQ(engine[n].Wcr, literal[n].Wcr);
        EXPECT_NEAR(engine[n].P, literal[n].P, 1e-12 * std::fabs(literal[n].P));
        EXPECT_NEAR(engine[n].N_eff, literal[n].N_eff, 1e-12 * literal[n].N_eff);
        EXPECT_NEAR(engine[n].P_top, literal[n].P_top, 1e-12 * std::fabs(literal[n].P_top));
    }
}

TEST_P(ScatteredStrength, matches_the_literal_model_on_every_path) {
    const ScatterCase& c = GetParam();
    const CalculationInputs in = inputs(c.changes, c.model);
    ASSERT_FALSE(check_calculation_inputs(in).has_value()) << check_calculation_inputs(in)->message;
    const std::vector<double> openings = c.openings.empty() ? division_openings(in) : c.openings;
    const std::vector<StepValues> literal = reference::run_at(in, openings);
    const std::vector<StepValues> portable = engine_law(in, openings, kernels::Path::portable);
    expect_close_steps(portable, literal);
    for (const kernels::Path path : runnable_paths()) {
        SCOPED_TRACE(kernels::path_name(path));
        expect_same_steps(engine_law(in, openings, path), portable);
    }
    // The scatter acts: some share of fibers is lost where the classic law
    // keeps them all or drops whole cells.
    InputSet classic_changes = c.changes;
    classic_changes.erase("weibull_m");
    const std::vector<StepValues> classic = engine_law(inputs(classic_changes, c.model), openings);
    bool differs = false;
    for (std::size_t n = 0; n < openings.size(); ++n) differs |= literal[n].P != classic[n].P;
    EXPECT_TRUE(differs);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScatteredStrength, ::testing::ValuesIn(scatter_cases()),
                         [](const auto& info) { return info.param.name; });

// With m = 1000 a cell keeps exp(-(L / P_rupture)^1000) of its fibers: more
// than 99.5 % while L < 0.9947 P_rupture and less than 0.5 % once L >
// 1.0053 P_rupture, so it departs from the deterministic law (all below
// P_rupture, none above) by more than 0.5 % of its fibers only for loads
// within 0.53 % of the rupture load. The measure: at every step, the
// stresses differ by at most 0.5 % of the deterministic law's peak stress
// and the effective fiber ratios by at most 0.5 % of its ratio at step 0 (the
// share of fibers that cross the crack). The weak fibers' cells cross
// their rupture loads at many openings, spread over the grid, so no step
// holds more than a sliver of them in that band.
TEST(StrengthScatter, a_modulus_of_1000_agrees_with_the_deterministic_law_within_half_a_percent) {
    for (const InputSet& base : {InputSet{}, weak_fibers(),
                                 InputSet{{"sigma_fu", "40"}, {"crack_xy", "30"}, {"kxy", "4"}}}) {
        const CalculationInputs deterministic = inputs(base);
        InputSet with_m = base;
        with_m["weibull_m"] = "1000";
        const CalculationInputs scattered = inputs(with_m);
        const std::vector<double> openings = division_openings(deterministic);
        const std::vector<StepValues> d = engine_law(deterministic, openings);
        const std::vector<StepValues> w = engine_law(scattered, openings);
        double worst_sigma = 0;
        double worst_ratio = 0;
        for (std::size_t n = 0; n < d.size(); ++n) {
            worst_sigma = std::max(worst_sigma, std::fabs(w[n].sigma - d[n].sigma));
            worst_ratio = std::max(
                worst_ratio, std::fabs(w[n].effective_fiber_ratio - d[n].effective_fiber_ratio));
        }
        const double peak_sigma = d.back().sigma_top;
        EXPECT_LE(worst_sigma, 0.005 * peak_sigma) << "sigma_fu " << deterministic.sigma_fu;
        EXPECT_LE(worst_ratio, 0.005 * d[0].effective_fiber_ratio)
            << "sigma_fu " << deterministic.sigma_fu;
    }
}

// A specimen whose fibers draw their strengths: strongly aligned fibers at
// 30 degrees, so that a few thousand cells carry the law and each draws up to
// 3,000 fibers, weak enough that about a third of them break, at openings
// on both branches and past the peak, where a cell's intact share must follow
// its largest load rather than the load at hand. Each step agrees within 4.5
// standard errors of the specimen.
TEST(StrengthScatter, a_specimen_of_fibers_with_drawn_strengths_agrees_within_its_error) {
    const CalculationInputs in = inputs({{"weibull_m", "3"},
                                         {"sigma_fu", "25"},
                                         {"kxy", "100"},
                                         {"theta_r_xy", "30"},
                                         {"kzx", "100"}});
    ASSERT_FALSE(check_calculation_inputs(in).has_value());
    const std::vector<double> openings = {0.0, 0.2, 0.45, 0.6, 1.5, 0.3, 4.0, 8.0};
    const std::vector<StepValues> engine = engine_law(in, openings);
    const std::vector<reference::DrawnStep> drawn =
        reference::drawn_strength_run(in, openings, 3000, 20260301);
    for (std::size_t n = 0; n < openings.size(); ++n) {
        SCOPED_TRACE("opening " + std::to_string(openings[n]));
        EXPECT_NEAR(engine[n].P, drawn[n].P, 4.5 * drawn[n].P_error + 1e-12);
        EXPECT_NEAR(engine[n].N_eff, drawn[n].N_eff, 4.5 * drawn[n].N_eff_error + 1e-12);
    }
    // The errors are small beside what scatter does to the law: a third of
    // the intact share at the peak.
    EXPECT_LT(drawn[3].N_eff_error, 0.002 * drawn[3].N_eff);
    EXPECT_LT(drawn[3].N_eff, 0.9 * drawn[0].N_eff);
}

TEST(StrengthScatter, a_modulus_is_read_whole_and_refused_naming_its_field_and_rule) {
    EXPECT_EQ(read_weibull_m(" 7.5 "), 7.5f);
    EXPECT_EQ(read_weibull_m(""), 0.0f);
    EXPECT_EQ(read_weibull_m(2.0), 2.0f);
    const auto refusal = [](InputSet changes) {
        const auto r = check_calculation_inputs(inputs(std::move(changes)));
        return r ? refusal_message(*r, 1) : std::string("accepted");
    };
    for (const char* text : {"abc", "5x", "1,5", "inf"}) {
        SCOPED_TRACE(text);
        const std::string message = refusal({{"weibull_m", text}});
        EXPECT_EQ(
            message.rfind("\"Weibull modulus of fiber strength\" must be empty or one number", 0),
            0u)
            << message;
    }
    EXPECT_EQ(refusal({{"weibull_m", "-2"}}),
              "\"Weibull modulus of fiber strength\" must not be negative (it is -2); empty or 0 "
              "gives every fiber the same strength.");
    EXPECT_EQ(refusal({{"weibull_m", "1e39"}}),
              "\"Weibull modulus of fiber strength\" is beyond the range of numbers it can hold.");
    EXPECT_EQ(refusal({{"weibull_m", "5"}, {"sigma_fu", "0"}}),
              "\"Rupture strength (MPa)\" must be greater than 0 (it is 0) when \"Weibull modulus "
              "of fiber strength\" is given: it is then the scale of the fibers' strengths.");
    // The classic run keeps taking any rupture strength.
    EXPECT_EQ(refusal({{"sigma_fu", "0"}}), "accepted");
    EXPECT_EQ(refusal({{"weibull_m", "0"}, {"sigma_fu", "-3"}}), "accepted");
}

}  // namespace
}  // namespace quarnel
