#include "input_texts.h"

#include <cmath>
#include <cstdio>
#include <sstream>

#include "engine/text_to_number.h"
#include "quarnel_version.h"

namespace quarnel {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::int16_t model_of(const std::string& text) {
    if (text == "1" || text == "constant") return 1;
    if (text == "2" || text == "function-lb") return 2;
    throw UsageError("model must be 1, 2, constant or function-lb, not " + quoted(text));
}

// The correctly rounded double of a decimal item, or why it is none.
double opening_of(const std::string& item, const std::string& where) {
    const std::string t = trimmed(item);
    if (!is_decimal_number(t)) {
        throw std::invalid_argument(where + ": " + quoted(t) + " is not a decimal number");
    }
    // On a whole decimal number the field rule is the correctly rounded
    // reading, with a signed zero below the range and infinity above it.
    const double value = read_number(t);
    if (std::isinf(value)) {
        throw std::invalid_argument(where + ": " + quoted(t) +
                                    " is beyond the range of numbers an opening can hold");
    }
    return value;
}

}  // namespace

InputSet InputTexts::inputs() const {
    InputSet all = texts;
    all["model"] = static_cast<double>(model);
    return all;
}

std::string quoted(const std::string& text) {
    constexpr std::size_t shown = 40;
    if (text.size() <= shown) return "\"" + text + "\"";
    return "\"" + text.substr(0, shown) + "...\" (" + std::to_string(text.size()) + " characters)";
}

void assign_input(const std::string& assignment, InputTexts& inputs) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos) throw UsageError("expected NAME=TEXT, got " + quoted(assignment));
    const std::string name = trimmed(assignment.substr(0, eq));
    const std::string text = trimmed(assignment.substr(eq + 1));
    if (name == "model") {
        inputs.model = model_of(text);
        return;
    }
    const std::string member = input_member(name);
    if (member.empty() || member == "model") throw UsageError("unknown name " + quoted(name));
    if (member == "orientation_weights") {
        try {
            read_orientation_weights(text);
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }
    }
    inputs.texts[member] = text;
    inputs.names[member] = name;
}

void assign_params_text(const std::string& path, std::string text, InputTexts& inputs) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        try {
            assign_input(line, inputs);
        } catch (const UsageError& e) {
            throw UsageError(path + ":" + std::to_string(number) + ": " + std::string(e.what()));
        }
    }
}

std::vector<std::string> ignored_character_notes(const InputTexts& inputs) {
    std::vector<std::string> notes;
    for (const auto& [member, name] : inputs.names) {
        // Inputs not read by the text-to-number rule: a word, and a modulus
        // read whole or refused.
        if (member == "orientation_weights" || member == "weibull_m") continue;
        const std::string& text = std::get<std::string>(inputs.texts.at(member));
        const NumberReading reading = read_number_text(text);
        if (!reading.ignored.empty()) {
            notes.push_back(name + ": " + quoted(text) + " read as " +
                            shortest_number_text(reading.value));
        }
    }
    return notes;
}

std::string params_file_text(const InputSet& inputs, std::int16_t model) {
    // A comment, which every reader of these files skips: old versions too.
    std::string text = std::string("# Quarnel ") + version + "\n";
    for (const std::string& member : input_member_names()) {
        if (member == "model") continue;
        const auto it = inputs.find(member);
        if (member == "orientation_weights") {
            // Written only when not classic, so that the files of classic
            // runs stay as they were.
            const auto* given =
                it == inputs.end() ? nullptr : std::get_if<std::string>(&it->second);
            const std::string word = given ? trimmed(*given) : "";
            if (!word.empty() && word != "classic") text += member + "=" + word + "\n";
            continue;
        }
        std::string value;
        if (member == "weibull_m") {
            // Written only when given, so that the files of classic runs stay
            // as they were.
            if (it == inputs.end()) continue;
            if (const double* number = std::get_if<double>(&it->second)) {
                if (*number != 0) text += member + "=" + shortest_number_text(*number) + "\n";
            } else if (const std::string given = trimmed(std::get<std::string>(it->second));
                       !given.empty() && read_weibull_m(given) != 0) {
                text += member + "=" + given + "\n";
            }
            continue;
        }
        if (it != inputs.end()) {
            if (const double* number = std::get_if<double>(&it->second)) {
                value = shortest_number_text(*number);
            } else {
                value = trimmed(std::get<std::string>(it->second));
                if (value.find_first_of("\r\n") != std::string::npos) {
                    value = shortest_number_text(read_number(value));
                }
            }
        }
        text += member + "=" + value + "\n";
    }
    return text + "model=" + std::to_string(model) + "\n";
}

ClockReading parse_clock(const std::string& text) {
    ClockReading c;
    char tail = 0;
    const int got = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &c.year, &c.month,
                                &c.day, &c.hour, &c.minute, &c.second, &tail);
    if (got != 6 || c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 || c.hour > 23 ||
        c.minute > 59 || c.second > 60 || c.hour < 0 || c.minute < 0 || c.second < 0) {
        throw UsageError("--at takes \"YYYY-MM-DD hh:mm:ss\", not " + quoted(text));
    }
    return c;
}

std::vector<double> parse_openings_list(const std::string& list) {
    std::vector<double> openings;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = list.find(',', from);
        openings.push_back(opening_of(
            list.substr(from, comma == std::string::npos ? std::string::npos : comma - from),
            "opening " + std::to_string(openings.size())));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return openings;
}

std::vector<double> parse_openings_file_text(const std::string& text) {
    std::vector<double> openings;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string t = trimmed(line);
        if (t.empty() || t[0] == '#') continue;
        openings.push_back(opening_of(t, "line " + std::to_string(number) + " (opening " +
                                             std::to_string(openings.size()) + ")"));
    }
    if (openings.empty()) throw std::invalid_argument("it holds no opening");
    return openings;
}

}  // namespace quarnel
