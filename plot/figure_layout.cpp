#include "figure_layout.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

namespace quarnel {

PageLayout stack_panels(const QSizeF& page, const std::string& title, const StackRequest& r) {
    PageLayout layout;
    const QFontMetricsF tick(figure_font(style::tick_font));
    const QFontMetricsF label(figure_font(style::label_font));
    const QFontMetricsF heading(figure_font(style::title_font));
    const double margin = 4;
    double top = margin;
    if (!title.empty()) {
        const double width = page.width() - 2 * margin;
        const double height = heading.height() * title_lines(title, width);
        layout.title_line = QRectF(margin, top, width, height);
        top += height + 3;
    } else {
        top += 2;
    }
    double widest = 0;
    for (const AxisTicks& y : r.y) widest = std::max(widest, tick_label_width(y));
    const double left = margin + label.height() + 2.5 + widest + 2.5;
    // Room for half of the last x tick label past the frame.
    const double right = page.width() - margin - std::max(r.right_room, 6.0);
    const double bottom = page.height() - margin - tick.height() - 2 - label.height() - 1.5 -
                          r.bottom_note * (tick.height() + 1);
    const double gap = 5;
    const double total = bottom - top - gap * static_cast<double>(r.y.size() - 1);
    double weight_sum = 0;
    for (const double w : r.weights) weight_sum += w;
    double y = top;
    for (std::size_t i = 0; i < r.y.size(); ++i) {
        const double h = total * r.weights[i] / weight_sum;
        layout.panels.push_back({QRectF(left, y, right - left, h), r.x, r.y[i]});
        y += h + gap;
    }
    return layout;
}

AxisTicks exact_axis(double low, double high, int target) {
    AxisTicks axis = round_axis(low, high, target);
    if (!(high > low)) return axis;
    std::vector<double> inside;
    for (const double t : axis.ticks) {
        if (t >= low - 1e-9 * (high - low) && t <= high + 1e-9 * (high - low)) inside.push_back(t);
    }
    axis.ticks = inside;
    axis.low = low;
    axis.high = high;
    return axis;
}

std::pair<double, double> finite_range(const std::vector<double>& values) {
    double low = INFINITY;
    double high = -INFINITY;
    for (const double v : values) {
        if (!std::isfinite(v)) continue;
        low = std::min(low, v);
        high = std::max(high, v);
    }
    if (low > high) return {0, 1};
    return {low, high};
}

}  // namespace quarnel
