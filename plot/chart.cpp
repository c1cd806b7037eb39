#include "chart.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace quarnel {

const std::vector<QColor>& palette() {
    static const std::vector<QColor> colours = {QColor(0x00, 0x00, 0x00), QColor(0x00, 0x72, 0xB2),
                                                QColor(0xD5, 0x5E, 0x00), QColor(0x00, 0x9E, 0x73),
                                                QColor(0xCC, 0x79, 0xA7), QColor(0xE6, 0x9F, 0x00),
                                                QColor(0x56, 0xB4, 0xE9), QColor(0xF0, 0xE4, 0x42)};
    return colours;
}

Qt::PenStyle line_style(std::size_t index) {
    static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                          Qt::DashDotLine};
    return styles[index % 4];
}

QPen curve_pen(std::size_t index, double width) {
    QPen pen(palette()[index % palette().size()], width, line_style(index), Qt::FlatCap,
             Qt::RoundJoin);
    return pen;
}

QColor cividis(double t) {
    // Cividis at eleven even steps; between them, linear in RGB.
    static const int table[11][3] = {{0, 34, 78},     {18, 53, 112},   {59, 73, 108},
                                     {87, 92, 109},   {112, 113, 115}, {138, 134, 120},
                                     {165, 156, 116}, {194, 179, 108}, {224, 204, 93},
                                     {248, 229, 70},  {254, 232, 56}};
    t = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0) * 10;
    const int k = std::min(static_cast<int>(t), 9);
    const double f = t - k;
    const auto mix = [&](int c) {
        return static_cast<int>(std::lround(table[k][c] + f * (table[k + 1][c] - table[k][c])));
    };
    return QColor(mix(0), mix(1), mix(2));
}

