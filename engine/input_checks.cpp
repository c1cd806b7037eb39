#include "input_checks.h"

#include <cmath>
#include <cstdio>

#include "crack_openings.h"
#include "fiber_orientation.h"
#include "pullout_law.h"

namespace quarnel {

namespace {

// A member's place in a message, which the front-ends fill with its caption.
std::string quoted(const std::string& member, std::int16_t) {
    return "{" + member + "}";
}

InputRefusal refuse(const std::string& member, std::int16_t model, const std::string& rule) {
    return {member, quoted(member, model) + " " + rule};
}

// A stored 32-bit input as a message shows it, to 7 significant digits.
std::string value_text(float x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", static_cast<double>(x));
    return text;
}

// A plane's 90 weights, p(angle) * angle_step. With k at 0, nearly 0 or very
// large, the density's denominator rounds to exactly 0 where a grid angle lies
// at or 90 degrees from the principal angle, and the weight is not a number.
std::optional<InputRefusal> check_orientation_weights(const CalculationInputs& in) {
    const std::int16_t m = in.model;
    const Orientation o = orientation_setup(in);
    const struct {
        const char* k_field;
        const char* angle_field;
        const char* k;
        const char* angle;
        double (*weight)(const CalculationInputs&, const Orientation&, int);
    } planes[] = {
        {"kxy", "theta_r_xy", "kxy", "\xCE\xB8r,xy", w_xy},
        {"kzx", "theta_r_zx", "kzx", "\xCE\xB8r,zx", w_zx},
    };
    for (const auto& plane : planes) {
        for (int i = 1; i <= angle_cells; ++i) {
            if (std::isfinite(plane.weight(in, o, i))) continue;
            const std::string k = plane.k;
            const std::string angle = plane.angle;
            return InputRefusal{
                plane.k_field,
                quoted(plane.k_field, m) + " and " + quoted(plane.angle_field, m) +
                    " give an orientation density that is not a finite number at the grid angle " +
                    std::to_string(cell_angle_deg(i)) + " degrees: with " + k +
                    " at 0, nearly 0 or very large, no grid angle (-89 to 89 degrees in steps of "
                    "2) may lie at or 90 degrees from " +
                    angle + ", where the density's denominator is 0."};
        }
    }
    return std::nullopt;
}

// (sigma_fu exp(-f_reduction theta_s)) Af at every snubbing angle of the grid:
// a rupture load that is not a number would never be exceeded, and no fiber
// would ever rupture.
std::optional<InputRefusal> check_rupture_loads(const CalculationInputs& in) {
    for (int j = 1; j <= angle_cells; ++j) {
        for (int i = 1; i <= angle_cells; ++i) {
            const double theta_s = snubbing_angle(in, cell_angle_deg(i), cell_angle_deg(j));
            if (std::isfinite(rupture_load(in, theta_s))) continue;
            return InputRefusal{
                "f_reduction",
                quoted("f_reduction", in.model) + " with " + quoted("sigma_fu", in.model) +
                    " gives a fiber a rupture load, sigma_fu exp(-f_reduction theta_s) Af, that "
                    "is not a finite number at some snubbing angle; the rupture load must stay "
                    "within the range of numbers."};
        }
    }
    return std::nullopt;
}

// Wcr_mid = C (Lf/2)^D in the Function lb model, with the part that leaves
// the range named; in the Constant model it is delta_max, always in range.
std::optional<InputRefusal> check_mid_opening(const CalculationInputs& in) {
    if (in.is_constant_model()) return std::nullopt;
    const std::int16_t m = in.model;
    const float half_Lf = static_cast<float>(static_cast<double>(in.Lf) / 2);
    const double power = std::pow(static_cast<double>(half_Lf), in.D);
    if (!std::isfinite(power)) {
        if (half_Lf == 0) {
            return refuse("Lf", m,
                          "is so small that half of it rounds to 0 in 32 bits, and 0 raised to "
                          "the negative power " +
                              quoted("D", m) +
                              " in the opening at peak C (Lf/2)^D is beyond the range of "
                              "numbers it can hold.");
        }
        return refuse("D", m,
                      "raises half the fiber length to a power, (Lf/2)^D in the opening at peak "
                      "C (Lf/2)^D, beyond the range of numbers it can hold.");
    }
    if (!std::isfinite(in.C * power)) {
        return refuse("C", m,
                      "times (Lf/2)^D gives an opening at peak C (Lf/2)^D beyond the range of "
                      "numbers it can hold.");
    }
    return std::nullopt;
}

// The Weibull modulus, and the scale it makes of sigma_fu.
std::optional<InputRefusal> check_strength_scatter(const CalculationInputs& in) {
    const std::int16_t m = in.model;
    if (std::isnan(in.weibull_m)) {
        return refuse("weibull_m", m,
                      "must be empty or one number (empty or 0: every fiber ruptures at the "
                      "rupture load).");
    }
    if (!std::isfinite(in.weibull_m)) {
        return refuse("weibull_m", m, "is beyond the range of numbers it can hold.");
    }
    if (in.weibull_m < 0) {
        return refuse("weibull_m", m,
                      "must not be negative (it is " + value_text(in.weibull_m) +
                          "); empty or 0 gives every fiber the same strength.");
    }
    if (in.has_strength_scatter() && !(in.sigma_fu > 0)) {
        return refuse("sigma_fu", m,
                      "must be greater than 0 (it is " + value_text(in.sigma_fu) + ") when " +
                          quoted("weibull_m", m) +
                          " is given: it is then the scale of the fibers' strengths.");
    }
    return std::nullopt;
}

}  // namespace

std::optional<InputRefusal> check_calculation_inputs(const CalculationInputs& in,
                                                     OpeningScheme scheme) {
    const bool division_scheme = scheme == OpeningScheme::division;
    const std::int16_t m = in.model;
    const struct {
        const char* field;
        double value;
    } stored[] = {
        {"Am", in.Am},
        {"Vf", in.Vf},
        {"Af", in.Af},
        {"Lf", in.Lf},
        {"fp0", in.fp0},
        {"fp1", in.fp1},
        {"fd0", in.fd0},
        {"fd1", in.fd1},
        {"f_reduction", in.f_reduction},
        {"sigma_fu", in.sigma_fu},
        {"crack_xy", in.crack_xy},
        {"crack_zx", in.crack_zx},
        {"kxy", in.kxy},
        {"kzx", in.kzx},
        {"theta_r_xy", in.theta_r_xy},
        {"theta_r_zx", in.theta_r_zx},
        {"Pmax", in.Pmax},
        {"delta_max", in.delta_max},
        {"C", in.C},
        {"D", in.D},
    };
    for (const auto& s : stored) {
        if (!std::isfinite(s.value)) {
            return refuse(s.field, m, "is beyond the range of numbers it can hold.");
        }
    }
    if (auto refusal = check_strength_scatter(in)) return refusal;
    if (in.Am == 0) return refuse("Am", m, "must not be 0: the stress is the load divided by it.");
    if (in.Am < 0) {
        return refuse("Am", m,
                      "must not be negative (it is " + value_text(in.Am) +
                          "): it is the sectional area of the matrix, in mm2.");
    }
    if (in.Af == 0) return refuse("Af", m, "must not be 0: the fiber count is divided by it.");
    if (in.Af < 0) {
        return refuse("Af", m,
                      "must not be negative (it is " + value_text(in.Af) +
                          "): it is the sectional area of one fiber, in mm2.");
    }
    if (in.Vf == 0)
        return refuse("Vf", m, "must not be 0: with no fibers there is no bridging law.");
    if (in.Vf < 0 || in.Vf > 1) {
        return refuse("Vf", m,
                      "must lie between 0 and 1, not " + value_text(in.Vf) +
                          ": it is the fibers' share of the volume, 0.01 for one per cent.");
    }
    if (!std::isfinite(in.total_fiber) || in.total_fiber == 0) {
        return refuse("Vf", m,
                      "with the sectional areas gives a fiber count (Vf * Am / Af) that is 0 or "
                      "beyond the range of numbers it can hold.");
    }
    if (!(in.Lf > 0)) return refuse("Lf", m, "must be greater than 0.");
    if (division_scheme && (in.division_number < -32768 || in.division_number > 32767)) {
        return refuse("division", m, "must lie between -32768 and 32767.");
    }
    if (division_scheme && in.division == 0)
        return refuse("division", m, "must not be 0: the openings are divided by it.");
    if (division_scheme && in.division > 16383) {
        return refuse("division", m,
                      "must be at most 16383, so that 2 * Division steps can be counted.");
    }
    if (in.kxy < 0) return refuse("kxy", m, "must not be negative.");
    if (in.kzx < 0) return refuse("kzx", m, "must not be negative.");
    if (auto refusal = check_orientation_weights(in)) return refusal;
    if (auto refusal = check_rupture_loads(in)) return refusal;
    if (in.is_constant_model() && in.delta_max == 0) {
        return refuse("delta_max", m, "must not be 0: the rising branch divides by it.");
    }
    if (!in.is_constant_model() && in.C == 0) {
        return refuse("C", m, "must not be 0: the rising branch divides by it.");
    }
    if (!division_scheme) return std::nullopt;
    if (auto refusal = check_mid_opening(in)) return refusal;
    // The openings run from 0 to the opening at peak and on to Lf/2: a
    // negative one would open the crack backwards.
    if (mid_opening(in) < 0) {
        return refuse(in.is_constant_model() ? "delta_max" : "C", m,
                      "must not be negative: the crack openings run from 0 to the opening at "
                      "peak it gives.");
    }
    // The widest opening is that of the last step; a displacement at peak so
    // large that the openings leave the range of numbers would turn every
    // load into "not a number".
    const double Wcr_mid = mid_opening(in);
    if (in.division > 0 && !std::isfinite(crack_opening(in, Wcr_mid, 2 * in.division))) {
        if (in.is_constant_model()) {
            return refuse("delta_max", m,
                          "gives crack openings beyond the range of numbers they can hold.");
        }
        return refuse("C", m,
                      "and " + quoted("D", m) +
                          " give an opening at peak C (Lf/2)^D so large that the later crack "
                          "openings leave the range of numbers they can hold.");
    }
    return std::nullopt;
}

namespace {

// One of the two corner values of a cell, base exp(f theta_s) rounded to 32
// bits, with the fields behind each part.
struct CornerPart {
    const char* what;         // "peak load"
    const char* symbol;       // "P1"
    const char* base_fields;  // the base value's fields, quoted, in the model's naming
    const char* base_verb;    // "gives" after one field, "give" after two
    const char* base_list;    // the same fields, to be followed by " and " and one more
    const char* base_field;   // the first of them, the refusal's field
    const char* power_field;  // Function lb model: the exponent alone, B or D
    const char* snub_field;   // fp0 or fd0
    double base;
    double power;  // lb^B or lb^D; 1 in the Constant model
    double snubbing_factor;
    float value;
};

InputRefusal blame_corner_part(const CornerPart& part, std::int16_t m) {
    const std::string value = std::string(part.what) + " " + part.symbol;
    if (!std::isfinite(part.power)) {
        return refuse(part.power_field, m,
                      std::string("raises an embedded length lb to a power beyond the range of "
                                  "numbers, in the ") +
                          value + ".");
    }
    if (!std::isfinite(part.snubbing_factor)) {
        return refuse(part.snub_field, m,
                      "gives a snubbing factor exp(f theta_s) beyond the range of numbers, in "
                      "the " +
                          value + ".");
    }
    if (!std::isfinite(static_cast<float>(part.base))) {
        return InputRefusal{part.base_field,
                            std::string(part.base_fields) + " " + part.base_verb + " a fiber a " +
                                value +
                                " beyond the range of numbers a cell holds (32 bits, about "
                                "3.4E+38)."};
    }
    return InputRefusal{part.base_field, std::string(part.base_list) + " and " +
                                             quoted(part.snub_field, m) + " give a fiber a " +
                                             value +
                                             " beyond the range of numbers a cell holds (32 bits, "
                                             "about 3.4E+38)."};
}

CornerPart load_part(const CalculationInputs& in, float lb, double theta_s) {
    const bool constant = in.is_constant_model();
    const double lbd = lb;
    const double power = constant ? 1.0 : std::pow(lbd, in.B());
    return {"peak load",
            "P1",
            constant ? "{Pmax}" : "{Pmax} and {delta_max}",
            constant ? "gives" : "give",
            constant ? "{Pmax}" : "{Pmax}, {delta_max}",
            "Pmax",
            "delta_max",
            "fp0",
            base_values(in, lb).P_base,
            power,
            std::exp(snubbing_coefficients(in, lb).fp * theta_s),
            compute_corner(in, lb, theta_s).P1};
}

CornerPart displacement_part(const CalculationInputs& in, float lb, double theta_s) {
    const bool constant = in.is_constant_model();
    const double lbd = lb;
    const double power = constant ? 1.0 : std::pow(lbd, in.D);
    return {"displacement at peak",
            "delta1",
            constant ? "{delta_max}" : "{C} and {D}",
            constant ? "gives" : "give",
            constant ? "{delta_max}" : "{C}, {D}",
            constant ? "delta_max" : "C",
            "D",
            "fd0",
            base_values(in, lb).delta_base,
            power,
            std::exp(snubbing_coefficients(in, lb).fd * theta_s),
            compute_corner(in, lb, theta_s).delta1};
}

// Names what makes a bridging cell's corner values or branches leave the
// 32-bit range, recomputing the cell from its embedded length and angles.
InputRefusal blame_cell(const CalculationInputs& in, const PulloutCell& cell, double theta_s) {
    const std::int16_t m = in.model;
    const CornerPart load = load_part(in, cell.lb, theta_s);
    const CornerPart displacement = displacement_part(in, cell.lb, theta_s);
    if (!std::isfinite(cell.P1)) return blame_corner_part(load, m);
    if (!std::isfinite(cell.delta1)) return blame_corner_part(displacement, m);
    if (cell.delta1 == 0) {
        if (displacement.power == 0) {
            return refuse("D", m,
                          "makes lb^D in the displacement at peak C lb^D round to 0 for an "
                          "embedded length lb; the rising branch divides by it.");
        }
        if (displacement.snubbing_factor == 0) {
            return refuse("fd0", m,
                          "makes the snubbing factor exp(f theta_s) of the displacement at peak "
                          "round to 0; the rising branch divides by it.");
        }
        if (static_cast<float>(displacement.base) == 0) {
            return InputRefusal{displacement.base_field,
                                std::string(displacement.base_fields) + " " +
                                    displacement.base_verb +
                                    " a fiber a displacement at peak that rounds to 0 in 32 bits; "
                                    "the rising branch divides by it."};
        }
        return InputRefusal{displacement.base_field,
                            std::string(displacement.base_list) + " and " + quoted("fd0", m) +
                                " give a fiber a displacement at peak that rounds to 0 in 32 "
                                "bits; the rising branch divides by it."};
    }
    const std::string values =
        in.is_constant_model() ? "{Pmax} and {delta_max}" : "{Pmax}, {delta_max}, {C} and {D}";
    if (!std::isfinite(rising_ratio(cell))) {
        return InputRefusal{
            "Pmax", values +
                        " with the snubbing coefficients give a fiber a rising branch P1 / "
                        "delta1 (the peak load divided by the displacement at peak) beyond the "
                        "range of numbers a cell holds (32 bits, about 3.4E+38)."};
    }
    return InputRefusal{"Pmax",
                        values +
                            " with the snubbing coefficients give a fiber a falling branch whose "
                            "slope P1 / (lb - delta1) is beyond the range of numbers a cell "
                            "holds (32 bits, about 3.4E+38): the peak load is too large for a "
                            "displacement at peak so close to the embedded length lb."};
}

}  // namespace

std::optional<InputRefusal> check_openings(const std::vector<double>& openings) {
    if (const auto n = first_invalid_opening(openings)) {
        return InputRefusal{"", "Opening " + std::to_string(*n) +
                                    " (numbered from 0) must be a finite number and not negative."};
    }
    return std::nullopt;
}

std::optional<InputRefusal> check_fiber_tables(const CalculationInputs& inputs,
                                               const FiberTables& tables) {
    for (int k = 0; k < centroid_levels; ++k) {
        for (std::size_t g = 0; g < tables.groups.size(); ++g) {
            const std::size_t c = tables.place(k, g);
            if (c == FiberTables::npos || !(tables.lb[c] > 0)) continue;
            const PulloutCell cell{tables.lb[c], tables.P1[c], tables.delta1[c]};
            // A cell whose displacement at peak is not below lb is pulled out
            // before it could reach the falling branch: its slope is never used.
            const bool falls = cell.delta1 < cell.lb;
            if (std::isfinite(cell.P1) && std::isfinite(cell.delta1) && cell.delta1 != 0 &&
                std::isfinite(rising_ratio(cell)) &&
                (!falls || std::isfinite(falling_slope(cell)))) {
                continue;
            }
            return blame_cell(inputs, cell, tables.groups.theta_s[g]);
        }
    }
    return std::nullopt;
}

}  // namespace quarnel
