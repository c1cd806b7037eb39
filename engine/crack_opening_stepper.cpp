#include "crack_opening_stepper.h"

#include <cmath>

#include "pullout_law.h"

namespace quarnel {

double mid_opening(const CalculationInputs& inputs) {
    if (inputs.is_constant_model()) return inputs.delta_max;
    const float half_Lf = static_cast<float>(static_cast<double>(inputs.Lf) / 2);
    return inputs.C * std::pow(static_cast<double>(half_Lf), inputs.D);
}

double crack_opening(const CalculationInputs& inputs, double Wcr_mid, int n) {
    const int N = inputs.division;
    if (n <= N) return Wcr_mid * n / N;
    const float half_Lf = static_cast<float>(static_cast<double>(inputs.Lf) / 2);
    return Wcr_mid + (half_Lf - Wcr_mid) * (n - N) / N;
}

namespace {

constexpr int pairs_per_level = angle_cells * angle_cells;

}  // namespace

CrackOpeningStepper::CrackOpeningStepper(const CalculationInputs& inputs, const FiberTables& tables)
    : inputs_(inputs),
      Wcr_mid_(mid_opening(inputs)),
      last_step_(inputs.division < 0 ? -1 : 2 * inputs.division),
      fiber_number_coefficient_(inputs.fiber_number_coefficient) {
    const Orientation orientation = orientation_setup(inputs);
    std::vector<double> wxy(angle_cells + 1);
    for (int i = 1; i <= angle_cells; ++i) wxy[i] = w_xy(inputs, orientation, i);
    pairs_.resize(pairs_per_level);
    for (int j = 1; j <= angle_cells; ++j) {
        const double wzx = w_zx(inputs, orientation, j);
        for (int i = 1; i <= angle_cells; ++i) {
            pairs_[(j - 1) * angle_cells + (i - 1)] = {wxy[i], wzx,
                                                       (wxy[i] * wzx) * fiber_number_coefficient_};
        }
    }

    // One group per cell when the tables name no groups.
    std::vector<double> theta_s = tables.group_theta_s;
    group_of_pair_ = tables.group_of_pair;
    if (group_of_pair_.size() != pairs_per_level) {
        group_of_pair_.resize(pairs_per_level);
        theta_s.resize(pairs_per_level);
        for (int p = 0; p < pairs_per_level; ++p) {
            group_of_pair_[p] = static_cast<std::uint16_t>(p);
            theta_s[p] = snubbing_angle(inputs, cell_angle_deg(p % angle_cells + 1),
                                        cell_angle_deg(p / angle_cells + 1));
        }
    }
    group_representative_.assign(theta_s.size(), 0);
    for (int p = pairs_per_level - 1; p >= 0; --p) {
        group_representative_[group_of_pair_[p]] = static_cast<std::uint16_t>(p);
    }
    std::vector<double> P_rupture(theta_s.size());
    for (std::size_t g = 0; g < theta_s.size(); ++g)
        P_rupture[g] = rupture_load(inputs, theta_s[g]);

    levels_.resize(centroid_levels);
    for (int k = 0; k < centroid_levels; ++k) prepare_level(tables, k, P_rupture);
    load_.resize(theta_s.size());
}

void CrackOpeningStepper::prepare_level(const FiberTables& tables, int k,
                                        const std::vector<double>& P_rupture) {
    Level& level = levels_[k];
    const std::size_t base = static_cast<std::size_t>(k) * pairs_per_level;
    level.group_slots.resize(group_representative_.size());
    for (std::size_t g = 0; g < group_representative_.size(); ++g) {
        const std::size_t c = base + group_representative_[g];
        const PulloutCell cell{tables.lb_table[c], tables.P1_table[c], tables.delta1_table[c]};
        // Cells with lb = 0 are dropped at step 0, whose opening is 0, before
        // they add anything; they are left out from the start.
        const bool bridging = tables.fiber_flag[c] == 1 && cell.lb > 0;
        level.group_slots[g] = Slot{cell.lb,
                                    cell.delta1,
                                    cell.P1,
                                    bridging ? rising_ratio(cell) : 0.0f,
                                    bridging ? falling_slope(cell) : 0.0f,
                                    bridging,
                                    P_rupture[g]};
    }
    level.cells.clear();
    level.cells.reserve(pairs_per_level);
    for (int p = 0; p < pairs_per_level; ++p) {
        if (level.group_slots[group_of_pair_[p]].bridging) {
            level.cells.push_back(static_cast<std::uint16_t>(p));
        }
    }
}

bool CrackOpeningStepper::finished() const {
    return next_step_ > last_step_;
}

int CrackOpeningStepper::bridging_cells() const {
    std::size_t cells = 0;
    for (const Level& level : levels_) cells += level.cells.size();
    return static_cast<int>(cells);
}

StepValues CrackOpeningStepper::step() {
    const int n = next_step_++;
    const double Wcr = crack_opening(inputs_, Wcr_mid_, n);
    double P = 0;
    double N_eff = 0;
    const double coefficient = fiber_number_coefficient_;
    const Pair* const pairs = pairs_.data();
    double* const load = load_.data();

    for (Level& level : levels_) {
        if (level.cells.empty()) continue;
        // The pull-out law once per group of the level, as evaluate_cell
        // computes it, with the ratio and slope rounded once per run.
        bool dropped = false;
        for (std::size_t s = 0; s < level.group_slots.size(); ++s) {
            Slot& slot = level.group_slots[s];
            if (!slot.bridging) continue;
            if (Wcr >= slot.lb) {  // pulled out
                slot.bridging = false;
                dropped = true;
                continue;
            }
            const double P_fiber =
                Wcr <= slot.delta1 ? Wcr * slot.ratio : slot.P1 + slot.slope * (Wcr - slot.delta1);
            if (P_fiber > slot.P_rupture) {  // ruptured; a load equal to it holds
                slot.bridging = false;
                dropped = true;
                continue;
            }
            load[s] = P_fiber;
        }
        const std::uint16_t* const slot_of = group_of_pair_.data();
        // The sums in loop order over the level's bridging cells; when a group
        // was dropped, its cells are taken out in the same pass.
        if (!dropped) {
            for (const std::uint16_t p : level.cells) {
                const Pair& w = pairs[p];
                P += ((load[slot_of[p]] * w.w_xy) * w.w_zx) * coefficient;
                N_eff += w.count;
            }
            continue;
        }
        const Slot* const slots = level.group_slots.data();
        std::uint16_t* const cells = level.cells.data();
        std::size_t kept = 0;
        for (std::size_t c = 0; c < level.cells.size(); ++c) {
            const std::uint16_t p = cells[c];
            const std::uint16_t g = slot_of[p];
            if (!slots[g].bridging) continue;
            const Pair& w = pairs[p];
            P += ((load[g] * w.w_xy) * w.w_zx) * coefficient;
            N_eff += w.count;
            cells[kept++] = p;
        }
        level.cells.resize(kept);
    }

    StepValues s;
    s.n = static_cast<std::int16_t>(n);
    s.Wcr = Wcr;
    s.P = P;
    s.sigma = P / inputs_.Am;
    s.effective_fiber_ratio = N_eff / inputs_.total_fiber;
    // On a tie the later step wins.
    if (P >= P_top_) {
        P_top_ = P;
        sigma_top_ = s.sigma;
    }
    s.P_top = P_top_;
    s.sigma_top = sigma_top_;
    return s;
}

bool CrackOpeningStepper::run(ProgressSink& progress, const Publish& publish) {
    while (!finished()) {
        progress.show_status(step_text(next_step_));
        if (!progress.yield()) return false;
        if (!publish(step())) return false;
    }
    return true;
}

}  // namespace quarnel
