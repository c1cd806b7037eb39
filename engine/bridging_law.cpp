#include "bridging_law.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "engine/crack_openings.h"
#include "engine/pullout_law.h"

namespace quarnel {

// What does not change from block to block: the weights of every pair, the
// rupture load of every group, and per level the groups and the cells that
// still bridge, the cells in loop order. A group dropped in a block is taken
// out, with its cells, after that block.
class BridgingLaw::Pass {
  public:
    Pass(const CalculationInputs& inputs, const FiberTables& tables, kernels::Path path)
        : tables_(tables),
          path_(path),
          coefficient_(inputs.fiber_number_coefficient),
          weights_(pairs_per_level),
          P_rupture_(tables.groups.size()),
          laws_(tables.groups.size()),
          loads_(tables.groups.size() * kernels::block_steps),
          bridged_(tables.groups.size()),
          levels_(centroid_levels) {
        const Orientation orientation = orientation_setup(inputs);
        double wxy[angle_cells + 1];
        for (int i = 1; i <= angle_cells; ++i) wxy[i] = w_xy(inputs, orientation, i);
        for (int j = 1; j <= angle_cells; ++j) {
            const double wzx = w_zx(inputs, orientation, j);
            for (int i = 1; i <= angle_cells; ++i) {
                weights_[pair_index(i, j)] = {wxy[i], wzx, (wxy[i] * wzx) * coefficient_};
            }
        }
        const OrientationGroups& groups = tables.groups;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            P_rupture_[g] = rupture_load(inputs, groups.theta_s[g]);
        }
        // Cells with lb = 0 are dropped at the first step, whose opening is
        // at least 0, before they add anything: they are left out from the
        // start.
        for (int k = 0; k < centroid_levels; ++k) {
            Level& level = levels_[k];
            const float* const lb = tables.group_lb.data() + tables.level_group(k, 0);
            for (std::size_t g = 0; g < groups.size(); ++g) {
                if (lb[g] > 0) level.groups.push_back(static_cast<std::uint16_t>(g));
            }
            if (level.groups.empty()) continue;
            level.cells.reserve(pairs_per_level);
            for (int p = 0; p < pairs_per_level; ++p) {
                if (lb[groups.group_of_pair[p]] > 0) {
                    level.cells.push_back(static_cast<std::uint16_t>(p));
                }
            }
        }
    }

    void run_block(const double* openings, int steps, double* P, double* N_eff) {
        std::fill(P, P + kernels::block_steps, 0.0);
        std::fill(N_eff, N_eff + kernels::block_steps, 0.0);
        for (int k = 0; k < centroid_levels; ++k) {
            Level& level = levels_[k];
            if (level.cells.empty()) continue;
            const std::size_t base = tables_.level_group(k, 0);
            for (const std::uint16_t g : level.groups) {
                const PulloutCell cell{tables_.group_lb[base + g], tables_.group_P1[base + g],
                                       tables_.group_delta1[base + g]};
                laws_[g] = bilinear_cell(cell, P_rupture_[g]);
            }
            kernels::LevelBlock block;
            block.openings = openings;
            block.steps = steps;
            block.groups = level.groups.data();
            block.group_count = level.groups.size();
            block.laws = laws_.data();
            block.loads = loads_.data();
            block.bridged = bridged_.data();
            block.cells = level.cells.data();
            block.cell_count = level.cells.size();
            block.group_of_pair = tables_.groups.group_of_pair.data();
            block.weights = weights_.data();
            block.coefficient = coefficient_;
            block.P = P;
            block.N_eff = N_eff;
            kernels::evaluate_level(path_, block);
            drop_groups(level, steps);
        }
    }

  private:
    struct Level {
        std::vector<std::uint16_t> groups;
        std::vector<std::uint16_t> cells;
    };

    void drop_groups(Level& level, int steps) {
        const auto dropped = [&](std::uint16_t g) { return bridged_[g] < steps; };
        if (std::none_of(level.groups.begin(), level.groups.end(), dropped)) return;
        std::erase_if(level.groups, dropped);
        const std::uint16_t* const group_of_pair = tables_.groups.group_of_pair.data();
        std::erase_if(level.cells, [&](std::uint16_t p) { return dropped(group_of_pair[p]); });
    }

    const FiberTables& tables_;
    kernels::Path path_;
    double coefficient_;
    std::vector<kernels::PairWeights> weights_;  // by pair
    std::vector<double> P_rupture_;              // by group
    std::vector<BilinearCell> laws_;             // by group, for the level at hand
    std::vector<double> loads_;                  // by group, a block's steps each
    std::vector<std::uint8_t> bridged_;          // by group
    std::vector<Level> levels_;
};

BridgingLaw::BridgingLaw(const CalculationInputs& inputs, const FiberTables& tables,
                         std::vector<double> openings, kernels::Path path)
    : openings_(std::move(openings)),
      pass_(std::make_unique<Pass>(inputs, tables, path)),
      Am_(inputs.Am),
      total_fiber_(inputs.total_fiber) {
    if (const auto n = first_invalid_opening(openings_)) {
        throw std::invalid_argument("opening " + std::to_string(*n) +
                                    " is negative or not a finite number");
    }
}

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
    s.effective_fiber_ratio = N_eff_[t] / total_fiber_;
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
