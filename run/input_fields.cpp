#include "input_fields.h"

#include "engine/text_to_number.h"

namespace quarnel {

const std::vector<FieldInfo>& input_fields() {
    static const std::vector<FieldInfo> fields = [] {
        const std::map<std::string, std::string> control_of = {
            {"Am", "Text3"},          {"Vf", "Text4"},          {"Af", "Text5"},
            {"Lf", "Text6"},          {"fp0", "Text7"},         {"fp1", "Text24"},
            {"fd0", "Text27"},        {"fd1", "Text28"},        {"f_reduction", "Text8"},
            {"sigma_fu", "Text9"},    {"crack_xy", "Text25"},   {"crack_zx", "Text26"},
            {"kxy", "Text10"},        {"theta_r_xy", "Text11"}, {"kzx", "Text12"},
            {"theta_r_zx", "Text13"}, {"Pmax", "Text14"},       {"delta_max", "Text15"},
            {"C", "Text16"},          {"D", "Text17"},          {"division", "Text20"},
        };
        std::vector<FieldInfo> list;
        for (const InputInfo& info : input_table()) {
            const auto control = control_of.find(info.member);
            if (control != control_of.end()) list.push_back({control->second, info.member});
        }
        return list;
    }();
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

FieldTexts default_field_texts() {
    FieldTexts texts;
    texts["Text2"] = "";
    for (const FieldInfo& f : input_fields()) texts[f.field] = input_info(f.member)->default_text;
    return texts;
}

InputSet inputs_of_fields(const FieldTexts& texts) {
    InputSet inputs;
    for (const auto& [control, text] : texts) {
        if (const FieldInfo* f = field_of_control(control)) inputs[f->member] = text;
    }
    return inputs;
}

std::vector<std::string> part_reading_lines(const FieldTexts& texts, std::int16_t model) {
    std::vector<std::string> lines;
    for (const PartReading& r : part_readings(inputs_of_fields(texts))) {
        // A runaway text is cut, so that the box stays readable.
        const std::string shown = r.text.size() <= 40 ? r.text : r.text.substr(0, 40) + "...";
        lines.push_back("\"" + input_caption(r.member, model) + "\": \"" + shown + "\" read as " +
                        shortest_number_text(r.value));
    }
    return lines;
}

}  // namespace quarnel
