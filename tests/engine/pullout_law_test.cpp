#include "engine/pullout_law.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/input_table.h"

namespace quarnel {
namespace {

CalculationInputs worked_inputs() {
    InputSet texts = default_input_texts();
    texts["Pmax"] = "1";
    texts["delta_max"] = "0.5";
    texts["fp0"] = "0.5";
    texts["fd0"] = "0";
    texts["f_reduction"] = "0.3";
    texts["sigma_fu"] = "774";
    return read_calculation_inputs(texts, 1);
}

TEST(PulloutLaw, worked_cell_on_the_falling_branch) {
    const CalculationInputs in = worked_inputs();
    const Corner corner = compute_corner(in, 5.0f, 0.5);
    EXPECT_NEAR(corner.P1, 1.28403, 5e-6);
    EXPECT_EQ(corner.delta1, 0.5f);
    const double P_rupture = rupture_load(in, 0.5);
    EXPECT_NEAR(P_rupture, 130.806, 5e-4);
    const CellResponse r = evaluate_cell({5.0f, corner.P1, corner.delta1}, 2.75, P_rupture);
    EXPECT_NEAR(r.P_fiber, 0.64201, 5e-6);
    EXPECT_EQ(r.fiber_flag, 1);
}

TEST(PulloutLaw, branch_boundaries) {
    const PulloutCell cell{5.0f, 2.0f, 0.5f};
    // At zero opening the cell bridges with no load.
    EXPECT_EQ(evaluate_cell(cell, 0.0, 100).P_fiber, 0.0);
    EXPECT_EQ(evaluate_cell(cell, 0.0, 100).fiber_flag, 1);
    // At delta1 the rising branch applies.
    EXPECT_EQ(evaluate_cell(cell, 0.5, 100).P_fiber, 0.5 * 4.0f);
    // At lb the fiber is pulled out, not on the falling branch.
    EXPECT_EQ(evaluate_cell(cell, 5.0, 100).fiber_flag, 0);
    EXPECT_EQ(evaluate_cell(cell, 5.0, 100).P_fiber, 0.0);
    EXPECT_EQ(evaluate_cell(cell, 4.0, 100).P_fiber,
              2.0f + static_cast<float>(-2.0 / 4.5) * (4.0 - 0.5));
}

TEST(PulloutLaw, load_equal_to_rupture_load_keeps_the_fiber) {
    const PulloutCell cell{5.0f, 2.0f, 0.5f};
    const double P = 0.25 * 4.0f;
    EXPECT_EQ(evaluate_cell(cell, 0.25, P).fiber_flag, 1);
    const CellResponse broken = evaluate_cell(cell, 0.25, std::nextafter(P, 0.0));
    EXPECT_EQ(broken.fiber_flag, 0);
    EXPECT_EQ(broken.P_fiber, 0.0);
}

TEST(PulloutLaw, displacement_at_peak_beyond_lb_rises_until_pull_out) {
    const PulloutCell cell{1.0f, 2.0f, 1.5f};
    EXPECT_EQ(evaluate_cell(cell, 0.9, 100).P_fiber, 0.9 * rising_ratio(cell));
    EXPECT_EQ(evaluate_cell(cell, 1.0, 100).fiber_flag, 0);
}

TEST(PulloutLaw, no_snubbing_angle_leaves_the_base_values) {
    const CalculationInputs in = worked_inputs();
    const Corner corner = compute_corner(in, 5.0f, 0.0);
    EXPECT_EQ(corner.P1, 1.0f);
    EXPECT_EQ(corner.delta1, 0.5f);
    EXPECT_EQ(rupture_load(in, 0.0), static_cast<double>(774.0f) * static_cast<double>(in.Af));
}

TEST(PulloutLaw, snubbing_coefficient_grows_with_lb) {
    CalculationInputs in = worked_inputs();
    in.fp1 = 0.1f;
    EXPECT_LT(compute_corner(in, 1.0f, 0.5).P1, compute_corner(in, 5.0f, 0.5).P1);
    in.fp0 = -1.0f;
    in.fp1 = 0.0f;
    EXPECT_LT(compute_corner(in, 5.0f, 0.5).P1, 1.0f);
}

TEST(PulloutLaw, function_model_with_zero_exponents_matches_the_constant_model) {
    CalculationInputs constant = worked_inputs();
    constant.Pmax = 3;
    constant.delta_max = 0.05;
    CalculationInputs function = constant;
    function.model = 2;
    function.Pmax = 3;       // A
    function.delta_max = 0;  // B
    function.C = 0.05;
    function.D = 0;
    for (float lb : {0.5f, 7.3f, 15.0f}) {
        const Corner a = compute_corner(constant, lb, 0.7);
        const Corner b = compute_corner(function, lb, 0.7);
        EXPECT_EQ(a.P1, b.P1);
        EXPECT_EQ(a.delta1, b.delta1);
    }
}

}  // namespace
}  // namespace quarnel
