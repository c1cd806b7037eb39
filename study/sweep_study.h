#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "study/sweep.h"

namespace quarnel {

// Where a varied input's values go: an input of fiber type `fiber` (from 1)
// of a mix, or with fiber 0 an input of the run (a mix's shared input).
struct SweepTarget {
    std::size_t fiber = 0;
    std::string member;
};

// The target of a varied name in a sweep of single laws (`fibers` 0), where
// any input name is taken ("A" for Pmax), or of mixes of `fibers` types,
// where a shared input (Am, crack_xy, crack_zx, division) is varied by its
// name and a type's input as fiberN.NAME. Throws std::invalid_argument
// naming the name and the rule it breaks.
SweepTarget sweep_target(const std::string& name, std::size_t fibers);

// A model axis holds only 1 and 2. Takes the list items "1", "2",
// "constant" and "function-lb" as a single run's model takes them, the
// words becoming "1" and "2", and range points that are exactly 1 or 2.
// Throws std::invalid_argument naming the item:
// `model: "Constant" is not 1, 2, constant or function-lb`.
void check_model_axis(SweepAxis& axis);

// An axis and its target from NAME=VALUES, as parse_sweep_axis and
// sweep_target read them, a model axis checked by check_model_axis.
struct SweepVaried {
    SweepAxis axis;
    SweepTarget target;
};
SweepVaried parse_varied_input(const std::string& argument, std::size_t fibers);

// One line per list item whose number was followed by characters the
// text-to-number rule ignored: `kxy: "abc" read as 0`.
std::vector<std::string> axis_notes(const SweepAxis& axis);

}  // namespace quarnel
