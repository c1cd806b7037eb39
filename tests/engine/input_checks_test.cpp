#include "engine/input_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "engine/pullout_law.h"

namespace quarnel {
namespace {

FieldTexts with(std::initializer_list<std::pair<const std::string, std::string>> changes) {
    FieldTexts texts = default_field_texts();
    for (const auto& [field, text] : changes) texts[field] = text;
    return texts;
}

struct RefusalCase {
    const char* field;
    const char* text;
    std::int16_t model;
    const char* refused_field;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.field << "=" << c.text;
}

class RefusedInputs : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusedInputs, are_refused_naming_the_field_by_its_caption) {
    const RefusalCase& c = GetParam();
    const CalculationInputs in = read_calculation_inputs(with({{c.field, c.text}}), c.model);
    const auto refusal = check_calculation_inputs(in);
    ASSERT_TRUE(refusal.has_value()) << c.field << "=" << c.text;
    EXPECT_EQ(refusal->field, c.refused_field);
    EXPECT_NE(refusal->message.find(field_caption(c.refused_field, c.model)), std::string::npos)
        << refusal->message;
}

INSTANTIATE_TEST_SUITE_P(
    UndefinedArithmetic, RefusedInputs,
    ::testing::Values(
        RefusalCase{"Text3", "0", 1, "Text3"}, RefusalCase{"Text5", "0", 1, "Text5"},
        RefusalCase{"Text4", "", 1, "Text4"}, RefusalCase{"Text6", "0", 1, "Text6"},
        RefusalCase{"Text6", "-30", 1, "Text6"}, RefusalCase{"Text20", "0", 1, "Text20"},
        RefusalCase{"Text20", "0.4", 1, "Text20"}, RefusalCase{"Text20", "16384", 1, "Text20"},
        RefusalCase{"Text20", "40000", 1, "Text20"}, RefusalCase{"Text20", "-32769", 1, "Text20"},
        RefusalCase{"Text10", "-1", 1, "Text10"}, RefusalCase{"Text12", "-0.5", 1, "Text12"},
        RefusalCase{"Text15", "0", 1, "Text15"}, RefusalCase{"Text16", "0", 2, "Text16"},
        RefusalCase{"Text9", "1e39", 1, "Text9"}, RefusalCase{"Text14", "1e400", 1, "Text14"},
        RefusalCase{"Text15", "1e308", 1, "Text15"}));

TEST(RefusedInputs, a_plane_whose_density_denominator_is_zero_is_refused) {
    const CalculationInputs in =
        read_calculation_inputs(with({{"Text10", "0"}, {"Text11", "90"}}), 1);
    const auto refusal = check_calculation_inputs(in);
    // sin^2 of 90 degrees with the model's pi may miss 1 by a rounding; the
    // plane is refused exactly when its denominator is 0.
    const double s = std::sin(in.theta_r_xy_rad);
    if ((0.0 - 1) * (s * s) + 1 == 0) {
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(refusal->field, "Text10");
    } else {
        EXPECT_FALSE(refusal.has_value());
    }
}

TEST(RefusedInputs, valid_edges_are_accepted) {
    for (const auto& texts : {with({{"Text20", "-3"}}), with({{"Text20", "16383"}}),
                              with({{"Text10", "0"}}), with({{"Text28", "-1"}})}) {
        EXPECT_FALSE(check_calculation_inputs(read_calculation_inputs(texts, 1)).has_value());
    }
    const FieldTexts negative_powers =
        with({{"Text14", "3"}, {"Text15", "-0.45"}, {"Text16", "0.05"}, {"Text17", "-0.3"}});
    EXPECT_FALSE(check_calculation_inputs(read_calculation_inputs(negative_powers, 2)).has_value());
}

FieldTexts function_lb(std::initializer_list<std::pair<const std::string, std::string>> changes) {
    FieldTexts texts = with({{"Text16", "0.05"}, {"Text17", "0.3"}});
    for (const auto& [field, text] : changes) texts[field] = text;
    return texts;
}

bool names(const InputRefusal& refusal, const std::string& field, std::int16_t model) {
    return refusal.message.find("\"" + field_caption(field, model) + "\"") != std::string::npos;
}

// The refusal of the inputs, or else of the tables built from them.
std::optional<InputRefusal> refusal_of(const FieldTexts& texts, std::int16_t model) {
    const CalculationInputs in = read_calculation_inputs(texts, model);
    if (auto refusal = check_calculation_inputs(in)) return refusal;
    FiberTables tables;
    SilentProgress silent;
    build_fiber_tables(in, tables, silent);
    return check_fiber_tables(in, tables);
}

struct BlameCase {
    const char* name;
    FieldTexts texts;
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
    EXPECT_EQ(refusal->field, c.refused_field) << refusal->message;
    for (const char* field : c.named_fields) {
        EXPECT_TRUE(names(*refusal, field, c.model)) << field << ": " << refusal->message;
    }
    EXPECT_NE(refusal->message.find(c.rule), std::string::npos) << refusal->message;
}

INSTANTIATE_TEST_SUITE_P(OrientationWeights, RefusalBlame,
                         ::testing::Values(BlameCase{"kxy_0_at_45",
                                                     with({{"Text10", "0"}, {"Text11", "45"}}),
                                                     1,
                                                     "Text10",
                                                     {"Text10", "Text11"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_minus_0",
                                                     with({{"Text10", "-0"}, {"Text11", "45"}}),
                                                     1,
                                                     "Text10",
                                                     {"Text10", "Text11"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_no_digits",
                                                     with({{"Text10", "k"}, {"Text11", "45"}}),
                                                     1,
                                                     "Text10",
                                                     {"Text10", "Text11"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_0_folded_from_225",
                                                     with({{"Text10", "0"}, {"Text11", "225"}}),
                                                     1,
                                                     "Text10",
                                                     {"Text10", "Text11"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_tiny",
                                                     with({{"Text10", "1e-30"}, {"Text11", "45"}}),
                                                     1,
                                                     "Text10",
                                                     {"Text10", "Text11"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_huge",
                                                     with({{"Text10", "1e18"}, {"Text11", "-41"}}),
                                                     1,
                                                     "Text10",
                                                     {"Text10", "Text11"},
                                                     "not a finite number"},
                                           BlameCase{"kzx_0_at_45",
                                                     with({{"Text12", "0"}, {"Text13", "45"}}),
                                                     1,
                                                     "Text12",
                                                     {"Text12", "Text13"},
                                                     "not a finite number"},
                                           BlameCase{"kzx_huge",
                                                     with({{"Text12", "1e18"}, {"Text13", "-41"}}),
                                                     1,
                                                     "Text12",
                                                     {"Text12", "Text13"},
                                                     "not a finite number"},
                                           BlameCase{"kxy_denormal_at_90",
                                                     with({{"Text10", "1e-45"}, {"Text11", "90"}}),
                                                     1,
                                                     "Text10",
                                                     {"Text10", "Text11"},
                                                     "nearly 0"}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(RuptureLoads, RefusalBlame,
                         ::testing::Values(BlameCase{"zero_strength_times_infinity",
                                                     with({{"Text9", "0"}, {"Text8", "-1000"}}),
                                                     1,
                                                     "Text8",
                                                     {"Text8", "Text9"},
                                                     "rupture load"},
                                           BlameCase{"overflow",
                                                     with({{"Text8", "-1000"}}),
                                                     1,
                                                     "Text8",
                                                     {"Text8", "Text9"},
                                                     "rupture load"}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    MidOpening, RefusalBlame,
    ::testing::Values(
        BlameCase{"power_overflows",
                  function_lb({{"Text16", "0.45"}, {"Text17", "300"}}),
                  2,
                  "Text17",
                  {"Text17"},
                  "power"},
        BlameCase{"half_length_rounds_to_0",
                  function_lb({{"Text16", "0.05"}, {"Text17", "-0.1"}, {"Text6", "1e-45"}}),
                  2,
                  "Text6",
                  {"Text6", "Text17"},
                  "rounds to 0"},
        BlameCase{"product_overflows",
                  function_lb({{"Text16", "1e308"}, {"Text17", "1"}}),
                  2,
                  "Text16",
                  {"Text16"},
                  "opening at peak"},
        BlameCase{"later_openings_overflow",
                  function_lb({{"Text16", "1e307"}, {"Text17", "0"}, {"Text20", "16000"}}),
                  2,
                  "Text16",
                  {"Text16", "Text17"},
                  "later crack openings"},
        BlameCase{"constant_model_openings",
                  with({{"Text15", "1e308"}}),
                  1,
                  "Text15",
                  {"Text15"},
                  "crack openings"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    CornerValues, RefusalBlame,
    ::testing::Values(
        BlameCase{"falling_slope",
                  with({{"Text14", "1e37"}, {"Text9", "3e38"}}),
                  1,
                  "Text14",
                  {"Text14", "Text15"},
                  "slope"},
        BlameCase{"rising_ratio",
                  with({{"Text14", "3e38"}, {"Text15", "1e-38"}}),
                  1,
                  "Text14",
                  {"Text14", "Text15"},
                  "P1 / delta1"},
        BlameCase{"peak_load_beyond_32_bits",
                  with({{"Text14", "1e39"}}),
                  1,
                  "Text14",
                  {"Text14"},
                  "peak load"},
        BlameCase{"load_snubbing",
                  with({{"Text7", "1000"}}),
                  1,
                  "Text14",
                  {"Text14", "Text7"},
                  "peak load"},
        BlameCase{"displacement_snubbing_rounds_to_0",
                  with({{"Text27", "-1000"}}),
                  1,
                  "Text15",
                  {"Text15", "Text27"},
                  "rounds to 0"},
        BlameCase{
            "exponent_B", function_lb({{"Text15", "-300"}}), 2, "Text15", {"Text15"}, "power"},
        BlameCase{"exponent_D_rounds_to_0",
                  function_lb({{"Text17", "60"}}),
                  2,
                  "Text16",
                  {"Text16", "Text17"},
                  "rounds to 0"},
        BlameCase{"C_beyond_32_bits",
                  function_lb({{"Text16", "1e300"}, {"Text17", "1"}}),
                  2,
                  "Text16",
                  {"Text16", "Text17"},
                  "displacement at peak"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RefusalBlame, no_longer_speaks_of_an_intensity_of_0_when_it_is_not) {
    const auto refusal = refusal_of(with({{"Text10", "1e-45"}, {"Text11", "90"}}), 1);
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
    const CalculationInputs in = read_calculation_inputs(default_field_texts(), 1);
    // lb - delta1 is 0 or negative: the cell is pulled out before it falls.
    EXPECT_FALSE(check_fiber_tables(in, one_cell(1.0f, 3e38f, 1.0f)).has_value());
    EXPECT_FALSE(check_fiber_tables(in, one_cell(1.0f, 3e38f, 2.0f)).has_value());
    // Just below lb the slope leaves the 32-bit range.
    EXPECT_TRUE(check_fiber_tables(in, one_cell(1.0f, 3e38f, 0.999f)).has_value());
    EXPECT_FALSE(check_fiber_tables(in, one_cell(1.0f, 3e35f, 0.999f)).has_value());
}

TEST(AcceptedInputs, have_finite_weights_rupture_loads_and_slopes) {
    for (const FieldTexts& texts :
         {with({{"Text10", "0"}}), with({{"Text10", "0"}, {"Text11", "44"}}),
          with({{"Text10", "1e18"}, {"Text11", "-40"}}), with({{"Text8", "-100"}}),
          with({{"Text9", "0"}, {"Text8", "-100"}})}) {
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
