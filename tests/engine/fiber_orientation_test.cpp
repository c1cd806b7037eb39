#include "engine/fiber_orientation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine/input_table.h"

namespace quarnel {
namespace {

CalculationInputs inputs_with(
    std::initializer_list<std::pair<const std::string, std::string>> changes) {
    InputSet texts = default_input_texts();
    for (const auto& [field, text] : changes) texts[field] = text;
    return read_calculation_inputs(texts, 1);
}

double degrees(double radians) {
    return radians / 0.017453292522222223;
}

TEST(OrientationCoefficients, principal_angle_zero_gives_Oa_0_Ob_k_Oc_1) {
    const OrientationCoefficients c = orientation_coefficients(4.0f, 0.0);
    EXPECT_EQ(c.Oa, 0.0);
    EXPECT_EQ(c.Ob, 4.0);
    EXPECT_EQ(c.Oc, 1.0);
}

TEST(OrientationCoefficients, intensity_2_at_30_degrees) {
    const CalculationInputs in = inputs_with({{"kxy", "2"}, {"theta_r_xy", "30"}});
    const Orientation o = orientation_setup(in);
    EXPECT_NEAR(o.xy.Oa, -0.692820323, 1e-9);
    EXPECT_NEAR(o.xy.Ob, 1.4, 1e-9);
    EXPECT_NEAR(o.xy.Oc, 0.8, 1e-9);
    auto index_of = [](int angle) { return (angle + 89) / 2 + 1; };
    EXPECT_NEAR(w_xy(in, o, index_of(29)), 0.0157086994, 1e-10);
    EXPECT_NEAR(w_xy(in, o, index_of(31)), 0.0157086994, 1e-10);
    EXPECT_NEAR(w_xy(in, o, index_of(-1)), 0.0124191325, 1e-10);
}

TEST(OrientationWeights, intensity_4_gathers_fibers_about_the_principal_angle) {
    const CalculationInputs in = inputs_with({{"kxy", "4"}});
    const Orientation o = orientation_setup(in);
    EXPECT_NEAR(w_xy(in, o, 45), 0.022201935, 1e-9);  // -1 degree
    EXPECT_NEAR(w_xy(in, o, 46), 0.022201935, 1e-9);  // +1 degree
    EXPECT_NEAR(w_xy(in, o, 1), 0.00555682496, 1e-11);
    EXPECT_NEAR(w_xy(in, o, 90), 0.00555682496, 1e-11);
    EXPECT_NEAR(orientation_density(1 * in.deg_to_rad, 4.0f, o.xy), 2 / std::numbers::pi, 1e-3);
}

TEST(OrientationWeights, uniform_intensity_gives_equal_weights_summing_to_one) {
    const CalculationInputs in = inputs_with({{"theta_r_xy", "37"}, {"theta_r_zx", "-12"}});
    const Orientation o = orientation_setup(in);
    double sum_xy = 0, sum_zx = 0;
    for (int i = 1; i <= angle_cells; ++i) {
        EXPECT_NEAR(w_xy(in, o, i), 1.0 / 90, 1e-15);
        sum_xy += w_xy(in, o, i);
        sum_zx += w_zx(in, o, i);
    }
    EXPECT_NEAR(sum_xy, 1.0, 1e-12);
    EXPECT_NEAR(sum_zx, 1.0, 1e-12);
}

TEST(EmbeddedLength, levels_span_half_the_fiber_length) {
    EXPECT_EQ(z_level(30.0f, 0), -15.0f);
    EXPECT_EQ(z_level(30.0f, 100), 0.0f);
    EXPECT_EQ(z_level(30.0f, 50), -7.5f);
    const CalculationInputs in = inputs_with({});
    for (int psi : {-89, -31, 1, 89}) {
        for (int phi : {-89, 1, 59}) {
            const double theta = fiber_angle(in, phi, psi);
            EXPECT_EQ(embedded_length(z_level(in.Lf, 0), in.Lf, theta), 0.0f);
            EXPECT_NEAR(embedded_length(z_level(in.Lf, 100), in.Lf, theta), 15.0f, 1e-5);
        }
    }
}

TEST(EmbeddedLength, worked_cells_with_a_30_mm_fiber) {
    const CalculationInputs in = inputs_with({});
    const double theta_1 = fiber_angle(in, 1, 1);
    EXPECT_NEAR(degrees(theta_1), 1.414178, 5e-7);
    EXPECT_NEAR(embedded_length(-7.5f, in.Lf, theta_1), 7.497715f, 5e-6);
    const double theta_2 = fiber_angle(in, 59, -31);
    EXPECT_NEAR(degrees(theta_2), 63.802047, 5e-7);
    EXPECT_NEAR(embedded_length(-3.75f, in.Lf, theta_2), 6.505724f, 5e-6);
}

TEST(SnubbingAngle, equals_the_fiber_angle_when_the_crack_is_not_inclined) {
    const CalculationInputs in = inputs_with({});
    for (int psi = -89; psi <= 89; psi += 22) {
        for (int phi = -89; phi <= 89; phi += 2) {
            EXPECT_EQ(snubbing_angle(in, phi, psi), fiber_angle(in, phi, psi));
        }
    }
}

TEST(SnubbingAngle, inclined_cracks) {
    const CalculationInputs tilted = inputs_with({{"crack_xy", "1"}, {"crack_zx", "1"}});
    EXPECT_EQ(snubbing_angle(tilted, -1, -1), 0.0);

    const CalculationInputs thirty = inputs_with({{"crack_xy", "30"}});
    EXPECT_NEAR(snubbing_angle(thirty, 61, 1), 1.595478384, 1e-9);
    EXPECT_NEAR(snubbing_angle(thirty, 59, 1), 1.553345693, 1e-9);

    // a = 91 degrees folds back to 1 degree with a right-angle offset.
    const CalculationInputs ninety = inputs_with({{"crack_xy", "90"}});
    const double d = ninety.deg_to_rad;
    const double b = 5 * d;
    const double expected =
        std::acos(std::cos(91 * d - 3.141592654 / 2) * std::fabs(std::cos(b))) + 3.141592654 / 2;
    EXPECT_NEAR(snubbing_angle(ninety, 1, 5), expected, 1e-9);
}

}  // namespace
}  // namespace quarnel
