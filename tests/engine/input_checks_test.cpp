#include "engine/input_checks.h"

#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
}  // namespace quarnel
