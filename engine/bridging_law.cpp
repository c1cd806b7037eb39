#include "bridging_law.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "engine/crack_openings.h"
#include "engine/pullout_law.h"

namespace quarnel {

// What does not change from block to block: the weights of both planes, the
// rupture load of every group, and per level the groups and the cells that
// still bridge, the cells in loop order. A group dropped in a block is taken
// out, with its cells, after that block.
class BridgingLaw::Pass {
  public:
    Pass(const CalculationInputs& inputs, const FiberTables& tables, kernels::Path path)
        : tables_(tables),
          path_(path),
          coefficient_(inputs.fiber_number_coefficient),
          P_rupture_(tables.groups.size()),
          laws_(tables.groups.size()),
          loads_(
              std::make_unique_for_overwrite<double[]>(tables.groups.size() * kernels::load_steps)),
          bridged_(tables.groups.size()),
          levels_(centroid_levels) {
        const Orientation orientation = orientation_setup(inputs);
        for (int n = 1; n <= angle_cells; ++n) {
            w_xy_[n - 1] = w_xy(inputs, orientation, n);
            w_zx_[n - 1] = w_zx(inputs, orientation, n);
        }
        const OrientationGroups& groups = tables.groups;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            P_rupture_[g] = rupture_load(inputs, groups.theta_s[g]);
        }
        if (inputs.has_strength_scatter()) {
            // The shares take the place of the rupture test, which no load
            // passes.
            law_P_rupture_.assign(groups.size(), std::numeric_limits<double>::infinity());
            place_.assign(groups.size(), 0);
            peak_load_.assign(tables.lb.size(), 0.0);
            share_.assign(tables.lb.size(), 1.0);
            ratio_power_.assign(tables.lb.size(), std::numeric_limits<double>::quiet_NaN());
            shares_ = std::make_unique_for_overwrite<double[]>(groups.size() * kernels::load_steps);
            scatter_.m = inputs.weibull_m;
            scatter_.P_rupture = P_rupture_.data();
            scatter_.place = place_.data();
            scatter_.peak_load = peak_load_.data();
            scatter_.share = share_.data();
            scatter_.ratio_power = ratio_power_.data();
            scatter_.opening_powers = opening_powers_;
            scatter_.shares = shares_.get();
            memo_.assign(groups.size() * kernels::load_steps,
                         {std::numeric_limits<double>::quiet_NaN(), 0.0, 0.0});
            scatter_.memo = memo_.data();
        } else {
            law_P_rupture_ = P_rupture_;
        }
        // The pairs of each group, so that a group's cells are found at once.
        const std::size_t group_count = groups.size();
        pair_start_.assign(group_count + 1, 0);
        for (const std::uint16_t g : groups.group_of_pair) ++pair_start_[g + 1];
        for (std::size_t g = 0; g < group_count; ++g) pair_start_[g + 1] += pair_start_[g];
        pairs_of_group_.resize(pairs_per_level);
        {
            std::vector<int> next(pair_start_.begin(), pair_start_.end() - 1);
            for (int p = 0; p < pairs_per_level; ++p) {
                pairs_of_group_[next[groups.group_of_pair[p]]++] = static_cast<std::uint16_t>(p);
            }
        }
        // Cells with lb = 0 are dropped at the first step, whose opening is
        // at least 0, before they add anything: they are left out from the
        // start. A level's cell set is the one below it with the groups that
        // begin or cease to reach the crack at this level changed.
        cell_bits_.assign(static_cast<std::size_t>(kernels::pair_words) * centroid_levels, 0);
        live_groups_.reserve(group_count * centroid_levels);
        for (int k = 0; k < centroid_levels; ++k) {
            Level& level = levels_[k];
            level.cell_bits = cell_bits_.data() + static_cast<std::size_t>(k) * kernels::pair_words;
            if (k > 0) {
                std::copy_n(level.cell_bits - kernels::pair_words, kernels::pair_words,
                            level.cell_bits);
            }
            level.group_start = live_groups_.size();
            for (std::size_t g = 0; g < group_count; ++g) {
                const bool reaches = tables.group_lb(k, g) > 0;
                if (reaches) live_groups_.push_back(static_cast<std::uint16_t>(g));
                if (reaches != (k > 0 && tables.group_lb(k - 1, g) > 0)) {
                    set_cells(level, g, reaches);
                }
            }
            level.group_count = live_groups_.size() - level.group_start;
        }
    }

    void run_block(const double* openings, int steps, double* P, double* N_eff) {
        if (!place_.empty()) {
            for (int t = 0; t < steps; ++t) opening_powers_[t] = std::pow(openings[t], scatter_.m);
        }
        std::fill(P, P + kernels::block_steps, 0.0);
        std::fill(N_eff, N_eff + kernels::block_steps, 0.0);
        for (int k = 0; k < centroid_levels; ++k) {
            Level& level = levels_[k];
            if (level.group_count == 0) continue;
            std::uint16_t* const live = live_groups_.data() + level.group_start;
            for (std::size_t gi = 0; gi < level.group_count; ++gi) {
                const std::uint16_t g = live[gi];
                const std::size_t at = tables_.place(k, g);
                const PulloutCell cell{tables_.lb[at], tables_.P1[at], tables_.delta1[at]};
                laws_[g] = bilinear_cell(cell, law_P_rupture_[g]);
                if (!place_.empty()) place_[g] = at;
            }
            kernels::LevelBlock block;
            block.openings = openings;
            block.steps = steps;
            block.groups = live;
            block.group_count = level.group_count;
            block.laws = laws_.data();
            block.loads = loads_.get();
            block.bridged = bridged_.data();
            block.cell_bits = level.cell_bits;
            block.group_of_pair = tables_.groups.group_of_pair.data();
            block.w_xy = w_xy_;
            block.w_zx = w_zx_;
            block.coefficient = coefficient_;
            block.P = P;
            block.N_eff = N_eff;
            block.scatter = place_.empty() ? nullptr : &scatter_;
            kernels::evaluate_level(path_, block);
            drop_groups(level, steps);
        }
    }

