#pragma once

#include "calculation_inputs.h"

namespace quarnel {

// Coefficients of the elliptic orientation density in one plane, for the
// intensity k and the principal angle t (radians):
//   S = sin^2 t, den = (k - 1) S + 1,
//   Oa = (1 - k) sin 2t / den, Ob = (k - (k - 1) S) / den, Oc = 1 / den.
struct OrientationCoefficients {
    double Oa = 0;
    double Ob = 0;
    double Oc = 0;
    double den = 0;
};
OrientationCoefficients orientation_coefficients(float k, double t);

struct Orientation {
    OrientationCoefficients xy;
    OrientationCoefficients zx;
};
Orientation orientation_setup(const CalculationInputs& inputs);

// p(alpha) = ((sqrt k / pi) Oc) / ((cos^2 a + (Oa sin a) cos a) + Ob sin^2 a)
double orientation_density(double alpha, float k, const OrientationCoefficients& c);

// The cell grid: index 1..90 in each plane, angle -89 + 2 (index - 1) degrees;
// centroid levels k = 0..100.
inline constexpr int angle_cells = 90;
inline constexpr int centroid_levels = 101;
inline constexpr int cell_count = angle_cells * angle_cells * centroid_levels;
inline constexpr int cell_angle_deg(int index) {
    return -89 + 2 * (index - 1);
}

// Orientation weights of an x-y cell i and a z-x cell j: p(angle) * angle_step
// with the classic weights, exact_cell_weight with the exact ones.
double w_xy(const CalculationInputs& inputs, const Orientation& o, int i);
double w_zx(const CalculationInputs& inputs, const Orientation& o, int j);

// The integral of a plane's elliptic density over the 2-degree cell about
// angle_deg, for the intensity k and the principal angle theta_r (degrees):
//   (F(angle + 1) - F(angle - 1)) / pi, F(a) = atan(sqrt k tan(a - theta_r))
// continued across the branches of tan, at a - theta_r = 90 + 180 n degrees,
// where it gains pi. The angles are in true radians (not the model's pi), so
// that the 90 cells make one whole period and a plane's weights sum to 1 for
// any k, however narrow the density.
double exact_cell_weight(float k, float theta_r_deg, int angle_deg);

// z_k = -(Lf / 2) (100 - k) / 100, rounded to 32 bits.
float z_level(float Lf, int k);

// The angle whose cosine is X, as the model forms it: pi/2 - atan(X / sqrt(1 - X X)).
double angle_of_cosine(double X);

// Angle of a fiber at (phi, psi) degrees to the crack normal, radians:
// pi/2 - atan(X / sqrt(1 - X X)) with X = |cos phi| |cos psi|.
double fiber_angle(const CalculationInputs& inputs, int phi_deg, int psi_deg);

// lb = (z + (Lf / 2) cos theta) / cos theta rounded to 32 bits; 0 when that
// is negative or not a number.
float embedded_length(float z, float Lf, double theta);
// The same from cos theta, for callers that share it between cells.
float embedded_length_from_cos(float z, float Lf, double cos_theta);

// The snubbing angle theta_s (radians) of a cell, with the crack angles.
double snubbing_angle(const CalculationInputs& inputs, int phi_deg, int psi_deg);

}  // namespace quarnel
