#include "input_table.h"

#include <set>

#include "engine/text_to_number.h"

namespace quarnel {

const std::vector<InputInfo>& input_table() {
    static const std::vector<InputInfo> table = {
        {"Am", "Matrix, Sectional area (mm2)", "mm2", "2500"},
        {"Vf", "Fiber, Volume fraction", "", "0.01"},
        {"Af", "Fiber, Sectional area (mm2)", "mm2", "0.19635"},
        {"Lf", "Length (mm)", "mm", "30"},
        {"fp0", "Snubbing coefficient for pullout load, fp0", "1/rad", "0.5"},
        {"fp1", "+fp1(*lb)", "1/(rad*mm)", "0"},
        {"fd0", "Snubbing coefficient for displacement, fd0", "1/rad", "0.5"},
        {"fd1", "+fd1(*lb)", "1/(rad*mm)", "0"},
        {"f_reduction", "Strength reduction", "1/rad", "0.3"},
        {"sigma_fu", "Rupture strength (MPa)", "MPa", "774"},
        {"crack_xy", "Crack angle (0-90deg), x-y", "deg", "0"},
        {"crack_zx", "Crack angle (0-90deg), z-x", "deg", "0"},
        {"kxy", "Fiber orientation, kxy", "", "1"},
        {"theta_r_xy", "\xCE\xB8r,xy(deg)", "deg", "0"},
        {"kzx", "kzx", "", "1"},
        {"theta_r_zx", "\xCE\xB8r,zx(deg)", "deg", "0"},
        {"Pmax", "Pmax (N)", "N", "3"},
        {"delta_max", "\xCE\xB4max (mm)", "mm", "0.45"},
        {"C", "C", "mm", "0"},
        {"D", "D", "", "0"},
        {"division", "Division", "", "30"},
        {"orientation_weights", "Orientation weights", "", "classic"},
        {"weibull_m", "Weibull modulus of fiber strength", "", ""},
    };
    return table;
}

const InputInfo* input_info(const std::string& member) {
    for (const InputInfo& info : input_table()) {
        if (info.member == member) return &info;
    }
    return nullptr;
}

InputSet default_input_texts() {
    InputSet texts;
    for (const InputInfo& info : input_table()) texts[info.member] = info.default_text;
    return texts;
}

InputSet with_default_texts(InputSet inputs) {
    std::set<std::string> given;
    for (const auto& [name, value] : inputs) given.insert(input_member(name));
    for (const InputInfo& info : input_table()) {
        if (given.count(info.member) == 0) inputs.emplace(info.member, info.default_text);
    }
    return inputs;
}

std::vector<PartReading> part_readings(const InputSet& inputs) {
    std::vector<PartReading> readings;
    for (const InputInfo& info : input_table()) {
        // Read whole or refused, never in part.
        if (info.member == "orientation_weights" || info.member == "weibull_m") continue;
        const auto it = inputs.find(info.member);
        if (it == inputs.end()) continue;
        const std::string* text = std::get_if<std::string>(&it->second);
        if (text == nullptr) continue;
        const NumberReading reading = read_number_text(*text);
        if (!reading.ignored.empty()) readings.push_back({info.member, *text, reading.value});
    }
    return readings;
}

std::string input_caption(const std::string& member, std::int16_t model) {
    if (model != 1) {
        if (member == "Pmax") return "A";
        if (member == "delta_max") return "B";
    }
    const InputInfo* info = input_info(member);
    return info != nullptr ? info->caption : member;
}

std::string refusal_message(const InputRefusal& refusal, std::int16_t model) {
    std::string text;
    const std::string& m = refusal.message;
    for (std::size_t at = 0; at < m.size();) {
        const std::size_t open = m.find('{', at);
        const std::size_t close = open == std::string::npos ? open : m.find('}', open);
        if (close == std::string::npos) {
            text += m.substr(at);
            break;
        }
        text += m.substr(at, open - at);
        text += "\"" + input_caption(m.substr(open + 1, close - open - 1), model) + "\"";
        at = close + 1;
    }
    return text;
}

}  // namespace quarnel
