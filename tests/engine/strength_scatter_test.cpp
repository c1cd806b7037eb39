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

TEST_P(ScatteredStrength, matches_the_literal_model_on_every_path) {
    const ScatterCase& c = GetParam();
    const CalculationInputs in = inputs(c.changes, c.model);
    ASSERT_FALSE(check_calculation_inputs(in).has_value()) << check_calculation_inputs(in)->message;
    const std::vector<double> openings = c.openings.empty() ? division_openings(in) : c.openings;
    const std::vector<StepValues> literal = reference::run_at(in, openings);
    for (const kernels::Path path : runnable_paths()) {
        SCOPED_TRACE(kernels::path_name(path));
        expect_same_steps(engine_law(in, openings, path), literal);
    }
    // The scatter acts: some share of fibers is lost where the classic law
    // keeps them all or drops whole cells.
    InputSet classic_changes = c.changes;
    classic_changes.erase("weibull_m");
    const std::vector<StepValues> classic =
        engine_law(inputs(classic_changes, c.model), openings);
    bool differs = false;
    for (std::size_t n = 0; n < openings.size(); ++n) differs |= literal[n].P != classic[n].P;
    EXPECT_TRUE(differs);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScatteredStrength, ::testing::ValuesIn(scatter_cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quarnel
