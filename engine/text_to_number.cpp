#include "text_to_number.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

namespace quarnel {

namespace {

bool is_skipped(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Whether a decimal text that overflowed or underflowed a double was too
// large (rather than too small): its leading digit's decimal exponent is > 0.
bool magnitude_is_huge(const std::string& number) {
    long position = 0;  // decimal exponent of the first non-zero digit
    bool found = false;
    bool after_point = false;
    std::size_t at = 0;
    for (; at < number.size() && number[at] != 'e'; ++at) {
        const char c = number[at];
        if (c == '.') {
            after_point = true;
            continue;
        }
        if (!found && c != '0') found = true;
        if (found && !after_point) ++position;
        if (!found && after_point) --position;
    }
    long exponent = 0;
    if (at < number.size()) exponent = std::strtol(number.c_str() + at + 1, nullptr, 10);
    return position + exponent > 0;
}

}  // namespace

double read_number(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (const char c : text) {
        if (!is_skipped(c)) s.push_back(c);
    }

    std::string number;
    std::size_t at = 0;
    bool negative = false;
    if (at < s.size() && (s[at] == '+' || s[at] == '-')) negative = s[at++] == '-';
    bool any_digit = false;
    while (at < s.size() && is_digit(s[at])) {
        number.push_back(s[at++]);
        any_digit = true;
    }
    if (at < s.size() && s[at] == '.') {
        number.push_back(s[at++]);
        while (at < s.size() && is_digit(s[at])) {
            number.push_back(s[at++]);
            any_digit = true;
        }
    }
    if (!any_digit) return 0.0;

    // An exponent counts only when at least one digit follows it: "2e" is 2.
    if (at < s.size() && (s[at] == 'e' || s[at] == 'E' || s[at] == 'd' || s[at] == 'D')) {
        std::size_t e = at + 1;
        std::string exponent = "e";
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) exponent.push_back(s[e++]);
        if (e < s.size() && is_digit(s[e])) {
            while (e < s.size() && is_digit(s[e])) exponent.push_back(s[e++]);
            number += exponent;
        }
    }
    // from_chars is correctly rounded and ignores the locale, which a Qt
    // application sets from the environment.
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Out of range: infinity or zero, which the callers judge.
        value = magnitude_is_huge(number) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

}  // namespace quarnel
