#include "orientation_check.h"

#include <cmath>
#include <cstdio>

#include "engine/fiber_orientation.h"

namespace quarnel {

namespace {

std::string number_text(const char* format, double x) {
    char text[48];
    std::snprintf(text, sizeof text, format, x);
    return text;
}

std::string plane_warning(const char* plane, const char* k_name, float k, const char* angle_name,
                          float angle, double sum) {
    const double change = 100 * std::fabs(sum - 1);
    const bool under = sum < 1;
    std::string text = std::string(plane) + " plane: its 90 orientation weights sum to " +
                       number_text("%.6g", sum) + ", not 1 (" + k_name + " = " +
                       number_text("%.7g", k) + ", " + angle_name + " = " +
                       number_text("%.7g", angle) + " degrees). ";
    if (under) {
        text +=
            "The 2-degree cells do not resolve so narrow a density: the peak falls between "
            "their centres, so the model counts " +
            number_text("%.3g", change) +
            " % too few fibers, and the effective fiber ratio and the stresses come out "
            "low. ";
    } else {
        text +=
            "The 2-degree cells do not resolve so narrow a density: a cell centre lies near "
            "its peak and stands for the whole cell, so the model counts " +
            number_text("%.3g", change) +
            " % too many fibers, and the effective fiber ratio (even above 1) and the "
            "stresses come out high. ";
    }
    return text +
           "orientation_weights=exact (quarnel-batch and its study commands) gives each cell the "
           "density's integral over it, so that the weights sum to 1.";
}

}  // namespace

PlaneWeightSums orientation_weight_sums(const CalculationInputs& inputs) {
    const Orientation o = orientation_setup(inputs);
    PlaneWeightSums sums;
    for (int i = 1; i <= angle_cells; ++i) {
        sums.xy += w_xy(inputs, o, i);
        sums.zx += w_zx(inputs, o, i);
    }
    return sums;
}

double orientation_weight_error(const CalculationInputs& inputs) {
    const PlaneWeightSums sums = orientation_weight_sums(inputs);
    const double xy = std::fabs(sums.xy - 1);
    const double zx = std::fabs(sums.zx - 1);
    if (std::isnan(xy) || std::isnan(zx)) return std::nan("");
    return xy > zx ? xy : zx;
}

std::vector<std::string> orientation_weight_warnings(const CalculationInputs& inputs) {
    const PlaneWeightSums sums = orientation_weight_sums(inputs);
    std::vector<std::string> warnings;
    // A sum that is not a number fails the comparison: such a plane is the
    // input checks' to refuse.
    if (std::fabs(sums.xy - 1) > orientation_weight_tolerance) {
        warnings.push_back(
            plane_warning("x-y", "kxy", inputs.kxy, "theta_r_xy", inputs.theta_r_xy, sums.xy));
    }
    if (std::fabs(sums.zx - 1) > orientation_weight_tolerance) {
        warnings.push_back(
            plane_warning("z-x", "kzx", inputs.kzx, "theta_r_zx", inputs.theta_r_zx, sums.zx));
    }
    return warnings;
}

}  // namespace quarnel
