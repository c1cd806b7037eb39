#include "chart_box.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quarnel {

namespace {

// Cuts the segment a-b to the rectangle [x_min, x_max] x [y_min, y_max]
// (Liang-Barsky). Returns false when nothing of it lies inside. A cut end gets
// the edge's coordinate exactly, so a far-away end point does not shift a
// horizontal or vertical line by rounding.
bool clip_segment(QPointF& a, QPointF& b, double x_min, double x_max, double y_min, double y_max) {
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    // Ends so far apart that their distance overflows cannot be cut exactly.
    if (!std::isfinite(dx) || !std::isfinite(dy)) return false;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - x_min, x_max - a.x(), a.y() - y_min, y_max - a.y()};
    double t0 = 0;
    double t1 = 1;
    int entry_edge = -1;
    int exit_edge = -1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0) {
            if (r > t1) return false;
            if (r > t0) {
                t0 = r;
                entry_edge = i;
            }
        } else {
            if (r < t0) return false;
            if (r < t1) {
                t1 = r;
                exit_edge = i;
            }
        }
    }
    const double edges[4] = {x_min, x_max, y_min, y_max};
    const auto cut = [&](int edge, double t, QPointF end) {
        if (edge < 0) return end;
        if (edge < 2) return QPointF(edges[edge], a.y() + t * dy);
        return QPointF(a.x() + t * dx, edges[edge]);
    };
    const QPointF start = cut(entry_edge, t0, a);
    b = cut(exit_edge, t1, b);
    a = start;
    return true;
}

bool is_finite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

int nearest_pixel(double v, int count) {
    return std::clamp(static_cast<int>(std::floor(v + 0.5)), 0, count - 1);
}

}  // namespace

ChartBox::ChartBox(QWidget* parent) : QWidget(parent) {
    // Every pixel comes from the backing image.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

QSize ChartBox::minimumSizeHint() const {
    return {100, 60};
}

QSize ChartBox::sizeHint() const {
    return {400, 280};
}

QColor ChartBox::background() const {
    return palette().color(QPalette::Active, QPalette::Window);
}

void ChartBox::fit_image() {
    if (image_.size() == size()) return;
    QImage fitted(size(), QImage::Format_RGB32);
    fitted.fill(background());
    if (!image_.isNull()) {
        QPainter painter(&fitted);
        painter.drawImage(0, 0, image_);
    }
    image_ = std::move(fitted);
}

void ChartBox::clear() {
    fit_image();
    image_.fill(background());
    current_x_ = 0;
    current_y_ = 0;
    update();
}

void ChartBox::set_scale(double x_left, double y_top, double x_right, double y_bottom) {
    x_left_ = x_left;
    y_top_ = y_top;
    x_right_ = x_right;
    y_bottom_ = y_bottom;
}

bool ChartBox::scale_is_usable() const {
    const double width = x_right_ - x_left_;
    const double height = y_top_ - y_bottom_;
    return std::isfinite(width) && std::isfinite(height) && width != 0 && height != 0 &&
           !image_.isNull();
}

QPointF ChartBox::to_pixels(double x, double y) const {
    const double column = (x - x_left_) / (x_right_ - x_left_) * (image_.width() - 1);
    const double row = (y_top_ - y) / (y_top_ - y_bottom_) * (image_.height() - 1);
    return {column, row};
}

void ChartBox::draw_segment(QPointF from, QPointF to, QRgb rgb) {
    // A point at infinity has no direction to clip along; such a segment is
    // left out rather than guessed.
    if (!is_finite(from) || !is_finite(to)) return;
    const int w = image_.width();
    const int h = image_.height();
    if (!clip_segment(from, to, -0.5, w - 0.5, -0.5, h - 0.5)) return;

    int x0 = nearest_pixel(from.x(), w);
    int y0 = nearest_pixel(from.y(), h);
    const int x1 = nearest_pixel(to.x(), w);
    const int y1 = nearest_pixel(to.y(), h);
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int step_x = x0 < x1 ? 1 : -1;
    const int step_y = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        image_.setPixel(x0, y0, rgb);
        if (x0 == x1 && y0 == y1) break;
        const int doubled = 2 * error;
        if (doubled >= dy) {
            error += dy;
            x0 += step_x;
        }
        if (doubled <= dx) {
            error += dx;
            y0 += step_y;
        }
    }
}

void ChartBox::line(double x1, double y1, double x2, double y2, const QColor& colour) {
    fit_image();
    if (scale_is_usable()) {
        draw_segment(to_pixels(x1, y1), to_pixels(x2, y2), colour.rgb());
        update();
    }
    current_x_ = x2;
    current_y_ = y2;
}

void ChartBox::line_to(double x, double y, const QColor& colour) {
    line(current_x_, current_y_, x, y, colour);
}

void ChartBox::point(double x, double y, const QColor& colour) {
    fit_image();
    if (scale_is_usable()) {
        const QPointF p = to_pixels(x, y);
        const QRectF box(-0.5, -0.5, image_.width(), image_.height());
        if (is_finite(p) && p.x() >= box.left() && p.x() < box.right() && p.y() >= box.top() &&
            p.y() < box.bottom()) {
            image_.setPixel(nearest_pixel(p.x(), image_.width()),
                            nearest_pixel(p.y(), image_.height()), colour.rgb());
            update();
        }
    }
    current_x_ = x;
    current_y_ = y;
}

void ChartBox::paintEvent(QPaintEvent* event) {
    fit_image();
    QPainter painter(this);
    painter.drawImage(event->rect(), image_, event->rect());
}

void ChartBox::resizeEvent(QResizeEvent* event) {
    fit_image();
    QWidget::resizeEvent(event);
}

}  // namespace quarnel
