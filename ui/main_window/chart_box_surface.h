#pragma once

#include <QColor>

#include "run/chart_surface.h"
#include "ui/widgets/chart_box.h"

namespace quarnel {

// A chart box as the run draws on it: every call goes to the box unchanged,
// with the run's RGB triples as colours.
class ChartBoxSurface final : public ChartSurface {
  public:
    explicit ChartBoxSurface(ChartBox& box) : box_(box) {}

    void clear() override { box_.clear(); }
    void set_scale(double x_left, double y_top, double x_right, double y_bottom) override {
        box_.set_scale(x_left, y_top, x_right, y_bottom);
    }
    void line(double x1, double y1, double x2, double y2, Rgb colour) override {
        box_.line(x1, y1, x2, y2, to_qcolor(colour));
    }
    void line_to(double x, double y, Rgb colour) override { box_.line_to(x, y, to_qcolor(colour)); }
    void point(double x, double y, Rgb colour) override { box_.point(x, y, to_qcolor(colour)); }

  private:
    static QColor to_qcolor(Rgb c) { return QColor(c.r, c.g, c.b); }

    ChartBox& box_;
};

}  // namespace quarnel
