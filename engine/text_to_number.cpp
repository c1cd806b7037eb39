#include "text_to_number.h"

#include <charconv>
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

// Exponents are summed with the digits' positions and compared with the
// double's range, so anything past this bound is as good as infinite and the
// sum cannot overflow.
constexpr long long exponent_bound = 1'000'000'000'000'000LL;

// The value of a number with a non-zero digit whose first non-zero digit has
// decimal exponent `leading - 1`: digits, an optional point, no sign.
double value_of(const std::string& mantissa, long long leading, long long exponent) {
    // A value below 10^-324 is less than half the smallest subnormal and
    // rounds to 0; one at or above 10^309 is beyond the largest double.
    if (leading + exponent < -323) return 0.0;
    if (leading + exponent > 310) return std::numeric_limits<double>::infinity();
    const std::string number = mantissa + "e" + std::to_string(exponent);
    // from_chars is correctly rounded and ignores the locale, which a Qt
    // application sets from the environment.
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        value = leading + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return value;
}

}  // namespace

NumberReading read_number_text(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (const char c : text) {
        if (!is_skipped(c)) s.push_back(c);
    }

    std::string mantissa;
    std::size_t at = 0;
    bool negative = false;
    if (at < s.size() && (s[at] == '+' || s[at] == '-')) negative = s[at++] == '-';
    bool any_digit = false;
    bool non_zero = false;
    long long leading = 0;  // decimal exponent of the first non-zero digit, plus 1
    while (at < s.size() && is_digit(s[at])) {
        non_zero = non_zero || s[at] != '0';
        if (non_zero) ++leading;
        mantissa.push_back(s[at++]);
        any_digit = true;
    }
    if (at < s.size() && s[at] == '.') {
        mantissa.push_back(s[at++]);
        while (at < s.size() && is_digit(s[at])) {
            if (!non_zero && s[at] == '0') --leading;
            non_zero = non_zero || s[at] != '0';
            mantissa.push_back(s[at++]);
            any_digit = true;
        }
    }
    if (!any_digit) return {0.0, s};

    // An exponent counts only when at least one digit follows it: "2e" is 2.
    long long exponent = 0;
    if (at < s.size() && (s[at] == 'e' || s[at] == 'E' || s[at] == 'd' || s[at] == 'D')) {
        std::size_t e = at + 1;
        bool exponent_negative = false;
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) exponent_negative = s[e++] == '-';
        if (e < s.size() && is_digit(s[e])) {
            while (e < s.size() && is_digit(s[e])) {
                if (exponent < exponent_bound) exponent = exponent * 10 + (s[e] - '0');
                ++e;
            }
            if (exponent_negative) exponent = -exponent;
            at = e;
        }
    }
    const double value = non_zero ? value_of(mantissa, leading, exponent) : 0.0;
    return {negative ? -value : value, s.substr(at)};
}

double read_number(std::string_view text) {
    return read_number_text(text).value;
}

bool is_decimal_number(std::string_view t) {
    std::size_t at = 0;
    if (at < t.size() && (t[at] == '+' || t[at] == '-')) ++at;
    const auto digits = [&] {
        const std::size_t from = at;
        while (at < t.size() && t[at] >= '0' && t[at] <= '9') ++at;
        return at - from;
    };
    std::size_t mantissa = digits();
    if (at < t.size() && t[at] == '.') {
        ++at;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (at < t.size() && (t[at] == 'e' || t[at] == 'E')) {
        ++at;
        if (at < t.size() && (t[at] == '+' || t[at] == '-')) ++at;
        if (digits() == 0) return false;
    }
    return at == t.size();
}

std::string shortest_number_text(double x) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, result.ptr);
}

}  // namespace quarnel
