#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/calculation_inputs.h"
#include "engine/fiber_orientation.h"
#include "engine/progress.h"

namespace quarnel {

inline constexpr int pairs_per_level = angle_cells * angle_cells;

// The orientation cell (i, j) of a level, (j - 1) * 90 + (i - 1): i fastest.
inline constexpr int pair_index(int i, int j) {
    return (j - 1) * angle_cells + (i - 1);
}

// Orientation cells whose fiber angle and snubbing angle are the same doubles
// have the same embedded length, corner values and rupture load at every
// level, so the model setting and the law compute each such group once per
// level. With the crack angles at 0 the symmetries of |cos phi| |cos psi|
// leave about 1,000 groups of the 8,100 cells.
struct OrientationGroups {
    std::vector<std::uint16_t> group_of_pair;  // by pair_index
    std::vector<double> cos_theta;             // by group
    std::vector<double> theta_s;               // by group
    std::size_t size() const { return theta_s.size(); }
};
OrientationGroups group_orientations(const CalculationInputs& inputs);

// The per-cell tables of one run, held once per orientation group and level;
// the accessors address them by cell (i, j, k), i, j = 1..90, k = 0..100.
// A group is held from the lowest level at which its fibers reach the crack
// (lb > 0) up to level 100; below that its cells have lb = 0 and corner
// values of 0. The bridging state of the cells belongs to the law that runs
// over them.
struct FiberTables {
    OrientationGroups groups;
    std::vector<int> first_level;    // by group; centroid_levels when it never reaches
    std::vector<std::size_t> start;  // by group: its first level's place in the values
    std::vector<float> lb;           // by group, then level
    std::vector<float> P1;
    std::vector<float> delta1;

    // The place of (level k, group g) in the values, or npos when k lies below
    // the group's first level.
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t place(int k, std::size_t g) const {
        return k < first_level[g] ? npos : start[g] + static_cast<std::size_t>(k - first_level[g]);
    }
    float group_lb(int k, std::size_t g) const { return value(lb, k, g); }
    float group_P1(int k, std::size_t g) const { return value(P1, k, g); }
    float group_delta1(int k, std::size_t g) const { return value(delta1, k, g); }

    std::size_t group_of(int i, int j) const { return groups.group_of_pair[pair_index(i, j)]; }
    float lb_table(int i, int j, int k) const { return group_lb(k, group_of(i, j)); }
    float P1_table(int i, int j, int k) const { return group_P1(k, group_of(i, j)); }
    float delta1_table(int i, int j, int k) const { return group_delta1(k, group_of(i, j)); }

  private:
    float value(const std::vector<float>& v, int k, std::size_t g) const {
        const std::size_t at = place(k, g);
        return at == npos ? 0.0f : v[at];
    }
};

// The model setting: fills the tables for every cell, showing
// "Model setting..." and then one progress text per centroid level, each
// followed by a yield. Returns false when a yield asked the run to stop.
bool build_fiber_tables(const CalculationInputs& inputs, FiberTables& tables,
                        ProgressSink& progress);

}  // namespace quarnel
