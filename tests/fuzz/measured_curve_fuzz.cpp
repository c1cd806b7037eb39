// The reading of a measured curve on arbitrary bytes: either points, each a
// finite opening of 0 or more and a finite stress, neither beyond the
// measured value limit, on a line of the text in increasing order, or a
// refusal naming a line of the text (0 for the whole file); no undefined
// behaviour on the way.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

#include "study/measured_curve.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const long lines = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
    const auto read = quarnel::read_measured_curve(text);
    if (const auto* refusal = std::get_if<quarnel::CurveRefusal>(&read)) {
        if (refusal->line < 0 || refusal->line > lines || refusal->reason.empty()) std::abort();
        if (quarnel::curve_refusal_text(*refusal).empty()) std::abort();
        return 0;
    }
    const auto& points = std::get<std::vector<quarnel::MeasuredPoint>>(read);
    if (points.empty()) std::abort();
    int last = 0;
    for (const quarnel::MeasuredPoint& p : points) {
        if (!std::isfinite(p.opening) || !(p.opening >= 0) || std::signbit(p.opening)) std::abort();
        if (!std::isfinite(p.stress)) std::abort();
        if (p.opening > quarnel::measured_value_limit) std::abort();
        if (std::abs(p.stress) > quarnel::measured_value_limit) std::abort();
        if (p.line <= last || p.line > lines) std::abort();
        last = p.line;
    }
    return 0;
}
