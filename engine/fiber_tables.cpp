#include "fiber_tables.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "pullout_law.h"

namespace quarnel {

namespace {

constexpr int pairs_per_level = angle_cells * angle_cells;

std::uint64_t bits_of(double x) {
    std::uint64_t b = 0;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Orientation cells whose fiber angle and snubbing angle are the same doubles
// have the same embedded length and corner values at every level, so each
// such group is computed once per level. With the crack angles at 0 the
// symmetries of |cos phi| |cos psi| leave about 1,000 groups of the 8,100.
struct OrientationGroups {
    std::vector<int> group_of_pair;  // by (j - 1) * 90 + (i - 1)
    std::vector<double> cos_theta;
    std::vector<double> theta_s;
};

OrientationGroups group_orientations(const CalculationInputs& inputs) {
    OrientationGroups g;
    g.group_of_pair.resize(pairs_per_level);
    struct KeyHash {
        std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& k) const {
            return std::hash<std::uint64_t>()(k.first * 0x9E3779B97F4A7C15ull ^ k.second);
        }
    };
    std::unordered_map<std::pair<std::uint64_t, std::uint64_t>, int, KeyHash> index;
    index.reserve(pairs_per_level);
    for (int j = 1; j <= angle_cells; ++j) {
        for (int i = 1; i <= angle_cells; ++i) {
            const int phi = cell_angle_deg(i);
            const int psi = cell_angle_deg(j);
            const double theta = fiber_angle(inputs, phi, psi);
            const double theta_s = snubbing_angle(inputs, phi, psi);
            const auto [it, added] = index.try_emplace({bits_of(theta), bits_of(theta_s)},
                                                       static_cast<int>(g.cos_theta.size()));
            if (added) {
                g.cos_theta.push_back(std::cos(theta));
                g.theta_s.push_back(theta_s);
            }
            g.group_of_pair[(j - 1) * angle_cells + (i - 1)] = it->second;
        }
    }
    return g;
}

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

bool build_fiber_tables(const CalculationInputs& inputs, FiberTables& tables,
                        ProgressSink& progress) {
    progress.show_status("Model setting...");
    if (!progress.yield()) return false;

    tables.fiber_flag.assign(cell_count, 0);
    tables.lb_table.resize(cell_count);
    tables.P1_table.resize(cell_count);
    tables.delta1_table.resize(cell_count);

    const OrientationGroups groups = group_orientations(inputs);
    tables.group_of_pair.assign(groups.group_of_pair.begin(), groups.group_of_pair.end());
    tables.group_theta_s = groups.theta_s;
    const std::size_t group_count = groups.cos_theta.size();
    CornerCache corners(inputs, group_count);
    std::vector<float> group_lb(group_count);
    std::vector<Corner> group_corner(group_count);

    for (int k = 0; k < centroid_levels; ++k) {
        progress.show_status(model_setting_text(k));
        if (!progress.yield()) return false;

        const float z = z_level(inputs.Lf, k);
        for (std::size_t g = 0; g < group_count; ++g) {
            group_lb[g] = embedded_length_from_cos(z, inputs.Lf, groups.cos_theta[g]);
            // A cell that does not reach the crack is dropped at the first
            // step before its corner values are read; 0 stands in for them,
            // which also keeps 0 from being raised to a negative power.
            group_corner[g] =
                group_lb[g] > 0 ? corners.corner(g, group_lb[g], groups.theta_s[g]) : Corner{};
        }
        const std::size_t level = static_cast<std::size_t>(k) * pairs_per_level;
        for (int p = 0; p < pairs_per_level; ++p) {
            const int g = groups.group_of_pair[p];
            tables.fiber_flag[level + p] = 1;
            tables.lb_table[level + p] = group_lb[g];
            tables.P1_table[level + p] = group_corner[g].P1;
            tables.delta1_table[level + p] = group_corner[g].delta1;
        }
    }
    return true;
}

}  // namespace quarnel
