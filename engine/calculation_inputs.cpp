#include "calculation_inputs.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "crack_openings.h"
#include "fiber_orientation.h"
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

namespace {

InputRefusal refuse(const std::string& field, std::int16_t model, const std::string& rule) {
    std::string message = "\"";
    message += field_caption(field, model);
    message += "\" ";
    message += rule;
    return {field, message};
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
    if (orientation_coefficients(in.kxy, in.theta_r_xy_rad).den == 0) {
        return refuse("Text11", m,
                      "must not be 90 degrees (or an odd multiple of it) when kxy is 0.");
    }
    if (orientation_coefficients(in.kzx, in.theta_r_zx_rad).den == 0) {
        return refuse("Text13", m,
                      "must not be 90 degrees (or an odd multiple of it) when kzx is 0.");
    }
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

const std::vector<std::string>& input_member_names() {
    static const std::vector<std::string> names = {
        "Am",        "Vf",  "Af",          "Lf",         "fp0",      "fp1",
        "fd0",       "fd1", "f_reduction", "sigma_fu",   "crack_xy", "crack_zx",
        "kxy",       "kzx", "theta_r_xy",  "theta_r_zx", "division", "Pmax",
        "delta_max", "C",   "D",           "model"};
    return names;
}

std::string input_member(const std::string& name) {
    if (name == "A") return "Pmax";
    if (name == "B") return "delta_max";
    for (const std::string& member : input_member_names()) {
        if (member == name) return member;
    }
    return "";
}

namespace {

// The inputs by member, each once.
std::map<std::string, InputValue> by_member(const InputSet& inputs) {
    std::map<std::string, InputValue> members;
    for (const auto& [name, value] : inputs) {
        const std::string member = input_member(name);
        if (member.empty()) throw std::invalid_argument("unknown input name \"" + name + "\"");
        if (!members.emplace(member, value).second) {
            throw std::invalid_argument("the input " + member + " is given twice");
        }
    }
    return members;
}

double number_in(const std::map<std::string, InputValue>& members, const std::string& member) {
    const auto it = members.find(member);
    if (it == members.end()) return 0.0;
    if (const double* value = std::get_if<double>(&it->second)) return *value;
    return read_number(std::get<std::string>(it->second));
}

}  // namespace

CalculationInputs read_calculation_inputs(const InputSet& inputs) {
    const std::map<std::string, InputValue> members = by_member(inputs);
    const auto number = [&](const char* member) { return number_in(members, member); };
    // The one place an input is narrowed to its stored 32-bit width.
    const auto single = [&](const char* member) { return static_cast<float>(number(member)); };

    std::int16_t model = 1;
    if (members.count("model") != 0) {
        const double m = number("model");
        if (m != 1 && m != 2) throw std::invalid_argument("model must be 1 or 2");
        model = static_cast<std::int16_t>(m);
    }
    CalculationInputs in;
    in.model = model;
    in.Am = single("Am");
    in.Vf = single("Vf");
    in.Af = single("Af");
    in.Lf = single("Lf");
    in.fp0 = single("fp0");
    in.fp1 = single("fp1");
    in.fd0 = single("fd0");
    in.fd1 = single("fd1");
    in.f_reduction = single("f_reduction");
    in.sigma_fu = single("sigma_fu");
    in.crack_xy = single("crack_xy");
    in.crack_zx = single("crack_zx");
    in.kxy = single("kxy");
    in.kzx = single("kzx");
    in.theta_r_xy = single("theta_r_xy");
    in.theta_r_zx = single("theta_r_zx");

    in.total_fiber = static_cast<float>(static_cast<double>(in.Vf) * in.Am / in.Af);
    in.fiber_number_coefficient = static_cast<float>(static_cast<double>(in.total_fiber) / 101);

    // Ties to even, as the default rounding mode does; out-of-range values are
    // kept in division_number for the check and never narrowed here.
    in.division_number = std::nearbyint(number("division"));
    if (in.division_number >= -32768 && in.division_number <= 32767) {
        in.division = static_cast<std::int16_t>(in.division_number);
    }

    in.deg_to_rad = pi / 180;
    in.angle_step_deg = 2;
    in.angle_step = in.angle_step_deg * in.deg_to_rad;
    in.Pmax = number("Pmax");
    in.delta_max = number("delta_max");
    in.C = number("C");
    in.D = number("D");
    in.theta_r_xy_rad = static_cast<double>(in.theta_r_xy) * in.deg_to_rad;
    in.theta_r_zx_rad = static_cast<double>(in.theta_r_zx) * in.deg_to_rad;
    in.crack_xy_rad = static_cast<double>(in.crack_xy) * in.deg_to_rad;
    in.crack_zx_rad = static_cast<double>(in.crack_zx) * in.deg_to_rad;
    return in;
}

}  // namespace quarnel
