#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/calculation_inputs.h"
#include "engine/input_table.h"

namespace quarnel {

// The window's field behind each input member that has one, in the order of
// input_table(), where each member's caption and default text are.
struct FieldInfo {
    std::string field;   // control name, "Text3"
    std::string member;  // member name, "Am"
};
const std::vector<FieldInfo>& input_fields();

// The field of a member or of a control name; nullptr when there is none.
const FieldInfo* field_of_member(const std::string& member);
const FieldInfo* field_of_control(const std::string& field);

// Field texts keyed by control name ("Text3", "Text14", ...), as the window
// holds them, and the inputs they give by member; controls that are not
// input fields are left out.
using FieldTexts = std::map<std::string, std::string>;
FieldTexts default_field_texts();  // Text2 empty, every input field its default
InputSet inputs_of_fields(const FieldTexts& texts);

// One line per input field whose text the text-to-number rule reads only in
// part, in field order, naming the field by its caption in the model's
// naming: `"Fiber, Volume fraction": "2%" read as 2`.
std::vector<std::string> part_reading_lines(const FieldTexts& texts, std::int16_t model);

}  // namespace quarnel
