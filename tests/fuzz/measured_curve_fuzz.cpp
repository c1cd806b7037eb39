// The reading of a measured curve on arbitrary bytes: either points, each a
// finite opening of 0 or more and a finite stress, neither beyond the
// measured value limit, on a line of the text in increasing order (after the
// skipped lines), or a refusal naming a line of the text (0 for the whole
// file) and a column no larger than those read; no undefined behaviour on the
// way. A first byte below 32, which no text file begins with, chooses the
// layout: its low three bits the lines skipped, the next two the columns
// (none, or the opening and the stress in columns 1 and 2, 2 and 3, or 3 and
// 1 of lines of several).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <variant>

#include "study/measured_curve.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    quarnel::MeasuredLayout layout;
    if (!text.empty() && static_cast<unsigned char>(text.front()) < 32) {
        const int choice = static_cast<unsigned char>(text.front());
        layout.skip = choice & 7;
        const int column = choice >> 3;
        if (column > 0) layout.columns = std::make_pair(column, column % 3 + 1);
        text.remove_prefix(1);
    }
    const long lines = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
    const auto read = quarnel::read_measured_curve(text, layout);
    if (const auto* refusal = std::get_if<quarnel::CurveRefusal>(&read)) {
        if (refusal->line < 0 || refusal->line > lines || refusal->reason.empty()) std::abort();
        if (refusal->column < 0 || refusal->column > 3 ||
            (refusal->column > 0 && !layout.columns)) {
            std::abort();
        }
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
        if (p.line <= last || p.line > lines || p.line <= layout.skip) std::abort();
        last = p.line;
    }
    return 0;
}
