#include "figure.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "plot/chart.h"
#include "plot/contours.h"
#include "plot/figure_layout.h"

namespace quarnel {

namespace {

const std::string w_title = "Crack opening w (mm)";
const std::string sigma_title = "Bridging stress σ (MPa)";
const std::string ratio_title = "Effective fiber ratio";

// A value for a label: four significant digits (all of a whole number's
// below a million, which an exponent would only obscure), no trailing zeros.
QString number(double v, int digits = 4) {
    char text[64];
    if (std::abs(v) >= std::pow(10.0, digits) && std::abs(v) < 1e6) {
        std::snprintf(text, sizeof text, "%.0f", v);
    } else {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
    }
    return QString::fromUtf8(text);
}

// Room at the top of a data axis, so that a curve's peak stays off the frame.
AxisTicks data_axis(const std::vector<double>& values, double floor = 0, double extra = 0) {
    const auto [low, high] = finite_range(values);
    return round_axis(std::min(low, floor), std::max(high, extra) * 1.06);
}

// The room right of a panel for a colour bar, its labels and its title.
double colour_bar_room(double label_width) {
    return 6 + 8 + 3 + label_width + 2 + QFontMetricsF(figure_font(style::label_font)).height() + 2;
}

AxisTicks opening_axis(const std::vector<double>& w) {
    const auto [low, high] = finite_range(w);
    return round_axis(std::min(low, 0.0), high);
}

// A law's opening axis ends one step after the bridging has ended for good
// (σ below 1e-3 of its peak from there on), so that a law whose fibers all
// rupture early is not squeezed into the left edge of an axis to Lf/2.
AxisTicks law_opening_axis(const std::vector<double>& w, const std::vector<double>& sigma) {
    if (w.size() != sigma.size() || w.empty()) return opening_axis(w);
    const auto [low, high] = finite_range(sigma);
    std::size_t last = 0;
    for (std::size_t i = 0; i < sigma.size(); ++i) {
        if (std::isfinite(sigma[i]) && std::abs(sigma[i]) > 1e-3 * std::max(std::abs(low), high)) {
            last = i;
        }
    }
    const std::size_t end = std::min(last + 1, w.size() - 1);
    if (!(high > 0) || end + 1 == w.size()) return opening_axis(w);
    return opening_axis(std::vector<double>(w.begin(), w.begin() + static_cast<long>(end) + 1));
}

std::string title_of(const std::string& own, const PlotSettings& settings) {
    return settings.title ? *settings.title : own;
}

// The law's peak: the largest stress, the later step on a tie.
std::size_t peak_index(const std::vector<double>& sigma) {
    std::size_t peak = 0;
    for (std::size_t i = 0; i < sigma.size(); ++i) {
        if (std::isfinite(sigma[i]) && sigma[i] >= sigma[peak]) peak = i;
    }
    return peak;
}

void draw_law(QPainter& painter, const QSizeF& page, const LawFigure& f,
              const PlotSettings& settings) {
    const std::string title = title_of(f.title, settings);
    StackRequest request;
    request.x = law_opening_axis(f.w, f.sigma);
    request.y = {data_axis(f.sigma, 0, f.sigma_fc.value_or(0)), data_axis(f.ratio)};
    request.weights = {0.6, 0.4};
    const PageLayout layout = stack_panels(page, title, request);
    draw_title(painter, layout.title_line, title);
    const Panel& top = layout.panels[0];
    const Panel& bottom = layout.panels[1];

    if (!f.sigma.empty() && f.sigma.size() == f.w.size()) {
        std::vector<QString> notes;
        const std::size_t peak = peak_index(f.sigma);
        const double w0 = f.w[peak];
        const double s0 = f.sigma[peak];
        if (f.J_tip) {
            // J'b: the area between sigma = sigma0 and the curve from (0, 0)
            // to the peak, as the criteria take it.
            QPolygonF area;
            area << top.at(0, s0) << top.at(w0, s0);
            for (std::size_t i = peak + 1; i-- > 0;) area << top.at(f.w[i], f.sigma[i]);
            area << top.at(0, 0);
            painter.save();
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0xE6, 0x9F, 0x00, 90));
            painter.drawPolygon(area);
            painter.restore();
            hatch(painter, area, 2.2, QPen(QColor(0x80, 0x58, 0x00), style::thin));
            double integral = 0;
            double pw = 0;
            double ps = 0;
            for (std::size_t i = 0; i <= peak; ++i) {
                integral += (ps + f.sigma[i]) * (f.w[i] - pw) / 2;
                pw = f.w[i];
                ps = f.sigma[i];
            }
            const double J_b = (s0 * w0 - integral) * 1000;
            notes.push_back(QString("J′b = %1 J/m², J′b/Jtip = %2")
                                .arg(number(J_b, 3), number(J_b / *f.J_tip, 3)));
        }
        // The peak with guide lines to both axes.
        painter.save();
        painter.setPen(QPen(QColor(0x60, 0x60, 0x60), style::thin, Qt::DashLine));
        painter.drawLine(top.at(top.x.low, s0), top.at(w0, s0));
        painter.drawLine(top.at(w0, top.y.low), top.at(w0, s0));
        painter.drawLine(bottom.at(w0, bottom.y.low), bottom.at(w0, bottom.y.high));
        painter.restore();
        draw_curve(painter, top, f.w, f.sigma, curve_pen(0));
        painter.save();
        painter.setPen(QPen(Qt::black, style::thin));
        painter.setBrush(Qt::white);
        painter.drawEllipse(top.at(w0, s0), 2.2, 2.2);
        painter.restore();
        // The peak's values, and J'b, in the top right corner, where a
        // softening law leaves room.
        notes.insert(notes.begin(),
                     QString("σ0 = %1 MPa at δ0 = %2 mm").arg(number(s0), number(w0)));
        const QFontMetricsF metrics(figure_font(style::tick_font));
        double y = top.area.top() + 3 + metrics.capHeight() / 2 + 1.5;
        for (const QString& note : notes) {
            const double width = metrics.horizontalAdvance(note);
            boxed_text(painter, QPointF(top.area.right() - 4 - width / 2, y), note,
                       style::tick_font);
            y += metrics.height();
        }
    }
    if (f.sigma_fc) {
        painter.save();
        painter.setPen(QPen(palette()[2], style::curve, Qt::DashDotLine));
        painter.drawLine(top.at(top.x.low, *f.sigma_fc), top.at(top.x.high, *f.sigma_fc));
        painter.setFont(figure_font(style::tick_font));
        const QString text = QString("σfc = %1 MPa").arg(number(*f.sigma_fc));
        const QFontMetricsF metrics(painter.font());
        painter.setPen(palette()[2]);
        // Under the line when it runs through the top corner's notes.
        const double line_y = top.at(0, *f.sigma_fc).y();
        const bool below = line_y < top.area.top() + top.area.height() * 0.3;
        const double x = below ? top.area.left() + top.area.width() * 0.4
                               : top.area.right() - metrics.horizontalAdvance(text) - 3;
        painter.drawText(QPointF(x, below ? line_y + 2 + metrics.ascent() : line_y - 2.5), text);
        painter.restore();
    }
    draw_curve(painter, bottom, f.w, f.ratio, curve_pen(0));
    draw_axes(painter, top, w_title, sigma_title, false);
    draw_axes(painter, bottom, w_title, ratio_title);
}

