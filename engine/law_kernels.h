#pragma once

// The inner pass of the bridging law over one centroid level for a block of
// crack-opening steps, in one portable version and in versions for wider
// vector instruction sets, chosen at run time. Every version gives the same
// doubles: each step's sums receive their terms in cell order, and only the
// additions of different steps run side by side.

#include <cstddef>
#include <cstdint>

#include "engine/bilinear_law.h"

namespace quarnel::kernels {

// Steps computed in one pass over the cells, and steps whose loads are held at
// once: a block's loads are formed and summed in halves, so that the loads of
// every group of a level take little memory.
inline constexpr int block_steps = 64;
inline constexpr int load_steps = 32;

// Orientation cells per plane, and the words of a level's set of bridging
// pairs (j - 1) * 90 + (i - 1).
inline constexpr int plane_cells = 90;
inline constexpr int pair_words = (plane_cells * plane_cells + 63) / 64;

// Fiber strength that scatters by a Weibull law of modulus m, its scale the
// rupture load: the share of a cell's fibers still intact at an opening is
// exp(-(L / P_rupture)^m), L the largest load the cell's fibers have carried
// at the openings so far (0 before the first). A cell's load and count are
// weighted by its share; it takes no part in the deterministic rupture, and
// a cell whose share reaches 0 is dropped, as it adds 0 from then on.
//
// (L / P_rupture)^m is formed as pow(L / P_rupture, m), except where L is a
// load Wcr r of the rising branch: there it is (r / P_rupture)^m Wcr^m, the
// first factor once per cell and the second once per opening, so that a step
// costs one exponential per cell. Where either factor leaves the range of
// doubles the power is formed whole.
// The last share a group formed at a step of the block's half: a cell of the
// group at another level with the same load there (the rule's arguments are
// then the same) takes it without an exponential.
struct ShareMemo {
    double load = 0;
    double key = 0;  // the opening for a rising load, -1 for another
    double share = 0;
};
struct StrengthScatter {
    double m = 0;
    const double* P_rupture = nullptr;       // by group
    const double* opening_powers = nullptr;  // Wcr^m of the block's openings
    const std::size_t* place = nullptr;      // by group: the level's cell in the values by cell
    double* peak_load = nullptr;             // by cell: L, from 0
    double* share = nullptr;                 // by cell: the share at L, from 1
    double* ratio_power = nullptr;           // by cell: (r / P_rupture)^m, NaN until needed
    double* shares = nullptr;   // by group, load_steps each: the shares of the steps held
    ShareMemo* memo = nullptr;  // by group, load_steps each; loads not a number at first
};

// One level's share of a block. The kernel evaluates the law of each live
// group for the block's openings, stores its loads and the number of the
// block's steps it bridges (its drop step within the block, or `steps`),
// then adds every listed cell's terms to the sums of the steps it bridges.
struct LevelBlock {
    const double* openings = nullptr;       // block_steps values; those from `steps` on are padding
    int steps = 0;                          // 1 .. block_steps
    const std::uint16_t* groups = nullptr;  // the level's live groups
    std::size_t group_count = 0;
    const BilinearCell* laws = nullptr;  // by group
    double* loads = nullptr;             // by group, load_steps each
    std::uint8_t* bridged = nullptr;     // by group
    // The level's bridging pairs as bits, pair p at bit p % 64 of word p / 64:
    // visited in increasing p, that is in (j, i) order.
    const std::uint64_t* cell_bits = nullptr;
    const std::uint16_t* group_of_pair = nullptr;
    // The orientation weights: of the x-y cell i - 1 = pair % 90 and the z-x
    // cell j - 1 = pair / 90. A bridging cell holds (w_xy w_zx) fiber_number_coefficient
    // fibers and adds ((load w_xy) w_zx) fiber_number_coefficient.
    const double* w_xy = nullptr;
    const double* w_zx = nullptr;
    double coefficient = 0;   // fiber_number_coefficient
    double* P = nullptr;      // block_steps sums
    double* N_eff = nullptr;  // block_steps sums
    // With scattered strength, the loads are weighted by the shares once
    // evaluated, and a cell adds count * share to N_eff.
    const StrengthScatter* scatter = nullptr;
};

enum class Path { portable, avx2, avx512 };

const char* path_name(Path path);
// Whether this build has the path and this processor can run it.
bool path_supported(Path path);
// The widest supported path.
Path best_path();

void evaluate_level(Path path, const LevelBlock& block);

// The shares of the groups' fibers at the steps from `start` whose loads are
// held, by the rule of StrengthScatter: each load is multiplied by its share
// and the share stored beside it. Shared by every version, in the portable
// build, so that all of them take the same shares.
void weigh_by_strength(const LevelBlock& block, int start);

// The versions themselves.
void evaluate_level_portable(const LevelBlock& block);
void evaluate_level_avx2(const LevelBlock& block);
void evaluate_level_avx512(const LevelBlock& block);

}  // namespace quarnel::kernels
