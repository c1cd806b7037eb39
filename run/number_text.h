#pragma once

#include <concepts>
#include <cstdint>
#include <string>

namespace quarnel {

// The default text of a number: a float rounded to at most 7 significant
// digits, a double to at most 15, an integer in full. Trailing zeros after the
// point and a trailing point are dropped, "0" stands before the point of a
// magnitude below 1, "-" before a negative value, "." is the separator. When
// the decimal exponent of the rounded value is below -4 or at least the digit
// count, the exponent form is used: 1E-05, 1.234568E+07. Rounding is of the
// exact binary value, an exact tie away from zero.
std::string plain_number_text(float x);
std::string plain_number_text(double x);
std::string plain_number_text(std::int64_t x);
template <std::integral I>
std::string plain_number_text(I x) {
    return plain_number_text(static_cast<std::int64_t>(x));
}

// plain_number_text with one blank before a value that is not negative.
std::string sign_padded_text(float x);
std::string sign_padded_text(double x);
std::string sign_padded_text(std::int64_t x);
template <std::integral I>
std::string sign_padded_text(I x) {
    return sign_padded_text(static_cast<std::int64_t>(x));
}

// x rounded to `decimals` places (exact binary value, ties away from zero),
// all places written, at least one digit before the point, "-" before a
// negative value: the patterns "0.00" .. "0.00000".
std::string fixed_point_text(double x, int decimals);

}  // namespace quarnel
