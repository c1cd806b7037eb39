#include "engine/calculation_inputs.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "engine/input_table.h"
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
    InputSet, ReadNumber,
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

InputSet with(std::initializer_list<std::pair<const std::string, std::string>> changes) {
    InputSet texts = default_input_texts();
    for (const auto& [field, text] : changes) texts[field] = text;
    return texts;
}

TEST(ReadCalculationInputs, default_fields_give_the_stored_values_and_derived_values) {
    const CalculationInputs in = read_calculation_inputs(default_input_texts(), 1);
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
    const CalculationInputs in = read_calculation_inputs(with({{"Pmax", "3.3"}, {"Lf", "0.1"}}), 1);
    EXPECT_EQ(in.Pmax, 3.3);
    EXPECT_EQ(in.Lf, 0.1f);
    EXPECT_NE(static_cast<double>(in.Lf), 0.1);
}

TEST(ReadCalculationInputs, division_rounds_half_to_even) {
    EXPECT_EQ(read_calculation_inputs(with({{"division", "2.5"}}), 1).division, 2);
    EXPECT_EQ(read_calculation_inputs(with({{"division", "3.5"}}), 1).division, 4);
    EXPECT_EQ(read_calculation_inputs(with({{"division", "-2.5"}}), 1).division, -2);
}

TEST(ReadCalculationInputs, angles_are_converted_with_the_model_pi) {
    const CalculationInputs in =
        read_calculation_inputs(with({{"theta_r_xy", "30"}, {"crack_xy", "1"}}), 1);
    EXPECT_EQ(in.theta_r_xy_rad, 30.0 * 0.017453292522222223);
    EXPECT_EQ(in.crack_xy_rad, 0.017453292522222223);
}

// A double stands for the text of that double: the same stored values,
// with each member's width and the "Division" rounding.
TEST(ReadCalculationInputs, doubles_are_stored_as_their_texts_would_be) {
    InputSet texts = default_input_texts();
    InputSet values = default_input_texts();
    const struct {
        const char* member;
        const char* text;
        double value;
    } given[] = {{"Lf", "0.1", 0.1},       {"Pmax", "3.3", 3.3},     {"kxy", "1e-40", 1e-40},
                 {"division", "2.5", 2.5}, {"crack_xy", "-0", -0.0}, {"delta_max", "0.45", 0.45}};
    for (const auto& g : given) {
        texts[g.member] = g.text;
        values[g.member] = g.value;
    }
    const CalculationInputs a = read_calculation_inputs(texts, 1);
    const CalculationInputs b = read_calculation_inputs(values, 1);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a.Lf), std::bit_cast<std::uint32_t>(b.Lf));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a.kxy), std::bit_cast<std::uint32_t>(b.kxy));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a.crack_xy), std::bit_cast<std::uint32_t>(b.crack_xy));
    EXPECT_EQ(a.Pmax, b.Pmax);
    EXPECT_EQ(a.delta_max, b.delta_max);
    EXPECT_EQ(b.division, 2);
    EXPECT_EQ(b.Lf, 0.1f);
}

TEST(ReadCalculationInputs, names_are_members_or_their_two_other_names) {
    InputSet texts = default_input_texts();
    texts.erase("Pmax");
    texts.erase("delta_max");
    texts["A"] = "2";
    texts["B"] = "0.3";
    texts["model"] = "2";
    const CalculationInputs in = read_calculation_inputs(texts);
    EXPECT_EQ(in.model, 2);
    EXPECT_EQ(in.A(), 2.0);
    EXPECT_EQ(in.B(), 0.3);
    EXPECT_EQ(input_member("B"), "delta_max");
    EXPECT_EQ(input_member("Text14"), "");

    texts["Pmax"] = "3";  // A and Pmax at once
    EXPECT_THROW(read_calculation_inputs(texts), std::invalid_argument);
    EXPECT_THROW(read_calculation_inputs(InputSet{{"Lf_mm", "30"}}), std::invalid_argument);
    EXPECT_THROW(read_calculation_inputs(InputSet{{"model", 3.0}}), std::invalid_argument);
    EXPECT_EQ(read_calculation_inputs(InputSet{}).model, 1);
}

TEST(ReadCalculationInputs, orientation_weights_is_classic_unless_exact_is_given) {
    EXPECT_EQ(read_calculation_inputs(InputSet{}).orientation_weights, OrientationWeights::classic);
    EXPECT_EQ(read_orientation_weights(std::string("classic")), OrientationWeights::classic);
    EXPECT_EQ(read_orientation_weights(std::string(" exact\t")), OrientationWeights::exact);
    EXPECT_EQ(
        read_calculation_inputs(InputSet{{"orientation_weights", "exact"}}).orientation_weights,
        OrientationWeights::exact);
}

TEST(ReadCalculationInputs, orientation_weights_refuses_other_texts_naming_the_ones_it_takes) {
    for (const InputValue& value : {InputValue{"Exact"}, InputValue{""}, InputValue{"1"},
                                    InputValue{"exact weights"}, InputValue{1.0}}) {
        try {
            read_calculation_inputs(InputSet{{"orientation_weights", value}});
            ADD_FAILURE() << "accepted";
        } catch (const std::invalid_argument& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("orientation_weights ", 0), 0u) << message;
            EXPECT_NE(message.find("classic or exact"), std::string::npos) << message;
        }
    }
    try {
        read_orientation_weights(std::string("Exact"));
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "orientation_weights must be classic or exact, not \"Exact\"");
    }
}

}  // namespace
}  // namespace quarnel
