#include "engine/text_to_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace quarnel {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

TEST(TextToNumber, exponents_too_long_for_any_integer_saturate) {
    EXPECT_EQ(read_number("1e9223372036854775807"), infinity);
    EXPECT_EQ(read_number("1e99999999999999999999"), infinity);
    EXPECT_EQ(read_number("-1e99999999999999999999"), -infinity);
    EXPECT_EQ(read_number("0.01e99999999999999999999"), infinity);
    EXPECT_EQ(read_number("1e-9223372036854775808"), 0.0);
    EXPECT_EQ(read_number("0.01e-99999999999999999999"), 0.0);
    EXPECT_EQ(read_number("12345e-99999999999999999999999999"), 0.0);
    EXPECT_EQ(read_number("0e99999999999999999999"), 0.0);
    EXPECT_EQ(read_number("0.000e-99999999999999999999"), 0.0);
}

TEST(TextToNumber, zero_keeps_its_sign_however_it_is_reached) {
    for (const char* text : {"-1e-99999999999999999999", "-0.01e-99999999999999999999",
                             "-0e99999999999999999999", "-1e-400", "-0"}) {
        const double x = read_number(text);
        EXPECT_EQ(x, 0.0) << text;
        EXPECT_TRUE(std::signbit(x)) << text;
    }
    EXPECT_FALSE(std::signbit(read_number("1e-99999999999999999999")));
}

TEST(TextToNumber, range_edges_round_correctly) {
    EXPECT_EQ(read_number("1.7976931348623157e308"), std::numeric_limits<double>::max());
    EXPECT_EQ(read_number("1.8e308"), infinity);
    EXPECT_EQ(read_number("0.0000018e314"), infinity);
    EXPECT_EQ(read_number("4.9406564584124654e-324"), std::numeric_limits<double>::denorm_min());
    // Just above and just below half the smallest subnormal.
    EXPECT_EQ(read_number("2.4703282292062328e-324"), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(read_number("2.4703282292062327e-324"), 0.0);
    EXPECT_EQ(read_number("9e-325"), 0.0);
    EXPECT_EQ(read_number("24703282292062328e-340"), std::numeric_limits<double>::denorm_min());
}

TEST(TextToNumber, long_mantissas_offset_long_exponents) {
    EXPECT_EQ(read_number("0." + std::string(400, '0') + "1e401"), 1.0);
    EXPECT_EQ(read_number("1" + std::string(400, '0') + "e-400"), 1.0);
    EXPECT_EQ(read_number("0." + std::string(400, '0') + "25e400"), 0.25);
}

struct IgnoredCase {
    const char* text;
    double value;
    const char* ignored;
};

void PrintTo(const IgnoredCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class TextToNumberUse : public ::testing::TestWithParam<IgnoredCase> {};

TEST_P(TextToNumberUse, says_which_characters_after_the_number_were_ignored) {
    const NumberReading r = read_number_text(GetParam().text);
    EXPECT_EQ(r.value, GetParam().value);
    EXPECT_EQ(r.ignored, GetParam().ignored);
}

INSTANTIATE_TEST_SUITE_P(
    InputSet, TextToNumberUse,
    ::testing::Values(IgnoredCase{"0,5", 0, ",5"}, IgnoredCase{"30mm", 30, "mm"},
                      IgnoredCase{" 1 2.5\t\n", 12.5, ""}, IgnoredCase{"1 e 5", 1e5, ""},
                      IgnoredCase{"2e", 2, "e"}, IgnoredCase{"2e+", 2, "e+"},
                      IgnoredCase{"1.2.3", 1.2, ".3"}, IgnoredCase{"abc", 0, "abc"},
                      IgnoredCase{"", 0, ""}, IgnoredCase{"-", 0, "-"},
                      IgnoredCase{"1e5 x", 1e5, "x"}, IgnoredCase{"7D-1;", 0.7, ";"}));

}  // namespace
}  // namespace quarnel
