#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "calculation_inputs.h"
#include "fiber_orientation.h"
#include "progress.h"

namespace quarnel {

// The per-cell tables of one run, addressed by (i, j, k) with i fastest, then
// j, then k; only the used part, i, j = 1..90 and k = 0..100, is held.
struct FiberTables {
    std::vector<std::int16_t> fiber_flag;
    std::vector<float> lb_table;
    std::vector<float> P1_table;
    std::vector<float> delta1_table;

    // Orientation cells whose fiber angle and snubbing angle are the same
    // doubles (by (j - 1) * 90 + (i - 1)), with each group's snubbing angle.
    // Cells of one group hold the same values at every level: the stepper
    // evaluates the pull-out law once per group. Left empty, every cell is
    // taken on its own.
    std::vector<std::uint16_t> group_of_pair;
    std::vector<double> group_theta_s;

    static constexpr std::size_t index(int i, int j, int k) {
        return static_cast<std::size_t>(i - 1) +
               static_cast<std::size_t>(angle_cells) *
                   (static_cast<std::size_t>(j - 1) +
                    static_cast<std::size_t>(angle_cells) * static_cast<std::size_t>(k));
    }
};

// The model setting: fills all four tables for every cell, showing
// "Model setting..." and then one progress text per centroid level, each
// followed by a yield. Returns false when a yield asked the run to stop.
bool build_fiber_tables(const CalculationInputs& inputs, FiberTables& tables,
                        ProgressSink& progress);

}  // namespace quarnel
