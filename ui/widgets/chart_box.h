#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QSize>
#include <QWidget>

namespace quarnel {

// A box that keeps a drawing of lines and points in a user coordinate system.
//
// set_scale maps the rectangle x_left..x_right (left to right) by
// y_bottom..y_top (bottom to top) linearly onto the box's pixels: x_left onto
// the first column, x_right onto the last, y_top onto the first row, y_bottom
// onto the last. Until it is called the box uses 0..1 in both directions.
// Everything is drawn one pixel wide and clipped to the box. A scale of zero
// width or height, or with a value that is not finite, draws nothing.
//
// The box keeps a current drawing position in user coordinates: the end of the
// last line or the last point, never moved by clipping, so a polyline that
// leaves the box re-enters it exactly. clear() moves it to (0, 0).
//
// The drawing lives in a backing image and survives the box being covered,
// repainted or disabled.
class ChartBox : public QWidget {
    Q_OBJECT

  public:
    explicit ChartBox(QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

    // Erases all drawing to the background, the window face colour.
    void clear();
    void set_scale(double x_left, double y_top, double x_right, double y_bottom);
    void line(double x1, double y1, double x2, double y2, const QColor& colour);
    void line_to(double x, double y, const QColor& colour);
    void point(double x, double y, const QColor& colour);

    QPointF current_position() const { return {current_x_, current_y_}; }
    // The drawing, as large as the box since the last drawing call or resize.
    const QImage& image() const { return image_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QColor background() const;
    void fit_image();
    bool scale_is_usable() const;
    // Pixel coordinates (column, row) of a user point, not rounded.
    QPointF to_pixels(double x, double y) const;
    void draw_segment(QPointF from, QPointF to, QRgb rgb);

    QImage image_;
    double x_left_ = 0;
    double y_top_ = 1;
    double x_right_ = 1;
    double y_bottom_ = 0;
    double current_x_ = 0;
    double current_y_ = 0;
};

}  // namespace quarnel