void draw_sweep(QPainter& painter, const QSizeF& page, const SweepFigure& f,
                const PlotSettings& settings) {
    const std::string title = title_of(f.title, settings);
    const bool ramp = f.curves.size() > 10;
    std::vector<double> all_w;
    std::vector<double> all_sigma;
    std::vector<double> values;
    for (const SweepCurve& c : f.curves) {
        all_w.insert(all_w.end(), c.w.begin(), c.w.end());
        all_sigma.insert(all_sigma.end(), c.sigma.begin(), c.sigma.end());
        values.push_back(c.value);
    }
    StackRequest request;
    request.x = opening_axis(all_w);
    request.y = {data_axis(all_sigma)};
    request.weights = {1};
    const auto [v_low, v_high] = finite_range(values);
    const AxisTicks bar_ticks = exact_axis(v_low, v_high > v_low ? v_high : v_low + 1, 4);
    if (ramp) request.right_room = colour_bar_room(tick_label_width(bar_ticks));
    const PageLayout layout = stack_panels(page, title, request);
    draw_title(painter, layout.title_line, title);
    const Panel& panel = layout.panels[0];
    // The ramp stops short of cividis's palest yellow, which white paper
    // would swallow.
    const double ramp_top = 0.8;
    std::vector<LegendEntry> legend;
    for (std::size_t i = 0; i < f.curves.size(); ++i) {
        const SweepCurve& c = f.curves[i];
        QPen pen = curve_pen(i);
        if (ramp) {
            const double t = (c.value - bar_ticks.low) / (bar_ticks.high - bar_ticks.low);
            pen = QPen(cividis(t * ramp_top), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
        } else {
            legend.push_back({QString::fromStdString(c.label), pen});
        }
        draw_curve(painter, panel, c.w, c.sigma, pen);
    }
    draw_axes(painter, panel, w_title, sigma_title);
    if (ramp) {
        const QRectF bar(panel.area.right() + 6, panel.area.top(), 8, panel.area.height());
        draw_colour_bar(painter, bar, bar_ticks, f.ramp_title, {}, 0, ramp_top);
    } else {
        draw_legend(painter, QPointF(panel.area.right() - 3, panel.area.top() + 3), legend);
    }
}

void draw_map_panel(QPainter& painter, const Panel& panel, const MapFigure& f,
                    const std::vector<double>& field, const std::string& bar_title,
                    std::optional<double> margin, bool x_labels) {
    const auto [low, high] = finite_range(field);
    const AxisTicks levels = round_axis(low, high, 6);
    const std::size_t bands = levels.ticks.size() - 1;
    const auto to_page = [&](const GridLine& line) {
        QPolygonF polygon;
        for (const GridPoint& p : line) polygon << panel.at(p.x, p.y);
        return polygon;
    };
    painter.save();
    for (std::size_t k = 0; k < bands; ++k) {
        const QColor colour = cividis((static_cast<double>(k) + 0.5) / static_cast<double>(bands));
        // A hairline of the fill's own colour closes the seams between
        // triangles that antialiasing would leave.
        painter.setPen(QPen(colour, 0.3));
        painter.setBrush(colour);
        const double level = k == 0 ? -INFINITY : levels.ticks[k];
        for (const GridLine& polygon : region_at_least(f.x, f.y, {&field}, {level})) {
            painter.drawPolygon(to_page(polygon));
        }
    }
    painter.restore();
    // Where both conditions hold: hatched; where both margins hold too,
    // cross-hatched. Sparse thin lines leave the bands readable beneath.
    const auto mark = [&](double s, double e, bool rising) {
        for (const GridLine& polygon :
             region_at_least(f.x, f.y, {&f.strength, &f.energy}, {s, e})) {
            hatch(painter, to_page(polygon), 6, QPen(Qt::black, style::thin), rising);
        }
    };
    mark(1, 1, true);
    if (f.margins) mark(f.margins->first, f.margins->second, false);
    // Isolines at 1 and at the margin, labelled where they are longest.
    const auto isoline = [&](double level, Qt::PenStyle line_style) {
        const std::vector<GridLine> lines = isolines(f.x, f.y, field, level);
        const QPen pen(Qt::black, style::curve, line_style, Qt::FlatCap, Qt::RoundJoin);
        painter.save();
        painter.setPen(pen);
        const GridLine* longest = nullptr;
        for (const GridLine& line : lines) {
            painter.drawPolyline(to_page(line));
            if (!longest || line.size() > longest->size()) longest = &line;
        }
        painter.restore();
        if (longest) {
            const QPolygonF page_line = to_page(*longest);
            const QPointF middle =
                page_line.size() % 2 == 1
                    ? page_line[page_line.size() / 2]
                    : (page_line[page_line.size() / 2 - 1] + page_line[page_line.size() / 2]) / 2;
            boxed_text(painter, middle, number(level), style::tick_font);
        }
    };
    isoline(1, Qt::SolidLine);
    if (margin) isoline(*margin, Qt::DashLine);
    draw_axes(painter, panel, f.x_name, f.y_name, x_labels);
    const QRectF bar(panel.area.right() + 6, panel.area.top(), 8, panel.area.height());
    AxisTicks bar_ticks = levels;
    draw_colour_bar(painter, bar, bar_ticks, bar_title, levels.ticks);
}

void draw_map(QPainter& painter, const QSizeF& page, const MapFigure& f,
              const PlotSettings& settings) {
    const std::string title = title_of(f.title, settings);
    StackRequest request;
    const auto [x_low, x_high] = finite_range(f.x);
    const auto [y_low, y_high] = finite_range(f.y);
    request.x = exact_axis(x_low, x_high);
    request.y = {exact_axis(y_low, y_high), exact_axis(y_low, y_high)};
    request.weights = {1, 1};
    double bar_labels = 0;
    for (const auto* field : {&f.strength, &f.energy}) {
        const auto [low, high] = finite_range(*field);
        bar_labels = std::max(bar_labels, tick_label_width(round_axis(low, high, 6)));
    }
    request.right_room = colour_bar_room(bar_labels);
    request.bottom_note = 1;
    PageLayout layout = stack_panels(page, title, request);
    draw_title(painter, layout.title_line, title);
    // The two maps share their axes; the upper one's x labels would meet the
    // lower map.
    draw_map_panel(painter, layout.panels[0], f, f.strength, "Strength index σ0/σfc",
                   f.margins ? std::optional<double>(f.margins->first) : std::nullopt, false);
    draw_map_panel(painter, layout.panels[1], f, f.energy, "Energy index J′b/Jtip",
                   f.margins ? std::optional<double>(f.margins->second) : std::nullopt, true);
    painter.save();
    painter.setFont(figure_font(style::tick_font));
    QString note = "Hatched: both indices ≥ 1";
    if (f.margins) {
        note += QString("; cross-hatched: both ≥ the margins %1, %2")
                    .arg(number(f.margins->first), number(f.margins->second));
    }
    const QFontMetricsF metrics(painter.font());
    painter.drawText(QPointF(4, page.height() - 4 - metrics.descent()), note);
    painter.restore();
}

void draw_fit(QPainter& painter, const QSizeF& page, const FitFigure& f,
              const PlotSettings& settings) {
    const std::string title = title_of(f.title, settings);
    std::vector<double> residual;
    std::vector<double> both = f.measured;
    both.insert(both.end(), f.fitted.begin(), f.fitted.end());
    for (std::size_t i = 0; i < std::min(f.measured.size(), f.fitted.size()); ++i) {
        residual.push_back(f.fitted[i] - f.measured[i]);
    }
    StackRequest request;
    request.x = opening_axis(f.w);
    auto [r_low, r_high] = finite_range(residual);
    const double r_span = std::max(std::abs(r_low), std::abs(r_high));
    request.y = {data_axis(both), round_axis(-r_span * 1.1, r_span * 1.1, 4)};
    request.weights = {0.68, 0.32};
    const PageLayout layout = stack_panels(page, title, request);
    draw_title(painter, layout.title_line, title);
    const Panel& top = layout.panels[0];
    const Panel& bottom = layout.panels[1];
    const QPen mark_pen(Qt::black, style::thin);
    const QPen unused_pen(QColor(0x99, 0x99, 0x99), style::thin);
    painter.save();
    painter.setBrush(Qt::NoBrush);
    for (std::size_t i = 0; i < f.w.size() && i < f.measured.size(); ++i) {
        const bool used = i >= f.used.size() || f.used[i];
        painter.setPen(used ? mark_pen : unused_pen);
        painter.drawEllipse(top.at(f.w[i], f.measured[i]), 1.6, 1.6);
        if (i < residual.size()) painter.drawEllipse(bottom.at(f.w[i], residual[i]), 1.4, 1.4);
    }
    painter.setPen(QPen(QColor(0x60, 0x60, 0x60), style::thin, Qt::DashLine));
    painter.drawLine(bottom.at(bottom.x.low, 0), bottom.at(bottom.x.high, 0));
    painter.restore();
    // The fitted law through the measured openings in increasing order.
    std::vector<std::size_t> order(std::min(f.w.size(), f.fitted.size()));
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return f.w[a] < f.w[b]; });
    std::vector<double> line_w;
    std::vector<double> line_sigma;
    for (const std::size_t i : order) {
        line_w.push_back(f.w[i]);
        line_sigma.push_back(f.fitted[i]);
    }
    const QPen fitted_pen = curve_pen(2);
    draw_curve(painter, top, line_w, line_sigma, QPen(palette()[2], style::curve));
    (void)fitted_pen;
    draw_axes(painter, top, w_title, sigma_title, false);
    draw_axes(painter, bottom, w_title, "Residual (MPa)");
    // The fitted values in the top right corner, the legend under them.
    std::vector<QString> lines;
    for (const FittedValue& v : f.values) {
        QString line = QString::fromStdString(v.name) + " = " + number(v.value);
        if (v.low && v.high) line += QString(" (%1 to %2)").arg(number(*v.low), number(*v.high));
        lines.push_back(line);
    }
    if (f.rmse) lines.push_back("RMSE = " + number(*f.rmse, 3) + " MPa");
    const QFont font = figure_font(style::tick_font);
    const QFontMetricsF metrics(font);
    double width = 0;
    for (const QString& l : lines) width = std::max(width, metrics.horizontalAdvance(l));
    double y = top.area.top() + 3;
    if (!lines.empty()) {
        const QRectF box(top.area.right() - width - 9, y, width + 6,
                         metrics.height() * static_cast<double>(lines.size()) + 3);
        painter.save();
        painter.setPen(QPen(QColor(0x99, 0x99, 0x99), style::thin));
        painter.setBrush(QColor(255, 255, 255, 230));
        painter.drawRect(box);
        painter.setPen(Qt::black);
        painter.setFont(font);
        for (std::size_t k = 0; k < lines.size(); ++k) {
            painter.drawText(QPointF(box.left() + 3, box.top() + 1.5 + metrics.ascent() +
                                                         metrics.height() * static_cast<double>(k)),
                             lines[k]);
        }
        painter.restore();
        y = box.bottom() + 2;
    }
    std::vector<LegendEntry> legend = {{"Measured", mark_pen, true},
                                       {"Fitted law", QPen(palette()[2], style::curve)}};
    if (std::find(f.used.begin(), f.used.end(), false) != f.used.end()) {
        legend.push_back({"Not fitted", unused_pen, true});
    }
    draw_legend(painter, QPointF(top.area.right() - 3, y), legend);
}

