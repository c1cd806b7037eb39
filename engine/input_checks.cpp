#include "input_checks.h"

#include <cmath>

#include "crack_opening_stepper.h"
#include "fiber_orientation.h"
#include "pullout_law.h"

namespace quarnel {

namespace {

std::string quoted(const std::string& field, std::int16_t model) {
    return "\"" + field_caption(field, model) + "\"";
}

InputRefusal refuse(const std::string& field, std::int16_t model, const std::string& rule) {
    return {field, quoted(field, model) + " " + rule};
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
        {"Text10", "Text11", "kxy", "\xCE\xB8r,xy", w_xy},
        {"Text12", "Text13", "kzx", "\xCE\xB8r,zx", w_zx},
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

}  // namespace

std::optional<InputRefusal> check_calculation_inputs(const CalculationInputs& in) {
    const std::int16_t m = in.model;
    const struct {
        const char* field;
        double value;
    } stored[] = {
        {"Text3", in.Am},          {"Text4", in.Vf},        {"Text5", in.Af},
        {"Text6", in.Lf},          {"Text7", in.fp0},       {"Text24", in.fp1},
        {"Text27", in.fd0},        {"Text28", in.fd1},      {"Text8", in.f_reduction},
        {"Text9", in.sigma_fu},    {"Text25", in.crack_xy}, {"Text26", in.crack_zx},
        {"Text10", in.kxy},        {"Text12", in.kzx},      {"Text11", in.theta_r_xy},
        {"Text13", in.theta_r_zx}, {"Text14", in.Pmax},     {"Text15", in.delta_max},
        {"Text16", in.C},          {"Text17", in.D},
    };
    for (const auto& s : stored) {
        if (!std::isfinite(s.value)) {
            return refuse(s.field, m, "is beyond the range of numbers it can hold.");
        }
    }
    if (in.Am == 0)
        return refuse("Text3", m, "must not be 0: the stress is the load divided by it.");
    if (in.Af == 0) return refuse("Text5", m, "must not be 0: the fiber count is divided by it.");
    if (in.Vf == 0)
        return refuse("Text4", m, "must not be 0: with no fibers there is no bridging law.");
    if (!std::isfinite(in.total_fiber) || in.total_fiber == 0) {
        return refuse("Text4", m,
                      "with the sectional areas gives a fiber count (Vf * Am / Af) that is 0 or "
                      "beyond the range of numbers it can hold.");
    }
    if (!(in.Lf > 0)) return refuse("Text6", m, "must be greater than 0.");
    if (in.division_number < -32768 || in.division_number > 32767) {
        return refuse("Text20", m, "must lie between -32768 and 32767.");
    }
    if (in.division == 0)
        return refuse("Text20", m, "must not be 0: the openings are divided by it.");
    if (in.division > 16383) {
        return refuse("Text20", m,
                      "must be at most 16383, so that 2 * Division steps can be counted.");
    }
    if (in.kxy < 0) return refuse("Text10", m, "must not be negative.");
    if (in.kzx < 0) return refuse("Text12", m, "must not be negative.");
    if (auto refusal = check_orientation_weights(in)) return refusal;
    if (in.is_constant_model() && in.delta_max == 0) {
        return refuse("Text15", m, "must not be 0: the rising branch divides by it.");
    }
    if (!in.is_constant_model() && in.C == 0) {
        return refuse("Text16", m, "must not be 0: the rising branch divides by it.");
    }
    // The widest opening is that of the last step; a displacement at peak so
    // large that the openings leave the range of numbers would turn every
    // load into "not a number".
    const double Wcr_mid = mid_opening(in);
    if (!std::isfinite(Wcr_mid) ||
        (in.division > 0 && !std::isfinite(crack_opening(in, Wcr_mid, 2 * in.division)))) {
        return refuse(in.is_constant_model() ? "Text15" : "Text16", m,
                      "gives crack openings beyond the range of numbers they can hold.");
    }
    return std::nullopt;
}

std::optional<InputRefusal> check_fiber_tables(const CalculationInputs& inputs,
                                               const FiberTables& tables) {
    for (std::size_t c = 0; c < tables.lb_table.size(); ++c) {
        if (!(tables.lb_table[c] > 0)) continue;
        const PulloutCell cell{tables.lb_table[c], tables.P1_table[c], tables.delta1_table[c]};
        if (std::isfinite(cell.P1) && std::isfinite(cell.delta1) && cell.delta1 != 0 &&
            std::isfinite(rising_ratio(cell))) {
            continue;
        }
        const bool constant = inputs.is_constant_model();
        const std::string values =
            constant ? "\"Pmax (N)\" and \"\xCE\xB4max (mm)\"" : "\"A\", \"B\", \"C\" and \"D\"";
        return InputRefusal{
            "Text14",
            "The pull-out values " + values +
                " with the snubbing coefficients give fibers a peak load or a displacement at "
                "peak that is 0 or beyond the range of numbers a cell can hold; the displacement "
                "at peak must not be 0 and the peak load divided by it must stay in range."};
    }
    return std::nullopt;
}

}  // namespace quarnel
