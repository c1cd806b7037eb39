#include "engine/calculation_inputs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/text_to_number.h"

namespace quarnel {
namespace {

struct TextCase {
    const char* text;
    double value;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class ReadNumber : public ::testing::TestWithParam<TextCase> {};

TEST_P(ReadNumber, takes_the_longest_leading_number) {
    EXPECT_EQ(read_number(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    FieldTexts, ReadNumber,
    ::testing::Values(TextCase{"", 0}, TextCase{"abc", 0}, TextCase{"1 2.5", 12.5},
                      TextCase{"2.5e1", 25}, TextCase{"-.5", -0.5}, TextCase{"30mm", 30},
                      TextCase{"1,5", 1}, TextCase{"  +7\t", 7}, TextCase{"1.5D2", 150},
                      TextCase{"2e", 2}, TextCase{"2e+", 2}, TextCase{"1.2.3", 1.2},
                      TextCase{".", 0}, TextCase{"-", 0}, TextCase{"4\n2", 42},
                      TextCase{"3.3", 3.3}, TextCase{"1e-400", 0}, TextCase{"0.1", 0.1}));

TEST(ReadNumber, overflow_reads_as_infinity_with_its_sign) {
    EXPECT_EQ(read_number("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(read_number("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(read_number("0.000001e310"), 1e304);
}

FieldTexts with(std::initializer_list<std::pair<const std::string, std::string>> changes) {
    FieldTexts texts = default_field_texts();
    for (const auto& [field, text] : changes) texts[field] = text;
    return texts;
}

TEST(ReadCalculationInputs, default_fields_give_the_stored_values_and_derived_values) {
    const CalculationInputs in = read_calculation_inputs(default_field_texts(), 1);
    EXPECT_EQ(in.Am, 2500.0f);
    EXPECT_EQ(in.Af, 0.19635f);
    EXPECT_EQ(in.Lf, 30.0f);
    EXPECT_EQ(in.division, 30);
    EXPECT_EQ(in.Pmax, 3.0);
    EXPECT_EQ(in.delta_max, 0.45);
    EXPECT_NEAR(in.total_fiber, 127.3237, 5e-5);
    EXPECT_NEAR(in.fiber_number_coefficient, 1.260630, 5e-7);
    EXPECT_EQ(in.total_fiber, static_cast<float>(0.01f * 2500.0 / 0.19635f));
    EXPECT_EQ(in.deg_to_rad, 0.017453292522222223);
    EXPECT_EQ(in.angle_step, 2 * 0.017453292522222223);
    EXPECT_EQ(in.angle_step_deg, 2);
}

TEST(ReadCalculationInputs, single_and_double_precision_members_keep_their_widths) {
    const CalculationInputs in =
        read_calculation_inputs(with({{"Text14", "3.3"}, {"Text6", "0.1"}}), 1);
    EXPECT_EQ(in.Pmax, 3.3);
    EXPECT_EQ(in.Lf, 0.1f);
    EXPECT_NE(static_cast<double>(in.Lf), 0.1);
}

TEST(ReadCalculationInputs, division_rounds_half_to_even) {
    EXPECT_EQ(read_calculation_inputs(with({{"Text20", "2.5"}}), 1).division, 2);
    EXPECT_EQ(read_calculation_inputs(with({{"Text20", "3.5"}}), 1).division, 4);
    EXPECT_EQ(read_calculation_inputs(with({{"Text20", "-2.5"}}), 1).division, -2);
}

TEST(ReadCalculationInputs, angles_are_converted_with_the_model_pi) {
    const CalculationInputs in =
        read_calculation_inputs(with({{"Text11", "30"}, {"Text25", "1"}}), 1);
    EXPECT_EQ(in.theta_r_xy_rad, 30.0 * 0.017453292522222223);
    EXPECT_EQ(in.crack_xy_rad, 0.017453292522222223);
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
        EXPECT_EQ(refusal->field, "Text11");
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

}  // namespace
}  // namespace quarnel
