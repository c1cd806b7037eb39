#include "input_fields.h"

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

const FieldInfo* field_of_member(const std::string& member) {
    for (const FieldInfo& f : input_fields()) {
        if (f.member == member) return &f;
    }
    return nullptr;
}

const FieldInfo* field_of_control(const std::string& field) {
    for (const FieldInfo& f : input_fields()) {
        if (f.field == field) return &f;
    }
    return nullptr;
}

InputSet default_input_texts() {
    InputSet texts;
    for (const FieldInfo& f : input_fields()) texts[f.member] = f.default_text;
    return texts;
}

FieldTexts default_field_texts() {
    FieldTexts texts;
    texts["Text2"] = "";
    for (const FieldInfo& f : input_fields()) texts[f.field] = f.default_text;
    return texts;
}

InputSet inputs_of_fields(const FieldTexts& texts) {
    InputSet inputs;
    for (const auto& [control, text] : texts) {
        if (const FieldInfo* f = field_of_control(control)) inputs[f->member] = text;
    }
    return inputs;
}

std::string input_caption(const std::string& member, std::int16_t model) {
    if (model != 1) {
        if (member == "Pmax") return "A";
        if (member == "delta_max") return "B";
    }
    const FieldInfo* f = field_of_member(member);
    return f != nullptr ? f->caption : member;
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
