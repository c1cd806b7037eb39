#pragma once

#include <QColor>
#include <QFont>
#include <QPen>
#include <QPolygonF>
#include <QRectF>
#include <string>
#include <vector>

#include "plot/ticks.h"

class QPainter;

namespace quarnel {

// The print style every figure shares: points (1/72 inch) throughout.
namespace style {
inline constexpr double tick_font = 7;
inline constexpr double label_font = 7.5;
inline constexpr double title_font = 8;
inline constexpr double thin = 0.75;   // axes, ticks, guides: above 0.25 mm
inline constexpr double curve = 1.25;  // data lines
inline constexpr double tick_length = 3;
}  // namespace style

// The line colours in order (Okabe and Ito's, black first), shared with the
// Python figures, and the line styles they cycle with, so that curves stay
// apart in greyscale.
const std::vector<QColor>& palette();
Qt::PenStyle line_style(std::size_t index);
// The index-th curve's pen: the palette's colour and the cycled style.
QPen curve_pen(std::size_t index, double width = style::curve);
// A colour of the cividis ramp, t from 0 to 1.
QColor cividis(double t);

// A sans-serif font of `points` size, as journals ask (Arial or Helvetica
// where present).
QFont figure_font(double points);

// One plotting area and the round axes it maps onto it.
struct Panel {
    QRectF area;  // in points
    AxisTicks x;
    AxisTicks y;

    QPointF at(double vx, double vy) const;
};

// The axes' frame, ticks, labels and titles. Without x labels the ticks stay
// and the labels and title go (a panel over another that shares its axis).
void draw_axes(QPainter& painter, const Panel& panel, const std::string& x_title,
               const std::string& y_title, bool x_labels = true);
// The widest tick label of an axis, for the room left of a panel.
double tick_label_width(const AxisTicks& axis);

// A data line; points that are not finite break it.
void draw_curve(QPainter& painter, const Panel& panel, const std::vector<double>& x,
                const std::vector<double>& y, const QPen& pen);

// Parallel lines over a polygon (in points), `spacing` apart, at 45 degrees:
// a fill that stays readable in greyscale. The lines are one family over the
// whole page, so that adjacent polygons hatch seamlessly.
void hatch(QPainter& painter, const QPolygonF& polygon, double spacing, const QPen& pen,
           bool rising = true);

// Text with a white box behind it, centred on `centre`.
void boxed_text(QPainter& painter, const QPointF& centre, const QString& text, double points);

// A legend of line samples and their texts, its top right corner at
// `corner`.
struct LegendEntry {
    QString text;
    QPen pen;
    bool marks = false;  // a mark rather than a line
};
void draw_legend(QPainter& painter, const QPointF& corner, const std::vector<LegendEntry>& entries,
                 const QString& heading = {});

// A vertical colour bar beside a panel over [ticks.low, ticks.high], cividis
// from `ramp_low` to `ramp_high`, its title rotated beside it. `bands`
// gives levels at which the bar changes colour in steps (filled contours);
// empty for a smooth ramp.
void draw_colour_bar(QPainter& painter, const QRectF& bar, const AxisTicks& ticks,
                     const std::string& title, const std::vector<double>& bands,
                     double ramp_low = 0, double ramp_high = 1);

// The title at the top of the page: one line, or two broken after a comma,
// the rest shortened with an ellipsis.
std::vector<QString> wrapped_title(const std::string& title, double width);
int title_lines(const std::string& title, double width);
void draw_title(QPainter& painter, const QRectF& line, const std::string& title);

}  // namespace quarnel
