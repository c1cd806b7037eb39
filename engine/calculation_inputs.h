#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace quarnel {

// 3.141592654 as the model uses it everywhere, not the full-precision constant.
inline constexpr double pi = 3.141592654;

enum class PulloutModel : std::int16_t { constant = 1, function_lb = 2 };

// How a plane's 90 orientation weights are formed: `classic`, the model's
// p(angle) * angle_step at each cell's centre, or `exact`, each 2-degree
// cell's integral of the density, so that a plane's weights sum to 1 for any
// intensity.
enum class OrientationWeights : std::int16_t { classic, exact };

// The parameter record of one run. Inputs are held with the widths the model
// rounds them to: 32-bit except the four pull-out values.
struct CalculationInputs {
    float Am = 0;           // sectional area of the matrix, mm2
    float Af = 0;           // sectional area of one fiber, mm2
    float Lf = 0;           // fiber length, mm
    float Vf = 0;           // fiber volume fraction
    float fp0 = 0;          // load snubbing coefficient, per rad
    float fp1 = 0;          // its term in lb, per rad per mm
    float fd0 = 0;          // displacement snubbing coefficient, per rad
    float fd1 = 0;          // its term in lb, per rad per mm
    float f_reduction = 0;  // strength reduction coefficient, per rad
    float sigma_fu = 0;     // fiber rupture strength, MPa; the Weibull scale when weibull_m > 0
    float crack_xy = 0;     // crack angle in x-y, degrees
    float crack_zx = 0;     // crack angle in z-x, degrees
    float kxy = 0;          // orientation intensity in x-y
    float kzx = 0;          // orientation intensity in z-x
    float theta_r_xy = 0;   // principal orientation angle in x-y, degrees
    float theta_r_zx = 0;   // principal orientation angle in z-x, degrees
    std::string data_file_name;
    std::int16_t model = 1;  // 1 = Constant model, 2 = Function lb model
    OrientationWeights orientation_weights = OrientationWeights::classic;
    std::int16_t division = 0;
    double division_number = 0;  // the rounded "Division" number before it is narrowed
    std::int16_t angle_step_deg = 2;
    double Pmax = 0;       // Constant model Pmax (N); Function lb model A
    double delta_max = 0;  // Constant model delta_max (mm); Function lb model B
    double C = 0;
    double D = 0;
    // Weibull modulus of fiber strength; 0 (the field empty) is the classic
    // rupture of every fiber at its rupture load. Not a number when its text
    // is no number, which check_calculation_inputs refuses.
    float weibull_m = 0;

    // Derived once per run by read_calculation_inputs.
    float total_fiber = 0;               // Vf * Am / Af
    float fiber_number_coefficient = 0;  // total_fiber / 101
    double deg_to_rad = 0;
    double angle_step = 0;  // radians
    double theta_r_xy_rad = 0;
    double theta_r_zx_rad = 0;
    double crack_xy_rad = 0;
    double crack_zx_rad = 0;

    bool is_constant_model() const { return model == 1; }
    bool has_strength_scatter() const { return weibull_m > 0; }
    double A() const { return Pmax; }
    double B() const { return delta_max; }
};

// An input named by its member: a text, read by the text-to-number rule as a
// field is, or a double, stored with the member's width as the text of that
// double would be.
using InputValue = std::variant<std::string, double>;
using InputSet = std::map<std::string, InputValue>;

// The member names an InputSet may hold, in the order they are read: Am, Vf,
// Af, Lf, fp0, fp1, fd0, fd1, f_reduction, sigma_fu, crack_xy, crack_zx, kxy,
// kzx, theta_r_xy, theta_r_zx, division, Pmax, delta_max, C, D, weibull_m,
// orientation_weights, model. "A" and "B" name the same inputs as "Pmax" and
// "delta_max". orientation_weights is a text, every other one a number.
const std::vector<std::string>& input_member_names();

// The member a name stands for ("A" is "Pmax", "B" is "delta_max"), or an
// empty text when the name is none of them.
std::string input_member(const std::string& name);

// The weights an orientation_weights input names: the text "classic" or
// "exact", blanks and tabs around it skipped. Throws std::invalid_argument
// naming the input and the texts it takes, for any other text or a number.
OrientationWeights read_orientation_weights(const InputValue& value);

// The Weibull modulus a weibull_m input gives: 0 for a text of blanks alone,
// the number of a text that is one decimal number as a whole (not by the
// field rule, so that "5x" is no modulus), the double itself; not a number
// for any other text.
float read_weibull_m(const InputValue& value);

// Fills the record from the inputs (a member not given reads as empty text;
// model, 1 or 2, is 1 when not given; orientation_weights is classic when not
// given) and forms the derived values.
// Throws std::invalid_argument for an unknown name, for a member given twice
// under its two names, for a model other than 1 or 2 and for an
// orientation_weights that read_orientation_weights refuses.
CalculationInputs read_calculation_inputs(const InputSet& inputs);
// The same with the model given apart, as the window holds it.
CalculationInputs read_calculation_inputs(InputSet inputs, std::int16_t model);

}  // namespace quarnel
