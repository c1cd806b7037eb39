#include "law_kernels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace quarnel::kernels {

const char* path_name(Path path) {
    switch (path) {
        case Path::avx512:
            return "avx512";
        case Path::avx2:
            return "avx2";
        case Path::portable:
            break;
    }
    return "portable";
}

bool path_supported(Path path) {
    switch (path) {
        case Path::portable:
            return true;
        case Path::avx2:
#if defined(QUARNEL_HAVE_AVX2_KERNEL)
            return __builtin_cpu_supports("avx2");
#else
            return false;
#endif
        case Path::avx512:
#if defined(QUARNEL_HAVE_AVX512_KERNEL)
            return __builtin_cpu_supports("avx512f");
#else
            return false;
#endif
    }
    return false;
}

Path best_path() {
    static const Path best = [] {
        if (path_supported(Path::avx512)) return Path::avx512;
        if (path_supported(Path::avx2)) return Path::avx2;
        return Path::portable;
    }();
    return best;
}

void evaluate_level(Path path, const LevelBlock& block) {
    switch (path) {
#if defined(QUARNEL_HAVE_AVX512_KERNEL)
        case Path::avx512:
            return evaluate_level_avx512(block);
#endif
#if defined(QUARNEL_HAVE_AVX2_KERNEL)
        case Path::avx2:
            return evaluate_level_avx2(block);
#endif
        default:
            return evaluate_level_portable(block);
    }
}

void weigh_by_strength(const LevelBlock& b, int start) {
    const StrengthScatter& s = *b.scatter;
    for (std::size_t gi = 0; gi < b.group_count; ++gi) {
        const std::uint16_t g = b.groups[gi];
        const int steps = b.bridged[g];
        if (steps <= start) continue;
        const std::size_t cell = s.place[g];
        double peak = s.peak_load[cell];
        double share = s.share[cell];
        double* const row = b.loads + static_cast<std::size_t>(g) * load_steps;
        double* const shares = s.shares + static_cast<std::size_t>(g) * load_steps;
        const BilinearCell& law = b.laws[g];
        ShareMemo* const memo = s.memo + static_cast<std::size_t>(g) * load_steps;
        for (int t = start; t < steps; ++t) {
            const double load = row[t - start];
            // The share changes only when the largest load does.
            if (load > peak) {
                peak = load;
                const bool rising = b.openings[t] <= law.delta1;
                // The key of the share's arguments: a rising share depends on
                // the opening too, another on the load alone.
                const double key = rising ? b.openings[t] : -1.0;
                ShareMemo& known = memo[t - start];
                if (known.load == load && known.key == key) {
                    share = known.share;
                } else {
                    double power = std::numeric_limits<double>::quiet_NaN();
                    if (rising) {
                        double& ratio_power = s.ratio_power[cell];
                        if (std::isnan(ratio_power)) {
                            ratio_power = std::pow(law.ratio / s.P_rupture[g], s.m);
                        }
                        power = ratio_power * s.opening_powers[t];
                    }
                    if (!std::isfinite(power)) power = std::pow(peak / s.P_rupture[g], s.m);
                    share = std::exp(-power);
                    known = {load, key, share};
                }
                if (share == 0) {
                    b.bridged[g] = static_cast<std::uint8_t>(t);
                    break;
                }
            }
            row[t - start] = load * share;
            shares[t - start] = share;
        }
        s.peak_load[cell] = peak;
        s.share[cell] = share;
    }
}

namespace {

template <bool Weighted>
void add_cell(const LevelBlock& b, int p, int start) {
    const std::uint16_t g = b.group_of_pair[p];
    const int steps = b.bridged[g];
    const double w_xy = b.w_xy[p % plane_cells];
    const double w_zx = b.w_zx[p / plane_cells];
    const double count = (w_xy * w_zx) * b.coefficient;
    const double* const row = b.loads + static_cast<std::size_t>(g) * load_steps;
    for (int t = start; t < steps; ++t) {
        b.P[t] += ((row[t - start] * w_xy) * w_zx) * b.coefficient;
        if constexpr (Weighted) {
            b.N_eff[t] += count * b.scatter->shares[static_cast<std::size_t>(g) * load_steps +
                                                    static_cast<std::size_t>(t - start)];
        } else {
            b.N_eff[t] += count;
        }
    }
}

template <bool Weighted>
void add_cells(const LevelBlock& b, int start) {
    for (int word = 0; word < pair_words; ++word) {
        for (std::uint64_t bits = b.cell_bits[word]; bits != 0; bits &= bits - 1) {
            add_cell<Weighted>(b, word * 64 + std::countr_zero(bits), start);
        }
    }
}

}  // namespace

// Step by step, as the law reads: a group's evaluation stops at its drop step.
void evaluate_level_portable(const LevelBlock& b) {
    for (int start = 0; start < b.steps; start += load_steps) {
        const int end = std::min(b.steps, start + load_steps);
        for (std::size_t gi = 0; gi < b.group_count; ++gi) {
            const std::uint16_t g = b.groups[gi];
            if (start > 0 && b.bridged[g] < start) continue;
            double* const row = b.loads + static_cast<std::size_t>(g) * load_steps;
            int t = start;
            for (; t < end; ++t) {
                const auto r = bilinear_response(b.laws[g], b.openings[t]);
                if (r.dropped) break;
                row[t - start] = r.load;
            }
            b.bridged[g] = static_cast<std::uint8_t>(t);
        }
        if (b.scatter != nullptr) {
            weigh_by_strength(b, start);
            add_cells<true>(b, start);
        } else {
            add_cells<false>(b, start);
        }
    }
}

}  // namespace quarnel::kernels
