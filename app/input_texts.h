#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/calculation_inputs.h"
#include "engine/input_table.h"
#include "run/result_file.h"

namespace quarnel {

// A command line's fault, with the message for standard error.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
using BatchUsageError = UsageError;

// The inputs a command line gives: every member's text (the window's
// defaults where none is given), the model, and the name each member was
// given by, for members set by the user.
struct InputTexts {
    InputSet texts = default_input_texts();
    std::int16_t model = 1;
    std::map<std::string, std::string> names;
    // Every input with the model among them, as study/ takes them.
    InputSet inputs() const;
};

// A text as a message echoes it: in quotes, cut to 40 characters and "..."
// when longer, so that a runaway argument does not flood the terminal.
std::string quoted(const std::string& text);

// One NAME=TEXT into the inputs ("model" takes 1, 2, constant or
// function-lb; orientation_weights classic or exact). Throws UsageError for
// an unknown name, a missing "=" or a text those two do not take.
void assign_input(const std::string& assignment, InputTexts& inputs);
// The NAME=TEXT lines of a parameter file's text, `path` naming it in
// messages: blanks allowed around the name and the "=", "#" starting a
// comment line, a leading UTF-8 byte-order mark skipped. Throws UsageError
// naming the line.
void assign_params_text(const std::string& path, std::string text, InputTexts& inputs);

// One line per field text the user gave whose number was followed by
// characters the text-to-number rule ignored: `fp0: "0,5" read as 0`.
std::vector<std::string> ignored_character_notes(const InputTexts& inputs);

// Every input of a run as the NAME=TEXT lines of a parameter file, after a
// comment line "# Quarnel VERSION" naming the version that wrote it, in the
// order the inputs are read, "model" last: the text given where it stands on
// one line, else the shortest text of the number it reads as, which reads
// back as the same double. orientation_weights is written only when it is
// not classic and weibull_m only when it is not empty or 0, so that a
// classic run's file is as it always was.
std::string params_file_text(const InputSet& inputs, std::int16_t model);

// "YYYY-MM-DD hh:mm:ss" as --at takes it. Throws UsageError.
ClockReading parse_clock(const std::string& text);

// Openings as --openings gives them: decimal numbers separated by commas,
// each read exactly as a double (not by the field rule). Throws
// std::invalid_argument naming the position (from 0) of an item that is not
// a decimal number or lies beyond the range of doubles.
std::vector<double> parse_openings_list(const std::string& list);
// The same from the text of an --openings-file: one number per line, blank
// lines and lines starting with "#" skipped; a message names the line.
std::vector<double> parse_openings_file_text(const std::string& text);

}  // namespace quarnel
