#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/calculation_inputs.h"
#include "engine/input_checks.h"

namespace quarnel {

// One input member as every front end presents it: its caption as the window
// shows it, its unit and the text its field holds when the window loads.
struct InputInfo {
    std::string member;        // "Am"
    std::string caption;       // "Matrix, Sectional area (mm2)"
    std::string unit;          // "mm2"; "" when dimensionless; in the Constant model's terms
    std::string default_text;  // "2500"
};

// Every input member but "model": the window's fields in their order, then
// orientation_weights and weibull_m, which the window does not show (it keeps
// the classic weights and rupture).
const std::vector<InputInfo>& input_table();

// The entry of a member; nullptr when there is none ("A", "model", ...).
const InputInfo* input_info(const std::string& member);

// Every member of the table with its default text.
InputSet default_input_texts();

// The inputs with each member of the table that they do not give, under
// either of its names ("A" gives Pmax), added at its default text.
InputSet with_default_texts(InputSet inputs);

// A number text that the text-to-number rule reads only in part: characters
// other than blanks follow its number, or it holds none, and are ignored.
struct PartReading {
    std::string member;
    std::string text;
    double value = 0;  // what the text reads as
};
// The texts among the inputs read only in part, in the order of input_table();
// orientation_weights, a word, and weibull_m, read whole or refused, are none
// of them.
std::vector<PartReading> part_readings(const InputSet& inputs);

// A member's caption in the model's naming: Pmax and delta_max are "A" and
// "B" in the Function lb model. A name without an entry is its own caption.
std::string input_caption(const std::string& member, std::int16_t model);

// The refusal as the user reads it: each "{member}" becomes the member's
// caption in quotes.
std::string refusal_message(const InputRefusal& refusal, std::int16_t model);

}  // namespace quarnel
