#include <QLocale>
#include <QTest>
#include <algorithm>
#include <limits>
#include <vector>

#include "ui/widgets/chart_box.h"

using quarnel::ChartBox;

namespace {

const QColor red(255, 0, 0);
const QColor blue(0, 0, 255);

// The pixels of the image that differ from its background, as (column, row).
std::vector<QPoint> drawn_pixels(const QImage& image, QRgb background) {
    std::vector<QPoint> pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background) pixels.emplace_back(x, y);
        }
    }
    return pixels;
}

}  // namespace

// An 11 x 11 box with the user rectangle 0..10 by 0..10, so that user (x, y)
// lands on column x and row 10 - y.
class ChartBoxTest : public QObject {
    Q_OBJECT

  private:
    ChartBox* box = nullptr;
    QRgb background = 0;

    std::vector<QPoint> drawn() const { return drawn_pixels(box->image(), background); }

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        box = new ChartBox;
        box->resize(11, 11);
        box->clear();
        box->set_scale(0, 10, 10, 0);
        background = box->palette().color(QPalette::Active, QPalette::Window).rgb();
    }

    void cleanup() {
        delete box;
        box = nullptr;
    }

    void clear_fills_the_box_with_the_face_colour() {
        QCOMPARE(box->image().size(), QSize(11, 11));
        QVERIFY(drawn().empty());
        QCOMPARE(box->image().pixel(0, 0), background);
    }

    void diagonal_line_lands_on_the_mapped_pixels() {
        box->line(0, 0, 10, 10, red);
        std::vector<QPoint> expected;
        for (int i = 0; i <= 10; ++i) expected.emplace_back(i, 10 - i);
        auto pixels = drawn();
        std::sort(pixels.begin(), pixels.end(), [](QPoint a, QPoint b) { return a.x() < b.x(); });
        QCOMPARE(pixels, expected);
        QCOMPARE(QColor(box->image().pixel(3, 7)), red);
    }

    void range_edges_map_onto_the_outer_rows_and_columns() {
        box->line(0, 10, 10, 10, red);  // top edge
        box->line(0, 0, 10, 0, blue);   // bottom edge
        for (int x = 0; x <= 10; ++x) {
            QCOMPARE(QColor(box->image().pixel(x, 0)), red);
            QCOMPARE(QColor(box->image().pixel(x, 10)), blue);
        }
        QCOMPARE(drawn().size(), std::size_t{22});
    }

    void reversed_and_offset_scale_maps_linearly() {
        box->set_scale(-1, 0.5, 1, -0.5);
        box->point(0, 0, red);
        QCOMPARE(drawn(), std::vector<QPoint>{QPoint(5, 5)});
        box->set_scale(10, 0, 0, 10);  // x right to left, values top to bottom
        box->point(10, 10, blue);
        QCOMPARE(QColor(box->image().pixel(0, 10)), blue);
    }

    void point_sets_one_pixel_and_the_current_position() {
        box->point(4, 6, red);
        QCOMPARE(drawn(), std::vector<QPoint>{QPoint(4, 4)});
        QCOMPARE(box->current_position(), QPointF(4, 6));
        box->line_to(4, 9, red);
        QCOMPARE(drawn().size(), std::size_t{4});
        QCOMPARE(QColor(box->image().pixel(4, 1)), red);
    }

    void line_outside_the_range_is_clipped_to_the_box() {
        box->line(-10, 5, 20, 5, red);
        QCOMPARE(drawn().size(), std::size_t{11});
        for (int x = 0; x <= 10; ++x) QCOMPARE(QColor(box->image().pixel(x, 5)), red);

        box->clear();
        box->line(-1e300, 2, 1e300, 2, red);
        QCOMPARE(drawn().size(), std::size_t{11});

        box->clear();
        box->line(11, 0, 20, 10, red);  // wholly right of the box
        box->point(5, -3, red);         // below it
        QVERIFY(drawn().empty());
    }

    void line_to_starts_from_the_true_position_of_a_clipped_point() {
        box->point(20, 10, red);  // outside: nothing drawn
        QVERIFY(drawn().empty());
        QCOMPARE(box->current_position(), QPointF(20, 10));
        // The segment from (20, 10) to (0, 0) enters the box at (10, 5); had
        // the position been pulled in to (10, 10) it would be the diagonal.
        box->line_to(0, 0, blue);
        QCOMPARE(QColor(box->image().pixel(10, 5)), blue);
        QCOMPARE(QColor(box->image().pixel(0, 10)), blue);
        QCOMPARE(box->image().pixel(10, 0), background);
    }

    void clear_erases_and_resets_the_position() {
        box->line(0, 0, 10, 10, red);
        box->clear();
        QVERIFY(drawn().empty());
        QCOMPARE(box->current_position(), QPointF(0, 0));
    }

    void degenerate_scale_draws_nothing_data() {
        QTest::addColumn<double>("x_left");
        QTest::addColumn<double>("y_top");
        QTest::addColumn<double>("x_right");
        QTest::addColumn<double>("y_bottom");
        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("zero height") << 0.0 << 0.0 << 10.0 << 0.0;
        QTest::newRow("zero width") << -0.75 << 1.0 << -0.75 << 0.0;
        QTest::newRow("empty") << 0.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("infinite") << 0.0 << inf << 10.0 << 0.0;
        QTest::newRow("not a number") << nan << 1.0 << 10.0 << 0.0;
        QTest::newRow("width overflows") << -1e308 << 1.0 << 1e308 << 0.0;
    }

    void degenerate_scale_draws_nothing() {
        QFETCH(double, x_left);
        QFETCH(double, y_top);
        QFETCH(double, x_right);
        QFETCH(double, y_bottom);
        box->set_scale(x_left, y_top, x_right, y_bottom);
        box->line(0, 0, 10, 1, red);
        box->line_to(5, 0.5, red);
        box->point(1, 0.5, red);
        QVERIFY(drawn().empty());
        QCOMPARE(box->current_position(), QPointF(1, 0.5));

        box->set_scale(0, 10, 10, 0);
        box->line_to(1, 10, red);  // usable again, from the kept position
        QCOMPARE(QColor(box->image().pixel(1, 0)), red);
    }

    void non_finite_points_draw_nothing() {
        const double inf = std::numeric_limits<double>::infinity();
        box->line(0, 5, inf, 5, red);
        box->point(std::numeric_limits<double>::quiet_NaN(), 1, red);
        box->line(5, -1e308, 5, 1e308, red);  // its length overflows
        QVERIFY(drawn().empty());
    }

    void drawing_survives_a_repaint_while_disabled() {
        box->setEnabled(false);
        box->line(0, 0, 10, 0, red);
        const QImage shown = box->grab().toImage();
        QCOMPARE(QColor(shown.pixel(6, 10)), red);
        QCOMPARE(QColor(shown.pixel(6, 9)).rgb(), background);
    }

    void resize_keeps_the_drawing() {
        box->line(0, 0, 10, 0, red);
        box->resize(21, 21);
        box->point(0, 10, blue);  // the scale now spans 21 pixels
        QCOMPARE(box->image().size(), QSize(21, 21));
        QCOMPARE(QColor(box->image().pixel(5, 10)), red);
        QCOMPARE(QColor(box->image().pixel(0, 0)), blue);
        QCOMPARE(box->image().pixel(20, 20), background);
    }
};

QTEST_MAIN(ChartBoxTest)
#include "chart_box_test.moc"
