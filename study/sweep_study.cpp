#include "sweep_study.h"

#include <stdexcept>

#include "engine/text_to_number.h"
#include "study/fiber_mix.h"

namespace quarnel {

namespace {

// A range's points are monotonic and those between two different ends lie
// strictly between them, so the ends and the inner points next to them are
// all 1 or 2 only when every point is.
void check_model_points(const SweepAxis& axis) {
    const std::size_t n = axis.size();
    for (const std::size_t i : {std::size_t{0}, std::size_t{1}, n - 2, n - 1}) {
        if (i >= n) continue;
        const double x = axis.number(i);
        if (x != 1 && x != 2) {
            throw std::invalid_argument(axis.name + ": the range's point " +
                                        shortest_number_text(x) + " is not 1 or 2");
        }
    }
}

}  // namespace

SweepTarget sweep_target(const std::string& name, std::size_t fibers) {
    const auto refuse = [&](const std::string& rule) {
        throw std::invalid_argument(name + ": " + rule);
    };
    const std::size_t dot = name.find('.');
    const bool typed = name.rfind("fiber", 0) == 0 && dot != std::string::npos;
    if (fibers == 0) {
        if (const std::string member = input_member(name); !member.empty()) return {0, member};
        if (typed) refuse("only a mix has fiber types");
        refuse("unknown name");
    }
    if (typed) {
        const std::string number = name.substr(5, dot - 5);
        const std::string rest = name.substr(dot + 1);
        const bool digits = !number.empty() && number.size() < 6 &&
                            number.find_first_not_of("0123456789") == std::string::npos;
        const std::size_t n = digits ? std::stoul(number) : 0;
        if (n < 1 || n > fibers) refuse("the mix has fiber types 1 to " + std::to_string(fibers));
        if (!is_fiber_input(rest)) refuse("\"" + rest + "\" is not an input of a fiber type");
        return {n, input_member(rest)};
    }
    if (is_shared_mix_input(name)) return {0, input_member(name)};
    if (!input_member(name).empty()) {
        refuse("in a mix each type has its own " + name + "; vary it as fiber1." + name +
               ", fiber2." + name + ", ...");
    }
    refuse("unknown name");
    return {};
}

void check_model_axis(SweepAxis& axis) {
    auto* items = std::get_if<std::vector<std::string>>(&axis.values);
    if (!items) return check_model_points(axis);
    for (std::string& item : *items) {
        if (item == "constant") item = "1";
        if (item == "function-lb") item = "2";
        if (item != "1" && item != "2") {
            throw std::invalid_argument(axis.name + ": \"" + item +
                                        "\" is not 1, 2, constant or function-lb");
        }
    }
}

SweepVaried parse_varied_input(const std::string& argument, std::size_t fibers) {
    SweepVaried varied;
    // The name's rules come before those of the values, as the name is read first.
    varied.axis = parse_sweep_axis(argument, [&](const std::string& name) {
        varied.target = sweep_target(name, fibers);
        return true;
    });
    if (varied.target.member == "model") check_model_axis(varied.axis);
    return varied;
}

std::vector<std::string> axis_notes(const SweepAxis& axis) {
    std::vector<std::string> notes;
    const auto* items = std::get_if<std::vector<std::string>>(&axis.values);
    if (!items) return notes;
    for (const std::string& item : *items) {
        const NumberReading reading = read_number_text(item);
        if (!reading.ignored.empty()) {
            notes.push_back(axis.name + ": \"" + item + "\" read as " +
                            shortest_number_text(reading.value));
        }
    }
    return notes;
}

}  // namespace quarnel
