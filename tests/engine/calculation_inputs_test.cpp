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

}  // namespace
}  // namespace quarnel
