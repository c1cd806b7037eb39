#include "calculation_inputs.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "text_to_number.h"

namespace quarnel {

const std::vector<FieldInfo>& input_fields() {
    static const std::vector<FieldInfo> fields = {
        {"Text3", "Am", "Matrix, Sectional area (mm2)", "2500"},
        {"Text4", "Vf", "Fiber, Volume fraction", "0.01"},
        {"Text5", "Af", "Fiber, Sectional area (mm2)", "0.19635"},
        {"Text6", "Lf", "Length (mm)", "30"},
        {"Text7", "fp0", "Snubbing coefficient for pullout load, fp0", "0.5"},
        {"Text24", "fp1", "+fp1(*lb)", "0"},
        {"Text27", "fd0", "Snubbing coefficient for displacement, fd0", "0.5"},
        {"Text28", "fd1", "+fd1(*lb)", "0"},
        {"Text8", "f_reduction", "Strength reduction", "0.3"},
        {"Text9", "sigma_fu", "Rupture strength (MPa)", "774"},
        {"Text25", "crack_xy", "Crack angle (0-90deg), x-y", "0"},
        {"Text26", "crack_zx", "Crack angle (0-90deg), z-x", "0"},
        {"Text10", "kxy", "Fiber orientation, kxy", "1"},
        {"Text11", "theta_r_xy", "\xCE\xB8r,xy(deg)", "0"},
        {"Text12", "kzx", "kzx", "1"},
        {"Text13", "theta_r_zx", "\xCE\xB8r,zx(deg)", "0"},
        {"Text14", "Pmax", "Pmax (N)", "3"},
        {"Text15", "delta_max", "\xCE\xB4max (mm)", "0.45"},
        {"Text16", "C", "C", "0"},
        {"Text17", "D", "D", "0"},
        {"Text20", "division", "Division", "30"},
    };
    return fields;
}

FieldTexts default_field_texts() {
    FieldTexts texts;
    texts["Text2"] = "";
    for (const FieldInfo& f : input_fields()) texts[f.field] = f.default_text;
    return texts;
}

std::string field_caption(const std::string& field, std::int16_t model) {
    if (model != 1) {
        if (field == "Text14") return "A";
        if (field == "Text15") return "B";
    }
    for (const FieldInfo& f : input_fields()) {
        if (f.field == field) return f.caption;
    }
    return field;
}

namespace {

double number_of(const FieldTexts& texts, const char* field) {
    const auto it = texts.find(field);
    return it == texts.end() ? 0.0 : read_number(it->second);
}

// The one place an input is narrowed to its stored 32-bit width.
float single_of(const FieldTexts& texts, const char* field) {
    return static_cast<float>(number_of(texts, field));
}

}  // namespace

CalculationInputs read_calculation_inputs(const FieldTexts& texts, std::int16_t model) {
    CalculationInputs in;
    in.model = model;
    in.Am = single_of(texts, "Text3");
    in.Vf = single_of(texts, "Text4");
    in.Af = single_of(texts, "Text5");
    in.Lf = single_of(texts, "Text6");
    in.fp0 = single_of(texts, "Text7");
    in.fp1 = single_of(texts, "Text24");
    in.fd0 = single_of(texts, "Text27");
    in.fd1 = single_of(texts, "Text28");
    in.f_reduction = single_of(texts, "Text8");
    in.sigma_fu = single_of(texts, "Text9");
    in.crack_xy = single_of(texts, "Text25");
    in.crack_zx = single_of(texts, "Text26");
    in.kxy = single_of(texts, "Text10");
    in.kzx = single_of(texts, "Text12");
    in.theta_r_xy = single_of(texts, "Text11");
    in.theta_r_zx = single_of(texts, "Text13");

    in.total_fiber = static_cast<float>(static_cast<double>(in.Vf) * in.Am / in.Af);
    in.fiber_number_coefficient = static_cast<float>(static_cast<double>(in.total_fiber) / 101);

    // Ties to even, as the default rounding mode does; out-of-range values are
    // kept in division_number for the check and never narrowed here.
    in.division_number = std::nearbyint(number_of(texts, "Text20"));
    if (in.division_number >= -32768 && in.division_number <= 32767) {
        in.division = static_cast<std::int16_t>(in.division_number);
    }

    in.deg_to_rad = pi / 180;
    in.angle_step_deg = 2;
    in.angle_step = in.angle_step_deg * in.deg_to_rad;
    in.Pmax = number_of(texts, "Text14");
    in.delta_max = number_of(texts, "Text15");
    in.C = number_of(texts, "Text16");
    in.D = number_of(texts, "Text17");
    in.theta_r_xy_rad = static_cast<double>(in.theta_r_xy) * in.deg_to_rad;
    in.theta_r_zx_rad = static_cast<double>(in.theta_r_zx) * in.deg_to_rad;
    in.crack_xy_rad = static_cast<double>(in.crack_xy) * in.deg_to_rad;
    in.crack_zx_rad = static_cast<double>(in.crack_zx) * in.deg_to_rad;
    return in;
}

}  // namespace quarnel
