#pragma once

#include <string>
#include <string_view>

namespace quarnel {

// How a field text reads as a number: the value, and the characters that
// followed the number and were not used (blanks, tabs and line feeds left
// out; empty when the whole text was used).
struct NumberReading {
    double value = 0;
    std::string ignored;
};

// The number a field text stands for. Blanks, tabs and line feeds anywhere in
// the text are skipped; then the longest leading number is taken: an optional
// sign, digits with at most one decimal point ("." whatever the locale), and
// optionally an exponent letter E or D with an optional sign and digits. Any
// other character ends the number; text with no leading number reads as 0.
// The value is the correctly rounded double of that decimal text, however
// long its exponent: infinity beyond the range, a signed zero below it.
NumberReading read_number_text(std::string_view text);
double read_number(std::string_view text);

// Whether the whole text is one decimal number: an optional sign, digits
// with at most one point, an optional exponent (E and digits); "inf", "nan",
// blanks and hexadecimal forms are not. On such a text read_number is the
// correctly rounded reading.
bool is_decimal_number(std::string_view text);

// The shortest decimal text that reads back as the same double ("0.1",
// "1e-05", "inf", "nan"), for CSV and JSON values.
std::string shortest_number_text(double x);

}  // namespace quarnel
