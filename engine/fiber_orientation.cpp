#include "fiber_orientation.h"

#include <cmath>
#include <numbers>

namespace quarnel {

OrientationCoefficients orientation_coefficients(float k, double t) {
    const double kd = k;
    const double sin_t = std::sin(t);
    // Squares are exact products: a library pow(x, 2) is not exactly rounded
    // everywhere.
    const double S = sin_t * sin_t;
    OrientationCoefficients c;
    c.den = (kd - 1) * S + 1;
    c.Oa = (1 - kd) * std::sin(2 * t) / c.den;
    c.Ob = (kd - (kd - 1) * S) / c.den;
    c.Oc = 1 / c.den;
    return c;
}

Orientation orientation_setup(const CalculationInputs& inputs) {
    return {orientation_coefficients(inputs.kxy, inputs.theta_r_xy_rad),
            orientation_coefficients(inputs.kzx, inputs.theta_r_zx_rad)};
}

double orientation_density(double alpha, float k, const OrientationCoefficients& c) {
    const double cos_a = std::cos(alpha);
    const double sin_a = std::sin(alpha);
    return ((std::sqrt(static_cast<double>(k)) / pi) * c.Oc) /
           ((cos_a * cos_a + (c.Oa * sin_a) * cos_a) + c.Ob * (sin_a * sin_a));
}

double w_xy(const CalculationInputs& inputs, const Orientation& o, int i) {
    if (inputs.orientation_weights == OrientationWeights::exact) {
        return exact_cell_weight(inputs.kxy, inputs.theta_r_xy, cell_angle_deg(i));
    }
    const double phi = cell_angle_deg(i);
    return orientation_density(phi * inputs.deg_to_rad, inputs.kxy, o.xy) * inputs.angle_step;
}

double w_zx(const CalculationInputs& inputs, const Orientation& o, int j) {
    if (inputs.orientation_weights == OrientationWeights::exact) {
        return exact_cell_weight(inputs.kzx, inputs.theta_r_zx, cell_angle_deg(j));
    }
    const double psi = cell_angle_deg(j);
    return orientation_density(psi * inputs.deg_to_rad, inputs.kzx, o.zx) * inputs.angle_step;
}

double exact_cell_weight(float k, float theta_r_deg, int angle_deg) {
    constexpr double true_pi = std::numbers::pi;
    const double root_k = std::sqrt(static_cast<double>(k));
    // The principal angle within one period first, so that an edge's offset
    // from it is formed of small numbers whatever angle was typed.
    const double t = std::remainder(static_cast<double>(theta_r_deg), 180.0);
    // An edge's offset from the principal angle on the branch of tan that
    // holds it, [-90, 90] degrees; remainder is exact. A cell edge shared by
    // two cells gives both the same value, so that the sum of a plane's
    // weights telescopes to one period.
    const auto branch = [&](int edge_deg) {
        return std::remainder(static_cast<double>(edge_deg) - t, 180.0);
    };
    // At the end of a branch F is +-pi/2, its limit for every k > 0, so that
    // with k = 0 (all fibers at right angles to the principal angle) a
    // period's end on a cell edge still counts the whole density.
    const auto F = [&](double offset_deg) {
        if (std::fabs(offset_deg) == 90) return std::copysign(true_pi / 2, offset_deg);
        return std::atan(root_k * std::tan(offset_deg * (true_pi / 180)));
    };
    const double lower = branch(angle_deg - 1);
    const double upper = branch(angle_deg + 1);
    // The upper edge's offset lies below the lower's only when the cell
    // crosses the end of a branch, 90 degrees from the principal angle.
    const double crossing = upper < lower ? true_pi : 0.0;
    return ((F(upper) + crossing) - F(lower)) / true_pi;
}

float z_level(float Lf, int k) {
    return static_cast<float>(-(static_cast<double>(Lf) / 2) * (100 - k) / 100);
}

double angle_of_cosine(double X) {
    return pi / 2 - std::atan(X / std::sqrt(1 - X * X));
}

double fiber_angle(const CalculationInputs& inputs, int phi_deg, int psi_deg) {
    const double X = std::fabs(std::cos(phi_deg * inputs.deg_to_rad)) *
                     std::fabs(std::cos(psi_deg * inputs.deg_to_rad));
    return angle_of_cosine(X);
}

float embedded_length(float z, float Lf, double theta) {
    return embedded_length_from_cos(z, Lf, std::cos(theta));
}

float embedded_length_from_cos(float z, float Lf, double cos_theta) {
    const double lb = (z + (static_cast<double>(Lf) / 2) * cos_theta) / cos_theta;
    // A fiber that does not reach the crack has no embedded length.
    if (!(lb >= 0)) return 0.0f;
    return static_cast<float>(lb);
}

double snubbing_angle(const CalculationInputs& inputs, int phi_deg, int psi_deg) {
    const double half = pi / 2;
    double a = inputs.crack_xy_rad + phi_deg * inputs.deg_to_rad;
    double b = inputs.crack_zx_rad + psi_deg * inputs.deg_to_rad;
    double off = 0;
    // Both angles beyond a right angle are each folded back once, and the
    // offset stays one right angle.
    if (a > half) {
        a -= half;
        off = half;
        if (b > half) b -= half;
    } else if (b > half) {
        b -= half;
        off = half;
    }
    const double X = std::fabs(std::cos(b)) * std::fabs(std::cos(a));
    if (X == 1) return 0;
    return angle_of_cosine(X) + off;
}

}  // namespace quarnel
