#include "fiber_tables.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/pullout_law.h"

namespace quarnel {

namespace {

std::uint64_t bits_of(double x) {
    std::uint64_t b = 0;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Pairs with the same |cos phi| |cos psi|, the same folded crack-angle
// cosines and the same offset get the same fiber angle and snubbing angle,
// so the arc tangents are taken once per such key.
struct PairKey {
    std::uint64_t X_theta;
    std::uint64_t X_s;
    bool offset;
    bool operator==(const PairKey&) const = default;
};

// The distinct keys in order of first appearance, found through open
// addressing over a power of two at least twice the pair count.
class PairKeys {
  public:
    PairKeys() : slots_(1 << 14, -1) { keys_.reserve(pairs_per_level); }
    // The key's number, given it when it is new.
    int number(const PairKey& key) {
        std::uint64_t h = (key.X_theta * 0x9E3779B97F4A7C15ull) ^ (key.X_s + key.offset);
        h ^= h >> 29;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = h & mask;; at = (at + 1) & mask) {
            if (slots_[at] < 0) {
                slots_[at] = static_cast<int>(keys_.size());
                keys_.push_back(key);
                return slots_[at];
            }
            if (keys_[slots_[at]] == key) return slots_[at];
        }
    }
    const std::vector<PairKey>& keys() const { return keys_; }

  private:
    std::vector<int> slots_;
    std::vector<PairKey> keys_;
};

// compute_corner with its exponentials reused while the rounded snubbing
// coefficient of a group stays the same from level to level (always, when
// fp1 and fd1 are 0): the same arguments give the same doubles.
class CornerCache {
  public:
    CornerCache(const CalculationInputs& inputs, std::size_t groups)
        : inputs_(inputs), entries_(groups) {}

    Corner corner(std::size_t group, float lb, double theta_s) {
        Entry& e = entries_[group];
        const SnubbingCoefficients f = snubbing_coefficients(inputs_, lb);
        if (!e.valid || !same(f.fp, e.fp)) e.exp_fp = std::exp(f.fp * theta_s);
        if (!e.valid || !same(f.fd, e.fd)) e.exp_fd = std::exp(f.fd * theta_s);
        e.fp = f.fp;
        e.fd = f.fd;
        e.valid = true;
        return snubbed_corner(base_values(inputs_, lb), e.exp_fp, e.exp_fd);
    }

  private:
    struct Entry {
        bool valid = false;
        float fp = 0;
        float fd = 0;
        double exp_fp = 0;
        double exp_fd = 0;
    };
    static bool same(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

    const CalculationInputs& inputs_;
    std::vector<Entry> entries_;
};

}  // namespace

OrientationGroups group_orientations(const CalculationInputs& inputs) {
    const double half = pi / 2;
    // Per angle index: |cos| of the cell angle, and the crack-plane angle
    // folded back once beyond a right angle, as snubbing_angle does it.
    double cos_cell[angle_cells + 1];
    double cos_a[angle_cells + 1];
    double cos_b[angle_cells + 1];
    bool over_a[angle_cells + 1];
    bool over_b[angle_cells + 1];
    for (int n = 1; n <= angle_cells; ++n) {
        const double angle = cell_angle_deg(n) * inputs.deg_to_rad;
        cos_cell[n] = std::fabs(std::cos(angle));
        double a = inputs.crack_xy_rad + angle;
        double b = inputs.crack_zx_rad + angle;
        over_a[n] = a > half;
        over_b[n] = b > half;
        if (over_a[n]) a -= half;
        if (over_b[n]) b -= half;
        cos_a[n] = std::fabs(std::cos(a));
        cos_b[n] = std::fabs(std::cos(b));
    }

    OrientationGroups g;
    g.group_of_pair.resize(pairs_per_level);
    PairKeys keys;
    for (int j = 1; j <= angle_cells; ++j) {
        for (int i = 1; i <= angle_cells; ++i) {
            const PairKey key{bits_of(cos_cell[i] * cos_cell[j]), bits_of(cos_b[j] * cos_a[i]),
                              over_a[i] || over_b[j]};
            g.group_of_pair[pair_index(i, j)] = static_cast<std::uint16_t>(keys.number(key));
        }
    }
    g.cos_theta.reserve(keys.keys().size());
    g.theta_s.reserve(keys.keys().size());
    for (const PairKey& key : keys.keys()) {
        double X = 0;
        std::memcpy(&X, &key.X_theta, sizeof X);
        g.cos_theta.push_back(std::cos(angle_of_cosine(X)));
        std::memcpy(&X, &key.X_s, sizeof X);
        g.theta_s.push_back(X == 1 ? 0 : angle_of_cosine(X) + (key.offset ? half : 0));
    }
    return g;
}

bool build_fiber_tables(const CalculationInputs& inputs, FiberTables& tables,
                        ProgressSink& progress) {
    progress.show_status("Model setting...");
    if (!progress.yield()) return false;

    tables.groups = group_orientations(inputs);
    const OrientationGroups& groups = tables.groups;
    const std::size_t group_count = groups.size();
    // The embedded length only grows from level to level (z does, and every
    // rounding is monotonic), so a group reaches the crack from its first
    // level on; levels above it are held whatever their lb.
    tables.first_level.assign(group_count, centroid_levels);
    tables.start.assign(group_count, 0);
    std::size_t held = 0;
    for (std::size_t g = 0; g < group_count; ++g) {
        int k = 0;
        while (k < centroid_levels && !(embedded_length_from_cos(z_level(inputs.Lf, k), inputs.Lf,
                                                                 groups.cos_theta[g]) > 0)) {
            ++k;
        }
        tables.first_level[g] = k;
        tables.start[g] = held;
        held += static_cast<std::size_t>(centroid_levels - k);
    }
    tables.lb.resize(held);
    tables.P1.resize(held);
    tables.delta1.resize(held);
    CornerCache corners(inputs, group_count);

    for (int k = 0; k < centroid_levels; ++k) {
        progress.show_status(model_setting_text(k));
        if (!progress.yield()) return false;

        const float z = z_level(inputs.Lf, k);
        for (std::size_t g = 0; g < group_count; ++g) {
            const std::size_t at = tables.place(k, g);
            if (at == FiberTables::npos) continue;
            const float lb = embedded_length_from_cos(z, inputs.Lf, groups.cos_theta[g]);
            // A cell that does not reach the crack is dropped at the first
            // step before its corner values are read; 0 stands in for them,
            // which also keeps 0 from being raised to a negative power.
            const Corner corner = lb > 0 ? corners.corner(g, lb, groups.theta_s[g]) : Corner{};
            tables.lb[at] = lb;
            tables.P1[at] = corner.P1;
            tables.delta1[at] = corner.delta1;
        }
    }
    return true;
}

}  // namespace quarnel
