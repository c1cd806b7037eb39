#include "study/law_warnings.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/input_table.h"
#include "study/law_run.h"

namespace quarnel {
namespace {

TEST(LawWarnings, name_each_plane_whose_weights_miss_one) {
    EXPECT_TRUE(law_warnings({}).empty());
    const std::vector<std::string> one = law_warnings({{"kxy", "1e4"}});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].rfind("x-y plane: its 90 orientation weights sum to 0.716312", 0), 0u);
    EXPECT_EQ(law_warnings({{"kxy", "1e4"}, {"kzx", "1e4"}}).size(), 2u);
    EXPECT_TRUE(law_warnings({{"kxy", "1e4"}, {"orientation_weights", "exact"}}).empty());
}

TEST(LawWarnings, none_for_inputs_that_are_refused_or_cannot_be_read) {
    EXPECT_TRUE(law_warnings({{"kxy", "1e4"}, {"Lf", "0"}}).empty());
    EXPECT_TRUE(law_warnings({{"kxy", "1e4"}, {"model", "3"}}).empty());
    EXPECT_TRUE(law_warnings({{"kxy", "1e4"}, {"orientation_weights", "fine"}}).empty());
    // "Division" is not asked for: a mix's type may be computed at another's
    // openings.
    EXPECT_EQ(law_warnings({{"kxy", "1e4"}, {"division", "0"}}).size(), 1u);
}

TEST(LawOrientationWeightError, is_the_larger_distance_of_the_sums_from_one) {
    EXPECT_LT(law_orientation_weight_error({}), 1e-14);
    const double narrow = law_orientation_weight_error({{"kzx", "1e4"}});
    EXPECT_NEAR(narrow, 1 - 0.716312, 1e-6);
    EXPECT_EQ(law_orientation_weight_error({{"kzx", "1e4"}, {"kxy", "4"}}), narrow);
    EXPECT_LT(law_orientation_weight_error({{"kzx", "1e4"}, {"orientation_weights", "exact"}}),
              1e-12);
    EXPECT_TRUE(std::isnan(law_orientation_weight_error({{"model", "3"}})));
}

TEST(LawOrientationWeightError, of_a_mix_is_its_worst_type) {
    const InputSet shared = {{"Am", "2500"}};
    const double narrow = law_orientation_weight_error({{"kxy", "1e4"}});
    EXPECT_EQ(mix_orientation_weight_error({{}, {{"kxy", "1e4"}}, {{"kxy", "100"}}}, shared),
              narrow);
    EXPECT_LT(mix_orientation_weight_error({{}, {}}, shared), 1e-14);
    EXPECT_TRUE(std::isnan(mix_orientation_weight_error({{}, {{"model", "7"}}}, shared)));
}

// With kxy = kzx = 1e4 about 1 degree, a cell centre, the classic weights
// count nearly twice the fibers there are; the exact ones count each once.
TEST(ExactWeights, a_narrow_density_bridges_no_more_fibers_than_there_are) {
    InputSet inputs = {{"kxy", "1e4"},
                       {"kzx", "1e4"},
                       {"theta_r_xy", "1"},
                       {"theta_r_zx", "1"},
                       {"division", "1"}};
    const LawRun classic = compute_law(inputs, std::nullopt);
    ASSERT_FALSE(classic.refused());
    EXPECT_GT(classic.steps[0].effective_fiber_ratio, 1.9);

    inputs["orientation_weights"] = "exact";
    const LawRun exact = compute_law(inputs, std::nullopt);
    ASSERT_FALSE(exact.refused());
    for (const StepValues& s : exact.steps) EXPECT_LE(s.effective_fiber_ratio, 1.0) << s.n;
    // Every fiber but those of the level at z = -Lf/2, which do not reach
    // the crack: 100 levels of 101.
    EXPECT_NEAR(exact.steps[0].effective_fiber_ratio, 100.0 / 101, 2e-2);
}

}  // namespace
}  // namespace quarnel