void draw_mix(QPainter& painter, const QSizeF& page, const MixFigure& f,
              const PlotSettings& settings) {
    const std::string title = title_of(f.title, settings);
    StackRequest request;
    request.x = opening_axis(f.w);
    request.y = {data_axis(f.sigma), data_axis(f.ratio)};
    for (const auto& r : f.type_ratio) {
        const auto [low, high] = finite_range(r);
        request.y[1] = data_axis(f.ratio, 0, high);
        (void)low;
    }
    request.weights = {0.6, 0.4};
    const PageLayout layout = stack_panels(page, title, request);
    draw_title(painter, layout.title_line, title);
    const Panel& top = layout.panels[0];
    const Panel& bottom = layout.panels[1];
    std::vector<LegendEntry> legend = {{"Mix", curve_pen(0)}};
    for (std::size_t k = 0; k < f.type_sigma.size(); ++k) {
        const QPen pen = curve_pen(k + 1);
        draw_curve(painter, top, f.w, f.type_sigma[k], pen);
        if (k < f.type_ratio.size()) draw_curve(painter, bottom, f.w, f.type_ratio[k], pen);
        legend.push_back({QString("Fiber %1").arg(k + 1), pen});
    }
    draw_curve(painter, top, f.w, f.sigma, curve_pen(0));
    draw_curve(painter, bottom, f.w, f.ratio, curve_pen(0));
    draw_axes(painter, top, w_title, sigma_title, false);
    draw_axes(painter, bottom, w_title, ratio_title);
    draw_legend(painter, QPointF(top.area.right() - 3, top.area.top() + 3), legend);
}

}  // namespace

double figure_height_mm(const Figure& figure, const PlotSettings& settings) {
    if (settings.height_mm > 0) return settings.height_mm;
    return std::holds_alternative<SweepFigure>(figure) ? 70 : 100;
}

void draw_figure(QPainter& painter, const QSizeF& size, const Figure& figure,
                 const PlotSettings& settings) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    std::visit(
        [&](const auto& f) {
            using Kind = std::decay_t<decltype(f)>;
            if constexpr (std::is_same_v<Kind, LawFigure>) draw_law(painter, size, f, settings);
            if constexpr (std::is_same_v<Kind, SweepFigure>) draw_sweep(painter, size, f, settings);
            if constexpr (std::is_same_v<Kind, MapFigure>) draw_map(painter, size, f, settings);
            if constexpr (std::is_same_v<Kind, FitFigure>) draw_fit(painter, size, f, settings);
            if constexpr (std::is_same_v<Kind, MixFigure>) draw_mix(painter, size, f, settings);
        },
        figure);
    painter.restore();
}

}  // namespace quarnel
