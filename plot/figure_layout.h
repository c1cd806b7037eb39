#pragma once

#include <QRectF>
#include <QSizeF>
#include <string>
#include <vector>

#include "plot/chart.h"

namespace quarnel {

// Panels stacked over one opening axis, with the room their labels and
// titles need: each panel's share of the height is its weight.
struct StackRequest {
    AxisTicks x;
    std::vector<AxisTicks> y;
    std::vector<double> weights;
    double right_room = 8;   // for colour bars beside the panels
    double bottom_note = 0;  // extra lines under the bottom axis's title
};

struct PageLayout {
    QRectF title_line;  // empty when there is no title
    std::vector<Panel> panels;
};

PageLayout stack_panels(const QSizeF& page, const std::string& title, const StackRequest& request);

// An axis over exactly [low, high] with round ticks inside it (maps, whose
// fill covers the grid only).
AxisTicks exact_axis(double low, double high, int target = 5);

// The finite values' range, [0, 1] when there are none.
std::pair<double, double> finite_range(const std::vector<double>& values);

}  // namespace quarnel
