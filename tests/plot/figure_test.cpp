// Figures read back as a reader's program would: the SVG's texts and lines,
// the PNG's pixels and resolution, the PDF's page.

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <cmath>

#include "plot/contours.h"
#include "plot/figure.h"
#include "plot/ticks.h"

using namespace quarnel;

namespace {

// What a figure's SVG holds: its texts in order (Qt writes a line in runs of
// one script each, so the texts joined hold every line whole) and each
// polyline's vertices.
struct SvgContent {
    QStringList texts;
    QString joined;
    std::vector<std::vector<QPointF>> lines;
    QString width;
    QString height;
};

SvgContent read_svg(const QString& path) {
    SvgContent content;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return content;
    QXmlStreamReader svg(&file);
    while (!svg.atEnd()) {
        svg.readNext();
        if (!svg.isStartElement()) continue;
        if (svg.name() == QStringLiteral("svg")) {
            content.width = svg.attributes().value("width").toString();
            content.height = svg.attributes().value("height").toString();
        } else if (svg.name() == QStringLiteral("text")) {
            content.texts << svg.readElementText();
            content.joined += content.texts.back();
        } else if (svg.name() == QStringLiteral("polyline")) {
            std::vector<QPointF> points;
            for (const QString& pair :
                 svg.attributes().value("points").toString().split(' ', Qt::SkipEmptyParts)) {
                const QStringList xy = pair.split(',');
                points.emplace_back(xy[0].toDouble(), xy[1].toDouble());
            }
            content.lines.push_back(points);
        }
    }
    if (svg.hasError()) content.texts.clear();
    return content;
}

// A law of n steps: a rise to a peak, then a decay.
LawFigure law_of(int n) {
    LawFigure f;
    for (int i = 0; i < n; ++i) {
        const double w = 0.1 * i;
        f.w.push_back(w);
        f.sigma.push_back(i <= 5 ? 0.8 * i : 4 * std::exp(-(w - 0.5)));
        f.ratio.push_back(1 - static_cast<double>(i) / n);
    }
    f.title = "Test law";
    return f;
}

int count_of_length(const SvgContent& svg, std::size_t n) {
    int count = 0;
    for (const auto& line : svg.lines) count += line.size() == n;
    return count;
}

}  // namespace

class FigureTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

  private slots:
    void round_axes_hold_the_range_on_round_steps() {
        struct Case {
            double low, high;
        };
        for (const Case c : {Case{0, 7.883}, Case{0, 0.085}, Case{-0.066, 0.043}, Case{0, 15},
                             Case{0.005, 0.03}, Case{3, 3}, Case{0, 1234567}}) {
            const AxisTicks axis = round_axis(c.low, c.high);
            QVERIFY(axis.low <= c.low && axis.high >= c.high);
            QVERIFY(axis.ticks.size() >= 3 && axis.ticks.size() <= 12);
            const double mantissa = axis.step / std::pow(10.0, std::floor(std::log10(axis.step)));
            QVERIFY2(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
                         std::abs(mantissa - 5) < 1e-9,
                     qPrintable(QString::number(axis.step)));
            for (const double t : axis.ticks) {
                // Each label reads back as its tick: no rounding noise shows.
                const std::string label = tick_label(t, axis.decimals);
                QVERIFY2(std::abs(std::stod(label) - t) <= axis.step * 1e-9, label.c_str());
            }
        }
        QCOMPARE(tick_label(-0.0, 1), std::string("0.0"));
        QCOMPARE(tick_label(0.30000000000000004, 1), std::string("0.3"));
    }

    void isolines_follow_a_linear_field_exactly() {
        // v = x + 2y on a 5 x 4 grid: v = 1 is the line x = 1 - 2y.
        const std::vector<double> x = {0, 0.5, 1, 1.5, 2};
        const std::vector<double> y = {0, 0.1, 0.2, 0.3};
        std::vector<double> v;
        for (const double yj : y) {
            for (const double xi : x) v.push_back(xi + 2 * yj);
        }
        const std::vector<GridLine> lines = isolines(x, y, v, 1);
        QCOMPARE(lines.size(), std::size_t(1));  // joined across every triangle
        QVERIFY(lines[0].size() >= 4);
        for (const GridPoint& p : lines[0]) QVERIFY(std::abs(p.x + 2 * p.y - 1) < 1e-12);
        // A missing value leaves its cells out, not the rest.
        v[2] = NAN;
        for (const GridLine& line : isolines(x, y, v, 1)) {
            for (const GridPoint& p : line) QVERIFY(std::abs(p.x + 2 * p.y - 1) < 1e-12);
        }
        // Where both of two fields are at least their levels.
        std::vector<double> other;
        for (const double yj : y) {
            for (const double xi : x) other.push_back(yj - 0 * xi);
        }
        double area = 0;
        for (const GridLine& polygon : region_at_least(x, y, {&v, &other}, {-1e9, 0.15})) {
            for (std::size_t i = 0; i < polygon.size(); ++i) {
                const GridPoint& a = polygon[i];
                const GridPoint& b = polygon[(i + 1) % polygon.size()];
                area += (a.x * b.y - b.x * a.y) / 2;
                QVERIFY(a.y >= 0.15 - 1e-12);
            }
        }
        // y from 0.15 to 0.3 over x from 0 to 2, less the two cells around
        // the missing value's corner that lie in it (none: it is at y = 0).
        QVERIFY(std::abs(std::abs(area) - 0.3) < 1e-12);
    }

    void law_svg_has_titles_a_vertex_per_step_and_round_labels() {
        const int n = 37;
        QVERIFY(!write_figure(path("law.svg").toStdString(), law_of(n), {}));
        const SvgContent svg = read_svg(path("law.svg"));
        QVERIFY(svg.joined.contains("Crack opening w (mm)"));
        QVERIFY(svg.joined.contains("Bridging stress σ (MPa)"));
        QVERIFY(svg.joined.contains("Effective fiber ratio"));
        QVERIFY(svg.joined.contains("Test law"));
        QCOMPARE(count_of_length(svg, n), 2);  // stress and fiber ratio
        QCOMPARE(svg.width, QStringLiteral("90mm"));
        QCOMPARE(svg.height, QStringLiteral("100mm"));
        // Every number label is a round number: the x axis 0 to 4 (the
        // openings reach 3.6), the stress axis from 0 past the peak 4.
        const QRegularExpression number("^-?\\d+(\\.\\d+)?$");
        QStringList labels;
        for (const QString& t : svg.texts) {
            if (number.match(t).hasMatch()) labels << t;
        }
        QVERIFY(labels.size() >= 12);
        for (const QString& label : labels) {
            const double v = label.toDouble();
            QVERIFY2(v >= 0 && v <= 5, qPrintable(label));
            // A multiple of 0.1, the finest step these ranges need.
            QVERIFY2(std::abs(v * 10 - std::round(v * 10)) < 1e-9, qPrintable(label));
        }
        for (const char* expected : {"0", "1", "2", "3", "4"}) {
            QVERIFY2(labels.contains(expected), expected);
        }
        // No title with --plot-title "".
        PlotSettings untitled;
        untitled.title = "";
        QVERIFY(!write_figure(path("untitled.svg").toStdString(), law_of(n), untitled));
        QVERIFY(!read_svg(path("untitled.svg")).joined.contains("Test law"));
    }

    void a_law_whose_bridging_ends_early_ends_its_opening_axis_there() {
        // The fibers all rupture by step 8 of 40 (w = 0.8); the openings go on to 3.9.
        LawFigure f = law_of(40);
        for (std::size_t i = 8; i < f.sigma.size(); ++i) f.sigma[i] = 0;
        QVERIFY(!write_figure(path("early.svg").toStdString(), f, {}));
        const SvgContent svg = read_svg(path("early.svg"));
        QCOMPARE(count_of_length(svg, 40), 2);  // the steps beyond stay in the curves
        for (const auto& line : svg.lines) {
            if (line.size() != 40) continue;
            // The axis ends one step past the end, at 0.8, not at 4: that
            // step lies inside the 90 mm page (in points), the last (3.9)
            // far beyond it.
            const double page = 90 / 25.4 * 72;
            QVERIFY2(line[8].x() < page && line[39].x() > 2 * page,
                     qPrintable(QString::number(line[39].x())));
        }
    }

    void matrix_properties_add_the_strength_line_and_j_b() {
        LawFigure f = law_of(20);
        f.sigma_fc = 2.5;
        f.J_tip = 10;
        QVERIFY(!write_figure(path("psh.svg").toStdString(), f, {}));
        const SvgContent svg = read_svg(path("psh.svg"));
        QVERIFY(svg.joined.contains("σfc = 2.5 MPa"));
        // J'b = sigma0 delta0 - the trapezoids to the peak: 4 * 0.5 - 1 MPa mm.
        QVERIFY2(svg.joined.contains("J′b = 1000 J/m²"), qPrintable(svg.joined));
        QVERIFY(svg.joined.contains("σ0 = 4 MPa at δ0 = 0.5 mm"));
    }

    void sweep_legend_names_every_run_up_to_ten_then_a_colour_bar() {
        SweepFigure f;
        for (int i = 0; i < 10; ++i) {
            SweepCurve c;
            c.label = "Vf = 0.0" + std::to_string(i);
            c.value = i;
            c.w = {0, 1, 2};
            c.sigma = {0, 1.0 + i, 0.5};
            f.curves.push_back(c);
        }
        f.ramp_title = "Vf";
        QVERIFY(!write_figure(path("ten.svg").toStdString(), f, {}));
        SvgContent svg = read_svg(path("ten.svg"));
        for (const SweepCurve& c : f.curves) {
            QVERIFY2(svg.texts.contains(QString::fromStdString(c.label)), c.label.c_str());
        }
        QCOMPARE(svg.height, QStringLiteral("70mm"));  // one panel
        f.curves.push_back(f.curves.back());
        f.curves.back().label = "Vf = 0.10";
        QVERIFY(!write_figure(path("eleven.svg").toStdString(), f, {}));
        svg = read_svg(path("eleven.svg"));
        QVERIFY(!svg.texts.contains("Vf = 0.00"));
        QVERIFY(svg.texts.contains("Vf"));  // the colour bar's title
    }

    void map_draws_isolines_at_one_where_the_index_is_one() {
        MapFigure f;
        f.x_name = "Vf";
        f.y_name = "kxy";
        f.x = {0, 0.5, 1, 1.5, 2};
        f.y = {1, 2, 3};
        for (std::size_t j = 0; j < f.y.size(); ++j) {
            for (const double x : f.x) {
                f.strength.push_back(x);     // 1 at x = 1
                f.energy.push_back(f.y[j]);  // 1 at the bottom edge
            }
        }
        f.margins = std::pair{1.5, 2.0};
        QVERIFY(!write_figure(path("map.svg").toStdString(), f, {}));
        const SvgContent svg = read_svg(path("map.svg"));
        // The strength isoline at 1: a vertical line, every point at one x,
        // a third of the way from 0.5 to 2 across the frame's 0 to 2.
        int vertical = 0;
        for (const auto& line : svg.lines) {
            if (line.size() < 2) continue;
            bool same_x = true;
            for (const QPointF& p : line) same_x = same_x && std::abs(p.x() - line[0].x()) < 1e-3;
            if (same_x && std::abs(line.front().y() - line.back().y()) > 20) ++vertical;
        }
        QVERIFY(vertical >= 2);  // at 1 and at the margin 1.5
        QVERIFY(svg.texts.contains("1"));
        QVERIFY(svg.texts.contains("1.5"));
        QVERIFY(svg.joined.contains("Strength index σ0/σfc"));
        QVERIFY(svg.joined.contains("Energy index J′b/Jtip"));
    }

    void png_and_pdf_have_the_requested_size_and_resolution() {
        PlotSettings settings;
        settings.width_mm = 120;
        settings.height_mm = 80;
        settings.dpi = 150;
        QVERIFY(!write_figure(path("law.png").toStdString(), law_of(10), settings));
        const QImage image(path("law.png"));
        QCOMPARE(image.width(), 709);  // 120 mm at 150 dpi
        QCOMPARE(image.height(), 472);
        QCOMPARE(image.dotsPerMeterX(), 5906);
        QCOMPARE(image.dotsPerMeterY(), 5906);
        // Drawn, not blank: dark pixels of lines and text.
        int dark = 0;
        for (int y = 0; y < image.height(); y += 2) {
            for (int x = 0; x < image.width(); x += 2) dark += qGray(image.pixel(x, y)) < 100;
        }
        QVERIFY(dark > 500);

        QVERIFY(!write_figure(path("law.PDF").toStdString(), law_of(10), settings));
        QFile pdf(path("law.PDF"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        QVERIFY(bytes.startsWith("%PDF"));
        const QRegularExpression box("/MediaBox \\[0 0 ([\\d.]+) ([\\d.]+)\\]");
        const auto match = box.match(QString::fromLatin1(bytes));
        QVERIFY(match.hasMatch());
        QVERIFY(std::abs(match.captured(1).toDouble() - 120 * 72 / 25.4) < 0.5);
        QVERIFY(std::abs(match.captured(2).toDouble() - 80 * 72 / 25.4) < 0.5);
    }

    void a_figure_that_cannot_be_written_says_why_and_leaves_nothing() {
        const auto failure = write_figure(path("none/law.svg").toStdString(), law_of(5), {});
        QVERIFY(failure);
        QVERIFY(failure->find("none/law.svg") != std::string::npos);
        QVERIFY(write_figure(path("law.txt").toStdString(), law_of(5), {}));
        QVERIFY(!QFile::exists(path("law.txt")));
    }
};

QTEST_MAIN(FigureTest)
#include "figure_test.moc"
