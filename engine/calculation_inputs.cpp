#include "calculation_inputs.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "text_to_number.h"

namespace quarnel {

const std::vector<std::string>& input_member_names() {
    static const std::vector<std::string> names = {"Am",
                                                   "Vf",
                                                   "Af",
                                                   "Lf",
                                                   "fp0",
                                                   "fp1",
                                                   "fd0",
                                                   "fd1",
                                                   "f_reduction",
                                                   "sigma_fu",
                                                   "crack_xy",
                                                   "crack_zx",
                                                   "kxy",
                                                   "kzx",
                                                   "theta_r_xy",
                                                   "theta_r_zx",
                                                   "division",
                                                   "Pmax",
                                                   "delta_max",
                                                   "C",
                                                   "D",
                                                   "weibull_m",
                                                   "orientation_weights",
                                                   "model"};
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

OrientationWeights read_orientation_weights(const InputValue& value) {
    const std::string* text = std::get_if<std::string>(&value);
    if (text == nullptr) {
        throw std::invalid_argument(
            "orientation_weights takes the text classic or exact, not a number");
    }
    const auto first = text->find_first_not_of(" \t");
    const std::string word = first == std::string::npos
                                 ? ""
                                 : text->substr(first, text->find_last_not_of(" \t") - first + 1);
    if (word == "classic") return OrientationWeights::classic;
    if (word == "exact") return OrientationWeights::exact;
    // A runaway text is cut, so that the message stays one line.
    const std::string shown = word.size() <= 40 ? word : word.substr(0, 40) + "...";
    throw std::invalid_argument("orientation_weights must be classic or exact, not \"" + shown +
                                "\"");
}

float read_weibull_m(const InputValue& value) {
    if (const double* number = std::get_if<double>(&value)) return static_cast<float>(*number);
    const std::string& text = std::get<std::string>(value);
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return 0;
    const std::string word = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (!is_decimal_number(word)) return std::numeric_limits<float>::quiet_NaN();
    return static_cast<float>(read_number(word));
}

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
    if (const auto it = members.find("orientation_weights"); it != members.end()) {
        in.orientation_weights = read_orientation_weights(it->second);
    }
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
    if (const auto it = members.find("weibull_m"); it != members.end()) {
        in.weibull_m = read_weibull_m(it->second);
    }
    in.theta_r_xy_rad = static_cast<double>(in.theta_r_xy) * in.deg_to_rad;
    in.theta_r_zx_rad = static_cast<double>(in.theta_r_zx) * in.deg_to_rad;
    in.crack_xy_rad = static_cast<double>(in.crack_xy) * in.deg_to_rad;
    in.crack_zx_rad = static_cast<double>(in.crack_zx) * in.deg_to_rad;
    return in;
}

CalculationInputs read_calculation_inputs(InputSet inputs, std::int16_t model) {
    inputs["model"] = static_cast<double>(model);
    return read_calculation_inputs(inputs);
}

}  // namespace quarnel