  private:
    struct Level {
        std::size_t group_start = 0;  // the groups that still bridge, in live_groups_
        std::size_t group_count = 0;
        std::uint64_t* cell_bits = nullptr;  // their cells
    };

    void set_cells(Level& level, std::size_t g, bool bridging) {
        for (int at = pair_start_[g]; at < pair_start_[g + 1]; ++at) {
            const int p = pairs_of_group_[at];
            const std::uint64_t bit = std::uint64_t{1} << (p % 64);
            if (bridging) {
                level.cell_bits[p / 64] |= bit;
            } else {
                level.cell_bits[p / 64] &= ~bit;
            }
        }
    }

    void drop_groups(Level& level, int steps) {
        std::uint16_t* const live = live_groups_.data() + level.group_start;
        std::size_t kept = 0;
        for (std::size_t gi = 0; gi < level.group_count; ++gi) {
            const std::uint16_t g = live[gi];
            live[kept] = g;
            if (bridged_[g] == steps) {
                ++kept;
            } else {
                set_cells(level, g, false);
            }
        }
        level.group_count = kept;
    }

    const FiberTables& tables_;
    kernels::Path path_;
    double coefficient_;
    double w_xy_[angle_cells];           // by i - 1
    double w_zx_[angle_cells];           // by j - 1
    std::vector<double> P_rupture_;      // by group
    std::vector<double> law_P_rupture_;  // by group: the bi-linear law's rupture test
    std::vector<BilinearCell> laws_;     // by group, for the level at hand
    // With scattered strength: each group's cell at the level at hand, the
    // largest load and share of every cell, and the shares of a block's steps.
    std::vector<std::size_t> place_;
    std::vector<double> peak_load_;
    std::vector<double> share_;
    std::vector<double> ratio_power_;
    std::vector<kernels::ShareMemo> memo_;
    double opening_powers_[kernels::block_steps] = {};
    std::unique_ptr<double[]> shares_;
    kernels::StrengthScatter scatter_;
    // By group, a block's steps each; written before it is read, and left
    // uninitialised so that only the rows in use are ever touched.
    std::unique_ptr<double[]> loads_;
    std::vector<std::uint8_t> bridged_;  // by group
    std::vector<Level> levels_;
    std::vector<int> pair_start_;                // by group, into pairs_of_group_
    std::vector<std::uint16_t> pairs_of_group_;  // pairs in group order
    std::vector<std::uint64_t> cell_bits_;       // by level, kernels::pair_words each
    std::vector<std::uint16_t> live_groups_;     // by level, a slice each
};

namespace {

// The openings, once they are known to be finite and not negative.
kernels::Path runnable(kernels::Path path) {
    if (!kernels::path_supported(path)) {
        throw std::invalid_argument(std::string("the ") + kernels::path_name(path) +
                                    " version of the law cannot run on this processor");
    }
    return path;
}

std::vector<double> checked(std::vector<double> openings) {
    if (const auto n = first_invalid_opening(openings)) {
        throw std::invalid_argument("opening " + std::to_string(*n) +
                                    " is negative or not a finite number");
    }
    return openings;
}

}  // namespace

BridgingLaw::BridgingLaw(const CalculationInputs& inputs, const FiberTables& tables,
                         std::vector<double> openings, kernels::Path path)
    : openings_(checked(std::move(openings))),
      pass_(std::make_unique<Pass>(inputs, tables, runnable(path))),
      Am_(inputs.Am),
      total_fiber_(inputs.total_fiber) {}

BridgingLaw::~BridgingLaw() = default;

void BridgingLaw::compute_block() {
    block_start_ = next_;
    block_size_ = std::min<std::size_t>(kernels::block_steps, openings_.size() - next_);
    double openings[kernels::block_steps] = {};
    std::copy_n(openings_.begin() + static_cast<std::ptrdiff_t>(next_), block_size_, openings);
    pass_->run_block(openings, static_cast<int>(block_size_), P_, N_eff_);
}

StepValues BridgingLaw::next() {
    if (next_ >= block_start_ + block_size_) compute_block();
    const std::size_t t = next_ - block_start_;
    StepValues s;
    s.n = static_cast<int>(next_);
    s.Wcr = openings_[next_];
    s.P = P_[t];
    s.sigma = s.P / Am_;
    s.N_eff = N_eff_[t];
    s.effective_fiber_ratio = s.N_eff / total_fiber_;
    if (s.P >= P_top_) {
        P_top_ = s.P;
        sigma_top_ = s.sigma;
    }
    s.P_top = P_top_;
    s.sigma_top = sigma_top_;
    ++next_;
    return s;
}

std::vector<StepValues> bridging_law(const CalculationInputs& inputs, const FiberTables& tables,
                                     const std::vector<double>& openings, kernels::Path path) {
    BridgingLaw law(inputs, tables, openings, path);
    std::vector<StepValues> steps;
    steps.reserve(law.steps());
    while (!law.finished()) steps.push_back(law.next());
    return steps;
}

}  // namespace quarnel
