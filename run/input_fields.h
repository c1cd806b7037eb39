#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/calculation_inputs.h"
#include "engine/input_checks.h"

namespace quarnel {

// The window's field behind each input member, with its caption as the user
// sees it and its default text: the one table through which the window maps
// its controls and the batch command words its messages.
struct FieldInfo {
    std::string field;    // control name, "Text3"
    std::string member;   // member name, "Am"
    std::string caption;  // "Matrix, Sectional area (mm2)"
    std::string default_text;
};
const std::vector<FieldInfo>& input_fields();

// The field of a member or of a control name; nullptr when there is none.
const FieldInfo* field_of_member(const std::string& member);
const FieldInfo* field_of_control(const std::string& field);

// Every input member with the text its field holds when the window loads.
InputSet default_input_texts();

// Field texts keyed by control name ("Text3", "Text14", ...), as the window
// holds them, and the inputs they give by member; controls that are not
// input fields are left out.
using FieldTexts = std::map<std::string, std::string>;
FieldTexts default_field_texts();  // Text2 empty, every input field its default
InputSet inputs_of_fields(const FieldTexts& texts);

// A member's caption in the model's naming: Pmax and delta_max are "A" and
// "B" in the Function lb model.
std::string input_caption(const std::string& member, std::int16_t model);

// The refusal as the user reads it: each "{member}" becomes the member's
// caption in quotes.
std::string refusal_message(const InputRefusal& refusal, std::int16_t model);

}  // namespace quarnel
