#include "engine/crack_opening_stepper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/crack_openings.h"
#include "engine/input_checks.h"
#include "engine/input_table.h"
#include "engine/law_kernels.h"
#include "engine/pullout_law.h"
#include "reference_model.h"
#include "tests/support/steps.h"

namespace quarnel {
namespace {

struct Case {
    std::string name;
    InputSet texts;
    std::int16_t model;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// Every version of the inner pass that this build has and this processor runs.
std::vector<kernels::Path> runnable_paths() {
    std::vector<kernels::Path> paths;
    for (const kernels::Path p :
         {kernels::Path::portable, kernels::Path::avx2, kernels::Path::avx512}) {
        if (kernels::path_supported(p)) paths.push_back(p);
    }
    return paths;
}

std::vector<StepValues> steps_over(const CalculationInputs& in, const FiberTables& tables,
                                   ProgressSink& progress) {
    std::vector<StepValues> steps;
    CrackOpeningStepper stepper(in, tables);
    stepper.run(progress, [&](const StepValues& s) {
        steps.push_back(s);
        return true;
    });
    return steps;
}

std::vector<StepValues> engine_run(const CalculationInputs& in, int* yields = nullptr,
                                   std::vector<std::string>* texts = nullptr) {
    struct Recorder : ProgressSink {
        int yields = 0;
        std::vector<std::string> texts;
        void show_status(const std::string& t) override { texts.push_back(t); }
        bool yield() override { return ++yields > 0; }
    } progress;
    FiberTables tables;
    build_fiber_tables(in, tables, progress);
    const std::vector<StepValues> steps = steps_over(in, tables, progress);
    if (yields) *yields = progress.yields;
    if (texts) *texts = progress.texts;
    return steps;
}

using quarnel_test::expect_same_steps;

// Parameter sets drawn with a fixed seed from value lists chosen to reach the
// model's branches: inclined cracks (folded angles included), strong and
// crossed orientation, snubbing that grows or shrinks with lb, rupture-heavy
// fibers, openings beyond Lf/2 and few or no steps.
std::vector<Case> drawn_cases() {
    std::mt19937 rng(20261207);
    auto pick = [&](const std::vector<std::string>& values) {
        return values[rng() % values.size()];
    };
    std::vector<Case> cases;
    for (int c = 0; c < 24; ++c) {
        InputSet t = default_input_texts();
        const std::int16_t model = c % 2 == 0 ? 1 : 2;
        t["crack_xy"] = pick({"0", "0", "15", "30", "60", "90", "89.5"});
        t["crack_zx"] = pick({"0", "0", "10", "45", "90"});
        t["kxy"] = pick({"1", "0.3", "2", "4", "10"});
        t["kzx"] = pick({"1", "0.5", "3"});
        t["theta_r_xy"] = pick({"0", "30", "-45", "60"});
        t["theta_r_zx"] = pick({"0", "20", "-75"});
        t["Lf"] = pick({"30", "12", "6.5"});
        t["fp1"] = pick({"0", "0", "0.02", "-0.01"});
        t["fd1"] = pick({"0", "0", "0.05", "-0.02"});
        t["fp0"] = pick({"0.5", "0.8", "0"});
        t["f_reduction"] = pick({"0.3", "1.5", "3"});
        t["sigma_fu"] = pick({"774", "774", "60", "25"});
        t["division"] = pick({"1", "2", "3", "4", "6", "-2"});
        if (model == 1) {
            t["Pmax"] = pick({"3", "1.5"});
            t["delta_max"] = pick({"0.45", "0.1", "20"});
        } else {
            t["Pmax"] = pick({"3", "1"});
            t["delta_max"] = pick({"0.45", "0", "-0.2"});
            t["C"] = pick({"0.05", "0.2", "12"});
            t["D"] = pick({"0.3", "0", "-0.4", "1.2"});
        }
        cases.push_back({"drawn_" + std::to_string(c), t, model});
    }
    return cases;
}

std::vector<Case> all_cases() {
    std::vector<Case> cases;
    cases.push_back({"defaults_constant", default_input_texts(), 1});
    InputSet fit = default_input_texts();
    fit["Pmax"] = "3";
    fit["delta_max"] = "0.45";
    fit["C"] = "0.05";
    fit["D"] = "0.3";
    cases.push_back({"defaults_function_lb", fit, 2});
    for (const Case& c : drawn_cases()) cases.push_back(c);
    return cases;
}

class MatchesLiteralModel : public ::testing::TestWithParam<Case> {};

TEST_P(MatchesLiteralModel, bit_for_bit_on_every_path) {
    const CalculationInputs in = read_calculation_inputs(GetParam().texts, GetParam().model);
    ASSERT_FALSE(check_calculation_inputs(in).has_value()) << check_calculation_inputs(in)->message;
    FiberTables tables;
    SilentProgress silent;
    build_fiber_tables(in, tables, silent);
    ASSERT_FALSE(check_fiber_tables(in, tables).has_value());
    const std::vector<StepValues> literal = reference::run(in);
    expect_same_steps(engine_run(in), literal);
    for (const kernels::Path path : runnable_paths()) {
        SCOPED_TRACE(kernels::path_name(path));
        expect_same_steps(bridging_law(in, tables, division_openings(in), path), literal);
    }
}

INSTANTIATE_TEST_SUITE_P(ParameterSets, MatchesLiteralModel, ::testing::ValuesIn(all_cases()),
                         [](const auto& info) { return info.param.name; });

// Opening sequences other than the "Division" scheme, on parameter sets that
// drop cells by pull-out and by rupture, against the literal model on every
// path. The openings include exact embedded lengths, where a cell is pulled
// out (Wcr >= lb) rather than evaluated on its falling branch.
struct Sequence {
    std::string name;
    std::vector<double> openings;
};

std::vector<Sequence> sequences(const CalculationInputs& in, const FiberTables& tables) {
    const double half = static_cast<float>(static_cast<double>(in.Lf) / 2);
    std::vector<Sequence> s;
    Sequence increasing{"increasing_200", {}};
    for (int n = 0; n < 200; ++n) increasing.openings.push_back(half * n / 199);
    s.push_back(increasing);
    Sequence decreasing{"decreasing", {}};
    for (int n = 70; n >= 0; --n) decreasing.openings.push_back(half * n / 70);
    s.push_back(decreasing);
    s.push_back({"repeated", {0.3, 0.3, 0.3, 1.0, 1.0, 0.3, 0.3}});
    s.push_back({"single", {0.2}});
    s.push_back({"beyond_half_length", {0.1, half * 1.5, 0.1, half * 4}});
    s.push_back({"only_zero", {0.0, 0.0, 0.0}});
    s.push_back({"tiny", {1e-300, 4.9406564584124654e-324, 0.0, 1e-300}});
    s.push_back({"exact_embedded_lengths",
                 {0.0, tables.lb_table(45, 45, 60), tables.lb_table(10, 30, 80),
                  tables.lb_table(45, 46, 100), tables.lb_table(45, 46, 100)}});
    return s;
}

class AtAnyOpenings : public ::testing::TestWithParam<Case> {};

TEST_P(AtAnyOpenings, match_the_literal_model_on_every_path) {
    const CalculationInputs in = read_calculation_inputs(GetParam().texts, GetParam().model);
    ASSERT_FALSE(check_calculation_inputs(in).has_value());
    FiberTables tables;
    SilentProgress silent;
    build_fiber_tables(in, tables, silent);
    reference::Tables literal_tables;
    reference::build_tables(in, literal_tables);
    for (const Sequence& sequence : sequences(in, tables)) {
        SCOPED_TRACE(sequence.name);
        reference::Tables fresh = literal_tables;
        const std::vector<StepValues> literal =
            reference::run_steps_at(in, fresh, sequence.openings);
        for (const kernels::Path path : runnable_paths()) {
            SCOPED_TRACE(kernels::path_name(path));
            expect_same_steps(bridging_law(in, tables, sequence.openings, path), literal);
        }
    }
}

std::vector<Case> opening_cases() {
    InputSet rupture = default_input_texts();
    rupture["sigma_fu"] = "60";
    rupture["f_reduction"] = "1.5";
    rupture["crack_xy"] = "30";
    rupture["kxy"] = "3";
    rupture["fp1"] = "0.02";
    InputSet function = default_input_texts();
    function["Pmax"] = "3";
    function["delta_max"] = "0.45";
    function["C"] = "0.05";
    function["D"] = "0.3";
    function["crack_zx"] = "45";
    return {{"rupture_heavy_constant", rupture, 1}, {"function_lb_inclined", function, 2}};
}

INSTANTIATE_TEST_SUITE_P(ParameterSets, AtAnyOpenings, ::testing::ValuesIn(opening_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(BridgingLaw, refuses_an_opening_that_is_negative_or_not_finite) {
    const CalculationInputs in = read_calculation_inputs(default_input_texts(), 1);
    FiberTables tables;
    SilentProgress silent;
    build_fiber_tables(in, tables, silent);
    for (const double bad : {-1e-300, -1.0, std::nan(""), HUGE_VAL}) {
        EXPECT_THROW(bridging_law(in, tables, {0.0, 0.1, bad}), std::invalid_argument);
        EXPECT_EQ(first_invalid_opening({0.0, 0.1, bad, -1.0}), 2u);
    }
    EXPECT_FALSE(first_invalid_opening({0.0, -0.0, 1e300}).has_value());
}

// The inner pass of every path on one cell at the law's exact boundaries: an
// opening equal to lb pulls the fiber out, a load equal to the rupture load
// holds and one just above it breaks the fiber.
TEST(LawKernels, every_path_keeps_the_boundaries_of_the_law) {
    const float lb = 5.0f;
    const PulloutCell cell{lb, 2.0f, 0.5f};
    const double at_quarter = 0.25 * rising_ratio(cell);
    struct Probe {
        double opening;
        double P_rupture;
        bool bridges;
    };
    const Probe probes[] = {{lb, 100, false},
                            {std::nextafter(static_cast<double>(lb), 0.0), 100, true},
                            {0.25, at_quarter, true},
                            {0.25, std::nextafter(at_quarter, 0.0), false}};
    for (const kernels::Path path : runnable_paths()) {
        SCOPED_TRACE(kernels::path_name(path));
        for (const Probe& probe : probes) {
            const BilinearCell law = bilinear_cell(cell, probe.P_rupture);
            const std::uint16_t group = 0;
            std::uint64_t cells[kernels::pair_words] = {1};
            const double weights[angle_cells] = {1};
            double openings[kernels::block_steps] = {0.0, probe.opening};
            double loads[kernels::block_steps] = {};
            std::uint8_t bridged = 0;
            double P[kernels::block_steps] = {};
            double N[kernels::block_steps] = {};
            kernels::LevelBlock b;
            b.openings = openings;
            b.steps = 2;
            b.groups = &group;
            b.group_count = 1;
            b.laws = &law;
            b.loads = loads;
            b.bridged = &bridged;
            b.cell_bits = cells;
            b.group_of_pair = &group;
            b.w_xy = weights;
            b.w_zx = weights;
            b.coefficient = 1;
            b.P = P;
            b.N_eff = N;
            kernels::evaluate_level(path, b);
            EXPECT_EQ(bridged, probe.bridges ? 2 : 1) << probe.opening;
            EXPECT_EQ(N[1], probe.bridges ? 1.0 : 0.0) << probe.opening;
            EXPECT_EQ(N[0], 1.0);
        }
    }
}

TEST(FiberTables, match_the_literal_tables_where_fibers_reach_the_crack) {
    InputSet t = default_input_texts();
    t["crack_xy"] = "30";
    t["fp1"] = "0.02";
    t["C"] = "0.05";
    t["D"] = "-0.3";
    t["delta_max"] = "-0.45";
    const CalculationInputs in = read_calculation_inputs(t, 2);
    FiberTables tables;
    SilentProgress silent;
    build_fiber_tables(in, tables, silent);
    reference::Tables literal;
    reference::build_tables(in, literal);
    int mismatches = 0;
    for (int k = 0; k < centroid_levels; ++k) {
        for (int j = 1; j <= angle_cells; ++j) {
            for (int i = 1; i <= angle_cells; ++i) {
                const std::size_t c = (i - 1) + 90 * ((j - 1) + 90 * static_cast<std::size_t>(k));
                mismatches += tables.lb_table(i, j, k) != literal.lb[c];
                if (literal.lb[c] > 0) {
                    mismatches += tables.P1_table(i, j, k) != literal.P1[c];
                    mismatches += tables.delta1_table(i, j, k) != literal.delta1[c];
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(tables.lb_table(1, 1, 0), 0.0f);
    EXPECT_LT(tables.groups.size(), 8100u);
}

TEST(CrackOpening, openings_run_to_the_mid_opening_and_then_to_half_the_fiber_length) {
    InputSet t = default_input_texts();
    t["division"] = "50";
    t["delta_max"] = "0.5";
    const CalculationInputs in = read_calculation_inputs(t, 1);
    const double mid = mid_opening(in);
    EXPECT_EQ(mid, 0.5);
    EXPECT_EQ(crack_opening(in, mid, 0), 0.0);
    EXPECT_NEAR(crack_opening(in, mid, 7), 0.07, 1e-15);
    EXPECT_EQ(crack_opening(in, mid, 50), 0.5);
    EXPECT_NEAR(crack_opening(in, mid, 51), 0.79, 1e-14);
    EXPECT_EQ(crack_opening(in, mid, 100), 15.0);
}

TEST(CrackOpeningStepper, default_run_gives_61_steps_with_texts_and_yields) {
    const CalculationInputs in = read_calculation_inputs(default_input_texts(), 1);
    int yields = 0;
    std::vector<std::string> texts;
    const std::vector<StepValues> steps = engine_run(in, &yields, &texts);
    ASSERT_EQ(steps.size(), 61u);
    EXPECT_EQ(yields, 1 + 101 + 61);
    ASSERT_EQ(texts.size(), 1u + 101u + 61u);
    EXPECT_EQ(texts[0], "Model setting...");
    EXPECT_EQ(texts[1], "Model setting 0%");
    EXPECT_EQ(texts[101], "Model setting 100%");
    EXPECT_EQ(texts[102], "Calculating for Step 0");
    EXPECT_EQ(texts.back(), "Calculating for Step 60");

    // Step 0: no load, the peak becomes 0, the crossing share bridges.
    EXPECT_EQ(steps[0].P, 0.0);
    EXPECT_EQ(steps[0].P_top, 0.0);
    EXPECT_GT(steps[0].effective_fiber_ratio, 0.3);
    EXPECT_LT(steps[0].effective_fiber_ratio, 1.0);
    // The peak is kept when later loads are smaller.
    double peak = 0;
    for (const StepValues& s : steps) peak = std::max(peak, s.P);
    EXPECT_EQ(steps.back().P_top, peak);
    EXPECT_LT(steps.back().P, peak);
    EXPECT_EQ(steps.back().Wcr, 15.0);
}

TEST(CrackOpeningStepper, negative_division_runs_no_step) {
    InputSet t = default_input_texts();
    t["division"] = "-4";
    EXPECT_TRUE(engine_run(read_calculation_inputs(t, 1)).empty());
}

TEST(CrackOpeningStepper, a_yield_that_refuses_stops_the_run) {
    const CalculationInputs in = read_calculation_inputs(default_input_texts(), 1);
    struct StopAtFifth : ProgressSink {
        int yields = 0;
        void show_status(const std::string&) override {}
        bool yield() override { return ++yields < 5; }
    } progress;
    FiberTables tables;
    EXPECT_FALSE(build_fiber_tables(in, tables, progress));
    EXPECT_EQ(progress.yields, 5);
}

}  // namespace
}  // namespace quarnel
