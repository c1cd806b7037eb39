#include "engine/input_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "engine/input_table.h"
#include "engine/pullout_law.h"

namespace quarnel {
namespace {

InputSet with(std::initializer_list<std::pair<const std::string, std::string>> changes) {
    InputSet texts = default_input_texts();
    for (const auto& [field, text] : changes) texts[field] = text;
    return texts;
}

struct RefusalCase {
    const char* member;
    const char* text;
    std::int16_t model;
    const char* refused_field;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.member << "=" << c.text;
}

class RefusedInputs : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusedInputs, are_refused_naming_the_field_by_its_caption) {
    const RefusalCase& c = GetParam();
    const CalculationInputs in = read_calculation_inputs(with({{c.member, c.text}}), c.model);
    const auto refusal = check_calculation_inputs(in);
    ASSERT_TRUE(refusal.has_value()) << c.member << "=" << c.text;
    EXPECT_EQ(refusal->member, c.refused_field);
    const std::string message = refusal_message(*refusal, c.model);
    EXPECT_NE(message.find("\"" + input_caption(c.refused_field, c.model) + "\""),
              std::string::npos)
        << message;
}

INSTANTIATE_TEST_SUITE_P(
    UndefinedArithmetic, RefusedInputs,
    ::testing::Values(
        RefusalCase{"Am", "0", 1, "Am"}, RefusalCase{"Af", "0", 1, "Af"},
        RefusalCase{"Vf", "", 1, "Vf"}, RefusalCase{"Lf", "0", 1, "Lf"},
        RefusalCase{"Lf", "-30", 1, "Lf"}, RefusalCase{"division", "0", 1, "division"},
        RefusalCase{"division", "0.4", 1, "division"},
        RefusalCase{"division", "16384", 1, "division"},
        RefusalCase{"division", "40000", 1, "division"},
        RefusalCase{"division", "-32769", 1, "division"}, RefusalCase{"kxy", "-1", 1, "kxy"},
        RefusalCase{"kzx", "-0.5", 1, "kzx"}, RefusalCase{"delta_max", "0", 1, "delta_max"},
        RefusalCase{"C", "0", 2, "C"}, RefusalCase{"sigma_fu", "1e39", 1, "sigma_fu"},
        RefusalCase{"Pmax", "1e400", 1, "Pmax"}, RefusalCase{"delta_max", "1e308", 1, "delta_max"},
        RefusalCase{"delta_max", "-0.45", 1, "delta_max"}, RefusalCase{"C", "-0.05", 2, "C"}));

struct BoundCase {
    const char* member;
    const char* text;
    const char* says;  // the bound and the value, as the message words them
};

void PrintTo(const BoundCase& c, std::ostream* os) {
    *os << c.member << "=" << c.text;
}

class ImpossibleInputs : public ::testing::TestWithParam<BoundCase> {};

// Values no composite can have are refused, though the arithmetic could go
// on with them; the message names the field, the bound and the value read.
TEST_P(ImpossibleInputs, are_refused_naming_the_field_and_the_bound) {
    const BoundCase& c = GetParam();
    const auto refusal =
        check_calculation_inputs(read_calculation_inputs(with({{c.member, c.text}}), 1));
    ASSERT_TRUE(refusal.has_value()) << c.member << "=" << c.text;
    EXPECT_EQ(refusal->member, c.member);
    const std::string message = refusal_message(*refusal, 1);
    EXPECT_EQ(message.rfind("\"" + input_caption(c.member, 1) + "\" ", 0), 0u) << message;
    EXPECT_NE(message.find(c.says), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    PhysicalBounds, ImpossibleInputs,
    ::testing::Values(BoundCase{"Vf", "2%", "must lie between 0 and 1, not 2:"},
                      BoundCase{"Vf", "1.0001", "must lie between 0 and 1, not 1.0001:"},
                      BoundCase{"Vf", "-0.01", "must lie between 0 and 1, not -0.01:"},
                      BoundCase{"Am", "-2500", "must not be negative (it is -2500)"},
                      BoundCase{"Af", "-0.19635", "must not be negative (it is -0.19635)"},
                      BoundCase{"Lf", "-1e-3", "must be greater than 0"}));

TEST(ImpossibleInputs, the_bounds_themselves_are_accepted) {
    for (const auto& texts : {with({{"Vf", "1"}}), with({{"Vf", "1e-30"}, {"Am", "1e30"}}),
                              with({{"Af", "1e-6"}, {"Vf", "0.5"}})}) {
        EXPECT_FALSE(check_calculation_inputs(read_calculation_inputs(texts, 1)).has_value());
    }
}

TEST(RefusedInputs, a_plane_whose_density_denominator_is_zero_is_refused) {
    const CalculationInputs in =
        read_calculation_inputs(with({{"kxy", "0"}, {"theta_r_xy", "90"}}), 1);
    const auto refusal = check_calculation_inputs(in);
    // sin^2 of 90 degrees with the model's pi may miss 1 by a rounding; the
    // plane is refused exactly when its denominator is 0.
    const double s = std::sin(in.theta_r_xy_rad);
    if ((0.0 - 1) * (s * s) + 1 == 0) {
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(refusal->member, "kxy");
    } else {
        EXPECT_FALSE(refusal.has_value());
    }
}

TEST(RefusedInputs, valid_edges_are_accepted) {
    for (const auto& texts : {with({{"division", "-3"}}), with({{"division", "16383"}}),
                              with({{"kxy", "0"}}), with({{"fd1", "-1"}})}) {
        EXPECT_FALSE(check_calculation_inputs(read_calculation_inputs(texts, 1)).has_value());
    }
    const InputSet negative_powers =
        with({{"Pmax", "3"}, {"delta_max", "-0.45"}, {"C", "0.05"}, {"D", "-0.3"}});
    EXPECT_FALSE(check_calculation_inputs(read_calculation_inputs(negative_powers, 2)).has_value());
}

InputSet function_lb(std::initializer_list<std::pair<const std::string, std::string>> changes) {
    InputSet texts = with({{"C", "0.05"}, {"D", "0.3"}});
    for (const auto& [field, text] : changes) texts[field] = text;
    return texts;
}

bool names(const InputRefusal& refusal, const std::string& member, std::int16_t model) {
    return refusal_message(refusal, model).find("\"" + input_caption(member, model) + "\"") !=
           std::string::npos;
}

// The refusal of the inputs, or else of the tables built from them.
std::optional<InputRefusal> refusal_of(const InputSet& texts, std::int16_t model) {
    const CalculationInputs in = read_calculation_inputs(texts, model);
    if (auto refusal = check_calculation_inputs(in)) return refusal;
    FiberTables tables;
    SilentProgress silent;
    build_fiber_tables(in, tables, silent);
    return check_fiber_tables(in, tables);
}

struct BlameCase {
    const char* name;
    InputSet texts;
    std::int16_t model;
    const char* refused_field;
    std::vector<const char*> named_fields;
    const char* rule;  // a phrase of the rule the message states
};

void PrintTo(const BlameCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusalBlame : public ::testing::TestWithParam<BlameCase> {};

TEST_P(RefusalBlame, names_the_fields_at_fault_and_the_rule) {
    const BlameCase& c = GetParam();
    const auto refusal = refusal_of(c.texts, c.model);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->member, c.refused_field) << refusal->message;
    for (const char* field : c.named_fields) {
        EXPECT_TRUE(names(*refusal, field, c.model)) << field << ": " << refusal->message;
    }
    EXPECT_NE(refusal->message.find(c.rule), std::string::npos) << refusal->message;
}

INSTANTIATE_TEST_SUITE_P(OrientationWeights, RefusalBlame,
                         ::testing::Values(BlameCase{"kxy_0_at_45",
                                                     with({{"kxy", "0"}, {"theta_r_xy", "45"}}),
                                                     1,
                                                     "kxy",
                                                     {"kxy", "theta_r_xy"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_minus_0",
                                                     with({{"kxy", "-0"}, {"theta_r_xy", "45"}}),
                                                     1,
                                                     "kxy",
                                                     {"kxy", "theta_r_xy"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_no_digits",
                                                     with({{"kxy", "k"}, {"theta_r_xy", "45"}}),
                                                     1,
                                                     "kxy",
                                                     {"kxy", "theta_r_xy"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_0_folded_from_225",
                                                     with({{"kxy", "0"}, {"theta_r_xy", "225"}}),
                                                     1,
                                                     "kxy",
                                                     {"kxy", "theta_r_xy"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_tiny",
                                                     with({{"kxy", "1e-30"}, {"theta_r_xy", "45"}}),
                                                     1,
                                                     "kxy",
                                                     {"kxy", "theta_r_xy"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_huge",
                                                     with({{"kxy", "1e18"}, {"theta_r_xy", "-41"}}),
                                                     1,
                                                     "kxy",
                                                     {"kxy", "theta_r_xy"},
                                                     "not a finite number"},
                                           BlameCase{"kzx_0_at_45",
                                                     with({{"kzx", "0"}, {"theta_r_zx", "45"}}),
                                                     1,
                                                     "kzx",
                                                     {"kzx", "theta_r_zx"},
                                                     "not a finite number"},
                                           BlameCase{"kzx_huge",
                                                     with({{"kzx", "1e18"}, {"theta_r_zx", "-41"}}),
                                                     1,
                                                     "kzx",
                                                     {"kzx", "theta_r_zx"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_denormal_at_90",
                                                     with({{"kxy", "1e-45"}, {"theta_r_xy", "90"}}),
                                                     1,
                                                     "kxy",
                                                     {"kxy", "theta_r_xy"},
                                                     "nearly 0"}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(RuptureLoads, RefusalBlame,
                         ::testing::Values(BlameCase{"zero_strength_times_infinity",
                                                     with({{"sigma_fu", "0"},
                                                           {"f_reduction", "-1000"}}),
                                                     1,
                                                     "f_reduction",
                                                     {"f_reduction", "sigma_fu"},
                                                     "rupture load"},
                                           BlameCase{"overflow",
                                                     with({{"f_reduction", "-1000"}}),
                                                     1,
                                                     "f_reduction",
                                                     {"f_reduction", "sigma_fu"},
                                                     "rupture load"}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    MidOpening, RefusalBlame,
    ::testing::Values(
        BlameCase{
            "power_overflows", function_lb({{"C", "0.45"}, {"D", "300"}}), 2, "D", {"D"}, "power"},
        BlameCase{"half_length_rounds_to_0",
                  function_lb({{"C", "0.05"}, {"D", "-0.1"}, {"Lf", "1e-45"}}),
                  2,
                  "Lf",
                  {"Lf", "D"},
                  "rounds to 0"},
        BlameCase{"product_overflows",
                  function_lb({{"C", "1e308"}, {"D", "1"}}),
                  2,
                  "C",
                  {"C"},
                  "opening at peak"},
        BlameCase{"later_openings_overflow",
                  function_lb({{"C", "1e307"}, {"D", "0"}, {"division", "16000"}}),
                  2,
                  "C",
                  {"C", "D"},
                  "later crack openings"},
        BlameCase{"constant_model_openings",
                  with({{"delta_max", "1e308"}}),
                  1,
                  "delta_max",
                  {"delta_max"},
                  "crack openings"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    CornerValues, RefusalBlame,
    ::testing::Values(
        BlameCase{"falling_slope",
                  with({{"Pmax", "1e37"}, {"sigma_fu", "3e38"}}),
                  1,
                  "Pmax",
                  {"Pmax", "delta_max"},
                  "slope"},
        BlameCase{"rising_ratio",
                  with({{"Pmax", "3e38"}, {"delta_max", "1e-38"}}),
                  1,
                  "Pmax",
                  {"Pmax", "delta_max"},
                  "P1 / delta1"},
        BlameCase{
            "peak_load_beyond_32_bits", with({{"Pmax", "1e39"}}), 1, "Pmax", {"Pmax"}, "peak load"},
        BlameCase{
            "load_snubbing", with({{"fp0", "1000"}}), 1, "Pmax", {"Pmax", "fp0"}, "peak load"},
        BlameCase{"displacement_snubbing_rounds_to_0",
                  with({{"fd0", "-1000"}}),
                  1,
                  "delta_max",
                  {"delta_max", "fd0"},
                  "rounds to 0"},
        BlameCase{"exponent_B",
                  function_lb({{"delta_max", "-300"}}),
                  2,
                  "delta_max",
                  {"delta_max"},
                  "power"},
        BlameCase{"exponent_D_rounds_to_0",
                  function_lb({{"D", "60"}}),
                  2,
                  "C",
                  {"C", "D"},
                  "rounds to 0"},
        BlameCase{"C_beyond_32_bits",
                  function_lb({{"C", "1e300"}, {"D", "1"}}),
                  2,
                  "C",
                  {"C", "D"},
                  "displacement at peak"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RefusalBlame, no_longer_speaks_of_an_intensity_of_0_when_it_is_not) {
    const auto refusal = refusal_of(with({{"kxy", "1e-45"}, {"theta_r_xy", "90"}}), 1);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->message.find("when kxy is 0"), std::string::npos) << refusal->message;
}

// Tables of one orientation group that reaches the crack at the last level
// only.
FiberTables one_cell(float lb, float P1, float delta1) {
    FiberTables tables;
    tables.groups.group_of_pair.assign(angle_cells * angle_cells, 0);
    tables.groups.cos_theta = {1.0};
    tables.groups.theta_s = {0.0};
    tables.first_level = {centroid_levels - 1};
    tables.start = {0};
    tables.lb = {lb};
    tables.P1 = {P1};
    tables.delta1 = {delta1};
    return tables;
}

TEST(FallingSlope, is_checked_only_where_the_falling_branch_can_be_reached) {
    const CalculationInputs in = read_calculation_inputs(default_input_texts(), 1);
    // lb - delta1 is 0 or negative: the cell is pulled out before it falls.
    EXPECT_FALSE(check_fiber_tables(in, one_cell(1.0f, 3e38f, 1.0f)).has_value());
    EXPECT_FALSE(check_fiber_tables(in, one_cell(1.0f, 3e38f, 2.0f)).has_value());
    // Just below lb the slope leaves the 32-bit range.
    EXPECT_TRUE(check_fiber_tables(in, one_cell(1.0f, 3e38f, 0.999f)).has_value());
    EXPECT_FALSE(check_fiber_tables(in, one_cell(1.0f, 3e35f, 0.999f)).has_value());
}

TEST(AcceptedInputs, have_finite_weights_rupture_loads_and_slopes) {
    for (const InputSet& texts :
         {with({{"kxy", "0"}}), with({{"kxy", "0"}, {"theta_r_xy", "44"}}),
          with({{"kxy", "1e18"}, {"theta_r_xy", "-40"}}), with({{"f_reduction", "-100"}}),
          with({{"sigma_fu", "0"}, {"f_reduction", "-100"}})}) {
        const CalculationInputs in = read_calculation_inputs(texts, 1);
        ASSERT_FALSE(refusal_of(texts, 1).has_value()) << refusal_of(texts, 1)->message;
        const Orientation o = orientation_setup(in);
        for (int i = 1; i <= angle_cells; ++i) {
            EXPECT_TRUE(std::isfinite(w_xy(in, o, i)));
            EXPECT_TRUE(std::isfinite(w_zx(in, o, i)));
            EXPECT_TRUE(std::isfinite(rupture_load(in, snubbing_angle(in, cell_angle_deg(i), 1))));
        }
    }
}

}  // namespace
}  // namespace quarnel
