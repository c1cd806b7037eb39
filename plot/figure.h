#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

class QImage;
class QPainter;
class QSizeF;

namespace quarnel {

// The figure kinds. Every kind holds its own data, so that one drawn from a
// command's files is the figure the command drew.

// A bridging law: stress and effective fiber ratio against the opening, the
// peak marked; with the matrix properties, the complementary energy J'b
// shaded and the first-cracking strength drawn.
struct LawFigure {
    std::vector<double> w;
    std::vector<double> sigma;
    std::vector<double> ratio;
    std::optional<double> sigma_fc;  // MPa
    std::optional<double> J_tip;     // J/m2
    std::string title;
};

// One curve per run of a sweep.
struct SweepCurve {
    std::string label;  // "Vf = 0.01, kxy = 2"
    double value = 0;   // its place on the colour ramp
    std::vector<double> w;
    std::vector<double> sigma;
};

struct SweepFigure {
    std::vector<SweepCurve> curves;
    std::string ramp_title;  // what the ramp's values are ("Vf", "run")
    std::string title;
};

// The strain-hardening indices over two varied inputs, on a grid: the value
// of (x[i], y[j]) at [j * x.size() + i], NaN where a run has none.
struct MapFigure {
    std::string x_name;
    std::string y_name;
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> strength;  // sigma0 / sigma_fc
    std::vector<double> energy;    // J'b / J_tip
    std::optional<std::pair<double, double>> margins;
    std::string title;
};

// A fit: the measured points, the fitted law's stress at their openings and
// the fitted values.
struct FittedValue {
    std::string name;
    double value = 0;
    std::optional<double> low;  // the 95 % interval
    std::optional<double> high;
};

struct FitFigure {
    std::vector<double> w;
    std::vector<double> measured;
    std::vector<double> fitted;
    std::vector<bool> used;
    std::vector<FittedValue> values;
    std::optional<double> rmse;
    std::string title;
};

// A mix: its law and each type's share of it.
struct MixFigure {
    std::vector<double> w;
    std::vector<double> sigma;
    std::vector<double> ratio;
    std::vector<std::vector<double>> type_sigma;
    std::vector<std::vector<double>> type_ratio;
    std::string title;
};

using Figure = std::variant<LawFigure, SweepFigure, MapFigure, FitFigure, MixFigure>;

// How a figure is drawn for print.
struct PlotSettings {
    double width_mm = 90;
    double height_mm = 0;              // 0: 70 mm for one panel, 100 mm for two stacked
    int dpi = 300;                     // PNG only
    std::optional<std::string> title;  // replaces the figure's own; "" for none
};

// The figure's height in mm under the settings.
double figure_height_mm(const Figure& figure, const PlotSettings& settings);

// Draws the figure on a painter whose units are points (1/72 inch), over a
// page of `size` points.
void draw_figure(QPainter& painter, const QSizeF& size, const Figure& figure,
                 const PlotSettings& settings);

// The figure as an image at the settings' resolution.
QImage figure_image(const Figure& figure, const PlotSettings& settings);

// Writes the figure as PNG, SVG or PDF by the name's extension (in any case).
// The message of a failure.
std::optional<std::string> write_figure(const std::string& path, const Figure& figure,
                                        const PlotSettings& settings);

// Whether a file name's extension is one write_figure writes.
bool is_figure_name(const std::string& path);

}  // namespace quarnel
