#pragma once

// A table of runs: one run per row of a CSV whose header names the inputs,
// so that samples and designs made elsewhere run as a sweep of zipped lists.

#include <cstddef>
#include <string>
#include <vector>

#include "study/sweep.h"
#include "study/sweep_study.h"

namespace quarnel {

struct RunTable {
    std::vector<SweepAxis> axes;  // one list of field texts per column, as zipped --vary lists
    std::vector<SweepTarget> targets;
    // Cells whose number left characters unread, by place:
    // `runs.csv line 3, column 2 (kxy): "2mm" read as 2`.
    std::vector<std::string> notes;
};

// Reads the CSV text of the file `file` (its name for the messages) for a
// sweep of single laws (`fibers` 0) or of mixes of `fibers` types: a header
// of names as sweep_target takes them, then a row per run of field texts.
// Cells are trimmed of blanks; a cell may be quoted ("a,b", with "" for a
// quote); blank lines, a byte-order mark and CR line ends are skipped. A
// model cell takes 1, 2, constant or function-lb, an orientation_weights
// cell classic or exact. Throws std::invalid_argument naming the file, the
// line and the column: `runs.csv line 4, column 2 (Vf): the cell is empty`.
RunTable read_run_table(const std::string& text, const std::string& file, std::size_t fibers);

}  // namespace quarnel
