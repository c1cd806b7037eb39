#include "number_text.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace quarnel {

namespace {

// The exact decimal expansion of a finite, non-negative double: `digits` with
// the decimal point after the first `point` of them. Every double is a dyadic
// fraction and therefore has a finite expansion, so rounding the digit string
// rounds the exact binary value.
struct DecimalDigits {
    std::string digits;
    int point = 0;
};

// Places after the point that the expansion of a needs: minus the exponent of
// its lowest set bit, since 2^-k has exactly k decimal places.
int exact_decimal_places(double a) {
    if (a == 0) return 0;
    int exponent = 0;
    const double mantissa = std::frexp(a, &exponent);  // a = mantissa * 2^exponent
    const auto bits = static_cast<std::uint64_t>(std::ldexp(mantissa, 53));
    const int lowest_bit = exponent - 53 + std::countr_zero(bits);
    return lowest_bit < 0 ? -lowest_bit : 0;
}

DecimalDigits exact_digits(double a) {
    // Longest case: 309 integer digits of the largest double, or 1074 places
    // of the smallest subnormal.
    std::array<char, 1400> buffer;
    // to_chars with an explicit precision is exact and independent of the
    // locale; with exactly the places the value has, nothing is rounded.
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), a,
                                         std::chars_format::fixed, exact_decimal_places(a));
    DecimalDigits d;
    if (ec != std::errc()) return d;
    const std::string_view text(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) {
        d.digits = text;
        d.point = static_cast<int>(text.size());
    } else {
        d.digits.reserve(text.size() - 1);
        d.digits.append(text.substr(0, dot));
        d.digits.append(text.substr(dot + 1));
        d.point = static_cast<int>(dot);
    }
    return d;
}

// Keeps the first `keep` digits (padding with zeros when there are fewer),
// rounding half away from zero: the expansion is exact, so the first dropped
// digit decides alone, and a dropped "5" followed by nothing is a true tie.
void round_to(DecimalDigits& d, int keep) {
    const auto kept = static_cast<std::size_t>(keep < 0 ? 0 : keep);
    if (kept >= d.digits.size()) {
        d.digits.resize(kept, '0');
        return;
    }
    const bool up = d.digits[kept] >= '5';
    d.digits.resize(kept);
    if (!up) return;
    std::size_t i = kept;
    while (i > 0 && d.digits[i - 1] == '9') {
        d.digits[i - 1] = '0';
        --i;
    }
    if (i == 0) {
        d.digits.insert(d.digits.begin(), '1');
        ++d.point;
    } else {
        ++d.digits[i - 1];
    }
}

std::string non_finite_text(double x) {
    if (std::isnan(x)) return "NaN";
    return x < 0 ? "-Inf" : "Inf";
}

std::string significant_text(double x, int significant) {
    if (!std::isfinite(x)) return non_finite_text(x);
    if (x == 0) return "0";  // also for -0

    DecimalDigits d = exact_digits(std::fabs(x));
    const std::size_t first = d.digits.find_first_not_of('0');
    round_to(d, static_cast<int>(first) + significant);

    // Rounding may carry into a new leading digit (9999999.5 -> 10000000), so
    // the exponent is that of the rounded value.
    const std::size_t lead = d.digits.find_first_not_of('0');
    const std::size_t last = d.digits.find_last_not_of('0');
    const std::string_view sig = std::string_view(d.digits).substr(lead, last - lead + 1);
    const int exponent = d.point - static_cast<int>(lead) - 1;

    std::string out;
    if (x < 0) out += '-';
    if (exponent < -4 || exponent >= significant) {
        out += sig[0];
        if (sig.size() > 1) {
            out += '.';
            out.append(sig.substr(1));
        }
        out += 'E';
        out += exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) out += '0';
        out += plain_number_text(std::int64_t{magnitude});
    } else if (exponent >= 0) {
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        if (sig.size() <= whole) {
            out.append(sig);
            out.append(whole - sig.size(), '0');
        } else {
            out.append(sig.substr(0, whole));
            out += '.';
            out.append(sig.substr(whole));
        }
    } else {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out.append(sig);
    }
    return out;
}

std::string sign_padded(bool negative, const std::string& text) {
    if (negative) return text;
    std::string out(1, ' ');
    out += text;
    return out;
}

}  // namespace

std::string plain_number_text(float x) {
    return significant_text(x, 7);
}

std::string plain_number_text(double x) {
    return significant_text(x, 15);
}

std::string plain_number_text(std::int64_t x) {
    std::array<char, 24> buffer;
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), x);
    return std::string(buffer.data(), ec == std::errc() ? end : buffer.data());
}

std::string sign_padded_text(float x) {
    return sign_padded(x < 0, plain_number_text(x));
}

std::string sign_padded_text(double x) {
    return sign_padded(x < 0, plain_number_text(x));
}

std::string sign_padded_text(std::int64_t x) {
    return sign_padded(x < 0, plain_number_text(x));
}

std::string fixed_point_text(double x, int decimals) {
    if (!std::isfinite(x)) return non_finite_text(x);
    if (decimals < 0) decimals = 0;

    DecimalDigits d = exact_digits(std::fabs(x));
    round_to(d, d.point + decimals);

    const std::string_view all(d.digits);
    std::string_view whole = all.substr(0, static_cast<std::size_t>(d.point));
    const std::string_view places = all.substr(static_cast<std::size_t>(d.point));
    const std::size_t lead = whole.find_first_not_of('0');
    whole = lead == std::string_view::npos ? std::string_view("0") : whole.substr(lead);

    std::string out;
    // A negative value that rounds to zero is written as zero, without sign.
    if (x < 0 && d.digits.find_first_not_of('0') != std::string::npos) out += '-';
    out.append(whole);
    if (decimals > 0) {
        out += '.';
        out.append(places);
    }
    return out;
}

}  // namespace quarnel
