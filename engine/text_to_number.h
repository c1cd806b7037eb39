#pragma once

#include <string_view>

namespace quarnel {

// The number a field text stands for. Blanks, tabs and line feeds anywhere in
// the text are skipped; then the longest leading number is taken: an optional
// sign, digits with at most one decimal point ("." whatever the locale), and
// optionally an exponent letter E or D with an optional sign and digits. Any
// other character ends the number; text with no leading number reads as 0.
// The value is the correctly rounded double of that decimal text.
double read_number(std::string_view text);

}  // namespace quarnel
