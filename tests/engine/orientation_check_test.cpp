#include "engine/orientation_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "engine/fiber_orientation.h"
#include "engine/input_table.h"

namespace quarnel {
namespace {

CalculationInputs inputs_with(
    std::initializer_list<std::pair<const std::string, std::string>> changes) {
    InputSet texts = default_input_texts();
    for (const auto& [member, text] : changes) texts[member] = text;
    return read_calculation_inputs(texts, 1);
}

// The elliptic density in true radians, sqrt k / (pi (cos^2 u + k sin^2 u))
// with u the angle from the principal one, integrated over the 2-degree cell
// about `angle_deg` by the composite Simpson rule on fine steps.
double integrated_cell(double k, double theta_r_deg, int angle_deg) {
    constexpr double pi = std::numbers::pi;
    const auto p = [&](double deg) {
        const double u = (deg - theta_r_deg) * (pi / 180);
        const double c = std::cos(u), s = std::sin(u);
        return std::sqrt(k) / (pi * (c * c + k * s * s));
    };
    constexpr int steps = 20000;
    const double a = angle_deg - 1.0, h = 2.0 / steps;
    double sum = p(a) + p(a + 2.0);
    for (int n = 1; n < steps; ++n) sum += (n % 2 == 1 ? 4 : 2) * p(a + n * h);
    return sum * h / 3 * (pi / 180);
}

struct SumCase {
    const char* k;
    const char* theta_r;
};

void PrintTo(const SumCase& c, std::ostream* os) {
    *os << "k=" << c.k << " theta_r=" << c.theta_r;
}

class ExactWeights : public ::testing::TestWithParam<SumCase> {};

TEST_P(ExactWeights, every_plane_sums_to_one) {
    const SumCase& c = GetParam();
    const CalculationInputs in = inputs_with({{"orientation_weights", "exact"},
                                              {"kxy", c.k},
                                              {"theta_r_xy", c.theta_r},
                                              {"kzx", c.k},
                                              {"theta_r_zx", "-37"}});
    const PlaneWeightSums sums = orientation_weight_sums(in);
    EXPECT_NEAR(sums.xy, 1.0, 1e-12);
    EXPECT_NEAR(sums.zx, 1.0, 1e-12);
    const Orientation o = orientation_setup(in);
    for (int i = 1; i <= angle_cells; ++i) EXPECT_GE(w_xy(in, o, i), 0.0) << i;
    EXPECT_TRUE(orientation_weight_warnings(in).empty());
}

INSTANTIATE_TEST_SUITE_P(
    IntensitiesAndPrincipalAngles, ExactWeights,
    ::testing::Values(SumCase{"1e-3", "0"}, SumCase{"1e-3", "0.5"}, SumCase{"0.1", "90"},
                      SumCase{"1", "30"}, SumCase{"4", "45"}, SumCase{"100", "-60"},
                      SumCase{"1e4", "0"}, SumCase{"1e4", "1"}, SumCase{"1e4", "89"},
                      SumCase{"1e6", "0"}, SumCase{"1e6", "1"}, SumCase{"1e6", "90"},
                      SumCase{"1e6", "180.3"}, SumCase{"1e6", "-1234.5"}, SumCase{"0", "17"},
                      SumCase{"0", "0"}, SumCase{"0", "-89"}, SumCase{"1e-30", "0"},
                      SumCase{"3e38", "1e30"}));

struct CellCase {
    double k;
    double theta_r;
    int angle;
};

void PrintTo(const CellCase& c, std::ostream* os) {
    *os << "k=" << c.k << " theta_r=" << c.theta_r << " cell " << c.angle;
}

class ExactCellWeight : public ::testing::TestWithParam<CellCase> {};

// The cumulative function's difference is the density's integral: on either
// side of the principal angle, at the peak of a narrow density, and on cells
// that cross the branch end 90 degrees from the principal angle.
TEST_P(ExactCellWeight, is_the_density_integrated_over_the_cell) {
    const CellCase& c = GetParam();
    // The intensity and angle as the inputs hold them, in 32 bits.
    const float k = static_cast<float>(c.k);
    const float theta_r = static_cast<float>(c.theta_r);
    EXPECT_NEAR(exact_cell_weight(k, theta_r, c.angle), integrated_cell(k, theta_r, c.angle),
                1e-11);
}

INSTANTIATE_TEST_SUITE_P(Cells, ExactCellWeight,
                         ::testing::Values(CellCase{4, 30, 29}, CellCase{4, 30, 31},
                                           CellCase{4, 30, -61}, CellCase{4, 30, -59},
                                           CellCase{2, -20, 71}, CellCase{1e4, 1, 1},
                                           CellCase{1e4, 1, 3}, CellCase{1e4, 0, -1},
                                           CellCase{1e-3, 0, 89}, CellCase{1e-3, 0, -89},
                                           CellCase{1e-3, 0.5, -89}, CellCase{0.25, 45, -45},
                                           CellCase{1e6, 0, 1}, CellCase{1e6, 0, 3}));

TEST(ExactCellWeight, uniform_density_gives_a_ninetieth_to_every_cell) {
    for (int angle = -89; angle <= 89; angle += 2) {
        EXPECT_NEAR(exact_cell_weight(1.0f, 12.0f, angle), 1.0 / 90, 1e-15) << angle;
    }
}

TEST(OrientationWeightsInput, classic_weights_are_the_density_at_the_cell_centres) {
    const CalculationInputs given = inputs_with({{"orientation_weights", "classic"}, {"kxy", "4"}});
    const CalculationInputs left_out = inputs_with({{"kxy", "4"}});
    const CalculationInputs exact = inputs_with({{"orientation_weights", "exact"}, {"kxy", "4"}});
    EXPECT_EQ(left_out.orientation_weights, OrientationWeights::classic);
    const Orientation o = orientation_setup(given);
    for (int i = 1; i <= angle_cells; ++i) {
        const double classic =
            orientation_density(cell_angle_deg(i) * given.deg_to_rad, 4.0f, o.xy) *
            given.angle_step;
        EXPECT_EQ(w_xy(given, o, i), classic);
        EXPECT_EQ(w_xy(left_out, o, i), classic);
        EXPECT_NE(w_xy(exact, o, i), classic);
    }
}

TEST(OrientationWeightSums, moderate_densities_sum_to_one_and_warn_of_nothing) {
    for (const CalculationInputs& in :
         {inputs_with({}), inputs_with({{"kxy", "4"}, {"theta_r_xy", "30"}}),
          inputs_with({{"kzx", "0.5"}, {"theta_r_zx", "-10"}})}) {
        EXPECT_LT(orientation_weight_error(in), 1e-6);
        EXPECT_TRUE(orientation_weight_warnings(in).empty());
    }
}

TEST(OrientationWeightSums, a_narrow_density_between_cell_centres_is_under_counted) {
    const CalculationInputs in = inputs_with({{"kxy", "1e4"}});
    const PlaneWeightSums sums = orientation_weight_sums(in);
    EXPECT_NEAR(sums.xy, 0.716312, 1e-6);
    EXPECT_NEAR(sums.zx, 1.0, 1e-12);
    EXPECT_EQ(orientation_weight_error(in), std::fabs(sums.xy - 1));
    const std::vector<std::string> warnings = orientation_weight_warnings(in);
    ASSERT_EQ(warnings.size(), 1u);
    const std::string& w = warnings[0];
    EXPECT_EQ(w.rfind("x-y plane: its 90 orientation weights sum to 0.716312, not 1 (kxy = "
                      "10000, theta_r_xy = 0 degrees).",
                      0),
              0u)
        << w;
    EXPECT_NE(w.find("28.4 % too few fibers"), std::string::npos) << w;
    EXPECT_NE(w.find("orientation_weights=exact"), std::string::npos) << w;
}

TEST(OrientationWeightSums, a_narrow_density_on_a_cell_centre_is_over_counted) {
    const CalculationInputs in =
        inputs_with({{"kxy", "1e4"}, {"theta_r_xy", "1"}, {"kzx", "1e4"}, {"theta_r_zx", "1"}});
    const PlaneWeightSums sums = orientation_weight_sums(in);
    EXPECT_GT(sums.xy, 1.3);
    EXPECT_EQ(sums.xy, sums.zx);
    const std::vector<std::string> warnings = orientation_weight_warnings(in);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].rfind("x-y plane:", 0), 0u);
    EXPECT_EQ(warnings[1].rfind("z-x plane:", 0), 0u);
    EXPECT_NE(warnings[1].find("(kzx = 10000, theta_r_zx = 1 degrees)"), std::string::npos);
    EXPECT_NE(warnings[1].find("too many fibers"), std::string::npos) << warnings[1];
    EXPECT_NE(warnings[1].find("above 1"), std::string::npos) << warnings[1];
}

// The warning comes just past the tolerance: the sum's distance from 1 grows
// with the intensity, about 1e-3 near k = 600 with the peak between centres.
TEST(OrientationWeightSums, warn_exactly_beyond_the_tolerance) {
    for (const char* k : {"100", "300", "1000", "3000"}) {
        const CalculationInputs in = inputs_with({{"kzx", k}});
        const double error = orientation_weight_error(in);
        EXPECT_EQ(orientation_weight_warnings(in).size(),
                  error > orientation_weight_tolerance ? 1u : 0u)
            << k;
    }
    EXPECT_LT(orientation_weight_error(inputs_with({{"kzx", "100"}})),
              orientation_weight_tolerance);
    EXPECT_GT(orientation_weight_error(inputs_with({{"kzx", "3000"}})),
              orientation_weight_tolerance);
}

}  // namespace
}  // namespace quarnel
