#pragma once

// The level pass on vectors of doubles, one lane per step, for the
// translation units built for wider instruction sets. It includes nothing but
// the plain interface and the law, and defines everything with internal
// linkage, so that no code built for one instruction set can stand in for
// code of another at link time.

#include <immintrin.h>

#include "engine/law_kernels.h"

namespace quarnel::kernels {
namespace {

// Masks have 64-bit lanes, as comparisons of doubles give them; `long` has 32
// bits on Windows.
typedef double double4 __attribute__((vector_size(32)));
typedef std::int64_t long4 __attribute__((vector_size(32)));
typedef double double8 __attribute__((vector_size(64)));
typedef std::int64_t long8 __attribute__((vector_size(64)));

// The lanes of a comparison's result that are set, as bits.
template <int Lanes>
struct VectorTypes;
template <>
struct VectorTypes<4> {
    using D = double4;
    using L = long4;
    static unsigned lanes_set(L m) { return static_cast<unsigned>(_mm256_movemask_pd((__m256d)m)); }
};
template <>
struct VectorTypes<8> {
    using D = double8;
    using L = long8;
    static unsigned lanes_set(L m) { return _mm512_test_epi64_mask((__m512i)m, (__m512i)m); }
};

// Lanes * Vectors steps are summed per sweep over the cells: the sums of a
// sweep stay in registers while the cells pass.
template <int Lanes, int Vectors>
struct VectorPass {
    using D = typename VectorTypes<Lanes>::D;
    using L = typename VectorTypes<Lanes>::L;
    static constexpr int sweep = Lanes * Vectors;
    static_assert(load_steps % sweep == 0 && block_steps % load_steps == 0);

    static D load(const double* at) {
        D v;
        __builtin_memcpy(&v, at, sizeof v);
        return v;
    }
    static void store(double* at, D v) { __builtin_memcpy(at, &v, sizeof v); }
    static L lane_steps(int first) {
        L v{};
        for (int l = 0; l < Lanes; ++l) v[l] = first + l;
        return v;
    }

    // Loads of the steps from `start` (up to load_steps of them) for each
    // group still bridging, up to the first at which it is pulled out or
    // ruptures; a group dropped before `start` is left out.
    static void evaluate_groups(const LevelBlock& b, int start) {
        const int end = b.steps < start + load_steps ? b.steps : start + load_steps;
        const int vectors = (end - start + Lanes - 1) / Lanes;
        for (std::size_t gi = 0; gi < b.group_count; ++gi) {
            const std::uint16_t g = b.groups[gi];
            if (start > 0 && b.bridged[g] < start) continue;
            const BilinearCell& cell = b.laws[g];
            double* const row = b.loads + static_cast<std::size_t>(g) * load_steps;
            int drop = end;
            for (int v = 0; v < vectors; ++v) {
                const auto r = bilinear_response(cell, load(b.openings + start + v * Lanes));
                store(row + v * Lanes, r.load);
                if (const unsigned set = VectorTypes<Lanes>::lanes_set(r.dropped)) {
                    drop = start + v * Lanes + __builtin_ctz(set);
                    break;
                }
            }
            b.bridged[g] = static_cast<std::uint8_t>(drop < end ? drop : end);
        }
    }

    // Each cell adds its terms to the steps it bridges; lanes at or after its
    // drop step add nothing. A sum never holds -0 (it starts at +0, and a sum
    // of x and -x is +0), so adding +0 in a masked lane leaves its bits as
    // skipping the cell would. Weighted: the count is multiplied by each
    // step's share of intact fibers.
    template <bool Weighted>
    static void add_cells(const LevelBlock& b, int start, int loads_start) {
        D P[Vectors];
        D N[Vectors];
        L lanes[Vectors];
        for (int v = 0; v < Vectors; ++v) {
            P[v] = load(b.P + start + v * Lanes);
            N[v] = load(b.N_eff + start + v * Lanes);
            lanes[v] = lane_steps(v * Lanes);
        }
        const D zero{};
        const double coefficient = b.coefficient;
        for (int word = 0; word < pair_words; ++word) {
            for (std::uint64_t bits = b.cell_bits[word]; bits != 0; bits &= bits - 1) {
                const int p = word * 64 + __builtin_ctzll(bits);
                const std::uint16_t g = b.group_of_pair[p];
                const std::int64_t steps = static_cast<std::int64_t>(b.bridged[g]) - start;
                if (steps <= 0) continue;
                const double w_xy = b.w_xy[p % plane_cells];
                const double w_zx = b.w_zx[p / plane_cells];
                const std::size_t offset =
                    static_cast<std::size_t>(g) * load_steps + (start - loads_start);
                const double* const row = b.loads + offset;
                const D count = zero + (w_xy * w_zx) * coefficient;
#pragma GCC unroll 16
                for (int v = 0; v < Vectors; ++v) {
                    if (v * Lanes >= steps) break;
                    const L bridging = lanes[v] < steps;
                    const D term = ((load(row + v * Lanes) * w_xy) * w_zx) * coefficient;
                    P[v] += bridging ? term : zero;
                    if constexpr (Weighted) {
                        const D shares = load(b.scatter->shares + offset + v * Lanes);
                        N[v] += bridging ? count * shares : zero;
                    } else {
                        N[v] += bridging ? count : zero;
                    }
                }
            }
        }
        for (int v = 0; v < Vectors; ++v) {
            store(b.P + start + v * Lanes, P[v]);
            store(b.N_eff + start + v * Lanes, N[v]);
        }
    }

    static void run(const LevelBlock& b) {
        for (int half = 0; half < b.steps; half += load_steps) {
            evaluate_groups(b, half);
            const int end = b.steps < half + load_steps ? b.steps : half + load_steps;
            if (b.scatter != nullptr) {
                weigh_by_strength(b, half);
                for (int start = half; start < end; start += sweep) {
                    add_cells<true>(b, start, half);
                }
            } else {
                for (int start = half; start < end; start += sweep) {
                    add_cells<false>(b, start, half);
                }
            }
        }
    }
};

}  // namespace
}  // namespace quarnel::kernels
