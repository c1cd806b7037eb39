#include "run/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace quarnel {
namespace {

struct FloatCase {
    float x;
    const char* text;
};

class PlainFloatText : public testing::TestWithParam<FloatCase> {};

TEST_P(PlainFloatText, rounds_to_seven_significant_digits) {
    EXPECT_EQ(plain_number_text(GetParam().x), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlainFloatText,
    testing::Values(FloatCase{0.123456789f, "0.1234568"}, FloatCase{0.00001f, "1E-05"},
                    FloatCase{12345678.0f, "1.234568E+07"}, FloatCase{2500.0f, "2500"},
                    FloatCase{0.19635f, "0.19635"}, FloatCase{0.5f, "0.5"},
                    FloatCase{123.45f, "123.45"}, FloatCase{0.0f, "0"}, FloatCase{-0.0f, "0"},
                    FloatCase{-0.25f, "-0.25"}, FloatCase{-12345678.0f, "-1.234568E+07"},
                    // Exponent thresholds: below -4, and at 7 digits or more.
                    FloatCase{0.0001f, "0.0001"}, FloatCase{0.00012345f, "0.00012345"},
                    FloatCase{1.5e-5f, "1.5E-05"}, FloatCase{9999999.0f, "9999999"},
                    FloatCase{10000000.0f, "1E+07"}, FloatCase{1e20f, "1E+20"},
                    FloatCase{1e-40f, "9.999946E-41"},
                    // An exact tie rounds away from zero, and a carry makes a new digit.
                    FloatCase{1234566.5f, "1234567"}, FloatCase{-1234566.5f, "-1234567"},
                    FloatCase{9999999.5f, "1E+07"}, FloatCase{1.9999999f, "2"}));

TEST(PlainNumberText, writes_doubles_with_fifteen_significant_digits) {
    EXPECT_EQ(plain_number_text(0.1), "0.1");
    EXPECT_EQ(plain_number_text(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(plain_number_text(123456789012345.0), "123456789012345");
    EXPECT_EQ(plain_number_text(999999999999999.5), "1E+15");
    EXPECT_EQ(plain_number_text(2.5e-300), "2.5E-300");
    EXPECT_EQ(plain_number_text(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(fixed_point_text(-std::numeric_limits<double>::infinity(), 2), "-Inf");
}

TEST(PlainNumberText, writes_integers_in_full_and_pads_the_sign_place) {
    EXPECT_EQ(plain_number_text(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(sign_padded_text(std::int16_t{100}), " 100");
    EXPECT_EQ(sign_padded_text(-5), "-5");
    EXPECT_EQ(sign_padded_text(2.5f), " 2.5");
    EXPECT_EQ(sign_padded_text(-2.5), "-2.5");
}

struct FixedCase {
    double x;
    int decimals;
    const char* text;
};

class FixedPointText : public testing::TestWithParam<FixedCase> {};

TEST_P(FixedPointText, rounds_the_exact_value_half_away_from_zero) {
    EXPECT_EQ(fixed_point_text(GetParam().x, GetParam().decimals), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FixedPointText,
    testing::Values(FixedCase{1234.5, 2, "1234.50"}, FixedCase{0.015, 5, "0.01500"},
                    FixedCase{0.0, 5, "0.00000"}, FixedCase{0.61234, 5, "0.61234"},
                    FixedCase{-1234.5, 2, "-1234.50"}, FixedCase{2.0, 3, "2.000"},
                    // Exact ties (powers of two) go away from zero, not to even.
                    FixedCase{0.015625, 5, "0.01563"}, FixedCase{0.125, 2, "0.13"},
                    FixedCase{-0.125, 2, "-0.13"}, FixedCase{0.03125, 4, "0.0313"},
                    // The binary value decides, not the decimal text it came from.
                    FixedCase{0.996, 2, "1.00"}, FixedCase{99.995, 2, "100.00"},
                    FixedCase{1.005, 2, "1.00"}, FixedCase{-0.000005, 5, "-0.00001"},
                    // A negative value that rounds to zero has no sign.
                    FixedCase{-0.000001, 5, "0.00000"}, FixedCase{-0.0, 4, "0.0000"},
                    FixedCase{1e22, 2, "10000000000000000000000.00"},
                    FixedCase{5e-324, 5, "0.00000"}));

}  // namespace
}  // namespace quarnel