QFont figure_font(double points) {
    QFont font;
    font.setFamilies({"Arial", "Helvetica", "Liberation Sans", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

QPointF Panel::at(double vx, double vy) const {
    const double fx = (vx - x.low) / (x.high - x.low);
    const double fy = (vy - y.low) / (y.high - y.low);
    return {area.left() + fx * area.width(), area.bottom() - fy * area.height()};
}

namespace {

QPen thin_pen(const QColor& colour = Qt::black, Qt::PenStyle line = Qt::SolidLine) {
    return QPen(colour, style::thin, line, Qt::FlatCap, Qt::MiterJoin);
}

}  // namespace

double tick_label_width(const AxisTicks& axis) {
    const QFontMetricsF metrics(figure_font(style::tick_font));
    double widest = 0;
    for (const double t : axis.ticks) {
        widest = std::max(widest, metrics.horizontalAdvance(
                                      QString::fromStdString(tick_label(t, axis.decimals))));
    }
    return widest;
}

void draw_axes(QPainter& painter, const Panel& panel, const std::string& x_title,
               const std::string& y_title, bool x_labels) {
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(thin_pen());
    const QRectF& a = panel.area;
    painter.drawRect(a);
    const QFont tick_font = figure_font(style::tick_font);
    const QFontMetricsF metrics(tick_font);
    painter.setFont(tick_font);
    // Ticks point inwards, on all four sides, as print journals usually show.
    for (const double t : panel.x.ticks) {
        const double px = panel.at(t, panel.y.low).x();
        painter.drawLine(QPointF(px, a.bottom()), QPointF(px, a.bottom() - style::tick_length));
        painter.drawLine(QPointF(px, a.top()), QPointF(px, a.top() + style::tick_length));
        if (!x_labels) continue;
        const QString label = QString::fromStdString(tick_label(t, panel.x.decimals));
        const double width = metrics.horizontalAdvance(label);
        painter.drawText(QPointF(px - width / 2, a.bottom() + 2 + metrics.ascent()), label);
    }
    double widest = 0;
    for (const double t : panel.y.ticks) {
        const double py = panel.at(panel.x.low, t).y();
        painter.drawLine(QPointF(a.left(), py), QPointF(a.left() + style::tick_length, py));
        painter.drawLine(QPointF(a.right(), py), QPointF(a.right() - style::tick_length, py));
        const QString label = QString::fromStdString(tick_label(t, panel.y.decimals));
        const double width = metrics.horizontalAdvance(label);
        widest = std::max(widest, width);
        painter.drawText(QPointF(a.left() - 2.5 - width, py + metrics.capHeight() / 2), label);
    }
    const QFont title_font = figure_font(style::label_font);
    const QFontMetricsF title_metrics(title_font);
    painter.setFont(title_font);
    if (x_labels && !x_title.empty()) {
        const QString text = QString::fromStdString(x_title);
        const double width = title_metrics.horizontalAdvance(text);
        painter.drawText(QPointF(a.center().x() - width / 2,
                                 a.bottom() + 2 + metrics.height() + 1.5 + title_metrics.ascent()),
                         text);
    }
    if (!y_title.empty()) {
        const QString text = QString::fromStdString(y_title);
        const double width = title_metrics.horizontalAdvance(text);
        painter.translate(a.left() - 2.5 - widest - 2.5 - title_metrics.descent(), a.center().y());
        painter.rotate(-90);
        painter.drawText(QPointF(-width / 2, 0), text);
    }
    painter.restore();
}

void draw_curve(QPainter& painter, const Panel& panel, const std::vector<double>& x,
                const std::vector<double>& y, const QPen& pen) {
    painter.save();
    // Steps beyond the axis stay in the curve, cut at the panel's frame.
    painter.setClipRect(panel.area);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    QPolygonF line;
    const auto flush = [&] {
        if (line.size() > 1) painter.drawPolyline(line);
        line.clear();
    };
    for (std::size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            flush();
            continue;
        }
        line << panel.at(x[i], y[i]);
    }
    flush();
    painter.restore();
}

void hatch(QPainter& painter, const QPolygonF& polygon, double spacing, const QPen& pen,
           bool rising) {
    if (polygon.size() < 3) return;
    // Lines x + s y = c (s = 1 falling on the page, -1 rising: the page's y
    // grows downwards), c on multiples of spacing * sqrt(2).
    const double s = rising ? 1 : -1;
    double low = INFINITY;
    double high = -INFINITY;
    for (const QPointF& p : polygon) {
        low = std::min(low, p.x() + s * p.y());
        high = std::max(high, p.x() + s * p.y());
    }
    const double gap = spacing * std::sqrt(2.0);
    painter.save();
    painter.setPen(pen);
    for (double c = std::ceil(low / gap) * gap; c <= high; c += gap) {
        // Where the line crosses each edge, by its position along the line
        // (the page's x); inside between pairs of crossings.
        std::vector<double> cuts;
        for (qsizetype i = 0; i < polygon.size(); ++i) {
            const QPointF& p = polygon[i];
            const QPointF& q = polygon[(i + 1) % polygon.size()];
            const double fp = p.x() + s * p.y() - c;
            const double fq = q.x() + s * q.y() - c;
            if ((fp < 0) == (fq < 0)) continue;
            const double t = fp / (fp - fq);
            cuts.push_back(p.x() + t * (q.x() - p.x()));
        }
        std::sort(cuts.begin(), cuts.end());
        for (std::size_t k = 0; k + 1 < cuts.size(); k += 2) {
            painter.drawLine(QPointF(cuts[k], (c - cuts[k]) / s),
                             QPointF(cuts[k + 1], (c - cuts[k + 1]) / s));
        }
    }
    painter.restore();
}

void boxed_text(QPainter& painter, const QPointF& centre, const QString& text, double points) {
    painter.save();
    const QFont font = figure_font(points);
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(text);
    const QRectF box(centre.x() - width / 2 - 1, centre.y() - metrics.capHeight() / 2 - 1.5,
                     width + 2, metrics.capHeight() + 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRect(box);
    painter.setPen(Qt::black);
    painter.setFont(font);
    painter.drawText(QPointF(box.left() + 1, centre.y() + metrics.capHeight() / 2), text);
    painter.restore();
}

void draw_legend(QPainter& painter, const QPointF& corner, const std::vector<LegendEntry>& entries,
                 const QString& heading) {
    if (entries.empty()) return;
    painter.save();
    const QFont font = figure_font(style::tick_font);
    const QFontMetricsF metrics(font);
    const double sample = 14;
    const double row = metrics.height() * 1.05;
    double width = heading.isEmpty() ? 0 : metrics.horizontalAdvance(heading);
    for (const LegendEntry& e : entries) {
        width = std::max(width, sample + 3 + metrics.horizontalAdvance(e.text));
    }
    const double rows = static_cast<double>(entries.size()) + (heading.isEmpty() ? 0 : 1);
    const QRectF box(corner.x() - width - 6, corner.y(), width + 6, rows * row + 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRect(box);
    painter.setFont(font);
    double y = box.top() + 2;
    if (!heading.isEmpty()) {
        painter.setPen(Qt::black);
        painter.drawText(QPointF(box.left() + 3, y + metrics.ascent()), heading);
        y += row;
    }
    for (const LegendEntry& e : entries) {
        const double mid = y + row / 2;
        painter.setPen(e.pen);
        painter.setBrush(Qt::NoBrush);
        if (e.marks) {
            painter.drawEllipse(QPointF(box.left() + 3 + sample / 2, mid), 1.8, 1.8);
        } else {
            painter.drawLine(QPointF(box.left() + 3, mid), QPointF(box.left() + 3 + sample, mid));
        }
        painter.setPen(Qt::black);
        painter.drawText(QPointF(box.left() + 3 + sample + 3, mid + metrics.capHeight() / 2),
                         e.text);
        y += row;
    }
    painter.restore();
}

void draw_colour_bar(QPainter& painter, const QRectF& bar, const AxisTicks& ticks,
                     const std::string& title, const std::vector<double>& bands, double ramp_low,
                     double ramp_high) {
    painter.save();
    const auto y_of = [&](double v) {
        return bar.bottom() - (v - ticks.low) / (ticks.high - ticks.low) * bar.height();
    };
    painter.setPen(Qt::NoPen);
    if (bands.size() >= 2) {
        const std::size_t n = bands.size() - 1;
        for (std::size_t k = 0; k < n; ++k) {
            const double t = ramp_low + (ramp_high - ramp_low) * (static_cast<double>(k) + 0.5) /
                                            static_cast<double>(n);
            painter.setBrush(cividis(t));
            painter.drawRect(QRectF(QPointF(bar.left(), y_of(bands[k + 1])),
                                    QPointF(bar.right(), y_of(bands[k]))));
        }
    } else {
        const int steps = 64;
        for (int k = 0; k < steps; ++k) {
            const double f0 = static_cast<double>(k) / steps;
            const double f1 = static_cast<double>(k + 1) / steps;
            painter.setBrush(cividis(ramp_low + (ramp_high - ramp_low) * (f0 + f1) / 2));
            painter.drawRect(QRectF(QPointF(bar.left(), bar.bottom() - f1 * bar.height()),
                                    QPointF(bar.right(), bar.bottom() - f0 * bar.height()))
                                 .adjusted(0, -0.2, 0, 0));
        }
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(thin_pen());
    painter.drawRect(bar);
    const QFont font = figure_font(style::tick_font);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    double widest = 0;
    for (const double t : ticks.ticks) {
        const double py = y_of(t);
        painter.drawLine(QPointF(bar.right(), py), QPointF(bar.right() + 2, py));
        const QString label = QString::fromStdString(tick_label(t, ticks.decimals));
        widest = std::max(widest, metrics.horizontalAdvance(label));
        painter.drawText(QPointF(bar.right() + 3, py + metrics.capHeight() / 2), label);
    }
    if (!title.empty()) {
        const QFont title_font = figure_font(style::label_font);
        const QFontMetricsF title_metrics(title_font);
        const QString text = QString::fromStdString(title);
        painter.setFont(title_font);
        painter.translate(bar.right() + 3 + widest + 2 + title_metrics.ascent(), bar.center().y());
        painter.rotate(-90);
        painter.drawText(QPointF(-title_metrics.horizontalAdvance(text) / 2, 0), text);
    }
    painter.restore();
}

int title_lines(const std::string& title, double width) {
    return static_cast<int>(wrapped_title(title, width).size());
}

std::vector<QString> wrapped_title(const std::string& title, double width) {
    if (title.empty()) return {};
    const QFontMetricsF metrics(figure_font(style::title_font));
    const QString text = QString::fromStdString(title);
    if (metrics.horizontalAdvance(text) <= width) return {text};
    // Two lines at most, broken after a comma or a colon where one fits, else
    // at a blank; the rest elided.
    qsizetype cut = -1;
    qsizetype blank = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (metrics.horizontalAdvance(text.left(i + 1)) > width) break;
        if (text[i] == ',' || text[i] == ':') cut = i + 1;
        if (text[i] == ' ') blank = i;
    }
    if (cut < 0) cut = blank;
    if (cut < 0) return {metrics.elidedText(text, Qt::ElideRight, width)};
    return {text.left(cut), metrics.elidedText(text.mid(cut).trimmed(), Qt::ElideRight, width)};
}

void draw_title(QPainter& painter, const QRectF& line, const std::string& title) {
    if (title.empty()) return;
    painter.save();
    const QFont font = figure_font(style::title_font);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(Qt::black);
    double y = line.top() + metrics.ascent();
    for (const QString& text : wrapped_title(title, line.width())) {
        painter.drawText(QPointF(line.left(), y), text);
        y += metrics.height();
    }
    painter.restore();
}

}  // namespace quarnel
