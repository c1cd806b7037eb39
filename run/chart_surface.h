#pragma once

#include <cstdint>

namespace quarnel {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

// A chart box as the run draws on it: a user coordinate rectangle over the
// whole drawing area, lines and single points in one-pixel RGB pens, clipped
// to the box, and a current drawing position (the end of the last line or
// the last point).
class ChartSurface {
  public:
    virtual ~ChartSurface() = default;
    virtual void clear() = 0;
    // (x_left, y_top) is the upper left corner, (x_right, y_bottom) the lower right.
    virtual void set_scale(double x_left, double y_top, double x_right, double y_bottom) = 0;
    virtual void line(double x1, double y1, double x2, double y2, Rgb colour) = 0;
    virtual void line_to(double x, double y, Rgb colour) = 0;
    virtual void point(double x, double y, Rgb colour) = 0;
};

// For runs without a window: draws nothing.
class NoChart final : public ChartSurface {
  public:
    void clear() override {}
    void set_scale(double, double, double, double) override {}
    void line(double, double, double, double, Rgb) override {}
    void line_to(double, double, Rgb) override {}
    void point(double, double, Rgb) override {}
};

}  // namespace quarnel
