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

CrackOpeningStepper::CrackOpeningStepper(const CalculationInputs& inputs, const FiberTables& tables)
    : inputs_(inputs),
      Wcr_mid_(mid_opening(inputs)),
      last_step_(inputs.division < 0 ? -1 : 2 * inputs.division),
      fiber_number_coefficient_(inputs.fiber_number_coefficient) {
    const Orientation orientation = orientation_setup(inputs);
    pairs_.resize(angle_cells * angle_cells);
    for (int j = 1; j <= angle_cells; ++j) {
        const double wzx = w_zx(inputs, orientation, j);
        for (int i = 1; i <= angle_cells; ++i) {
            const double wxy = w_xy(inputs, orientation, i);
            const double theta_s = snubbing_angle(inputs, cell_angle_deg(i), cell_angle_deg(j));
            pairs_[(j - 1) * angle_cells + (i - 1)] = {
                wxy, wzx, (wxy * wzx) * fiber_number_coefficient_, rupture_load(inputs, theta_s)};
        }
    }

    // Cells with lb = 0 are dropped at step 0, whose opening is 0, before they
    // add anything; they are left out from the start.
    std::size_t bridging = 0;
    for (std::size_t c = 0; c < tables.lb_table.size(); ++c) {
        bridging += tables.fiber_flag[c] == 1 && tables.lb_table[c] > 0;
    }
    for (auto* v : {&lb_, &delta1_, &P1_, &ratio_, &slope_}) v->reserve(bridging);
    pair_.reserve(bridging);
    std::size_t c = 0;
    for (int k = 0; k < centroid_levels; ++k) {
        for (int p = 0; p < angle_cells * angle_cells; ++p, ++c) {
            if (tables.fiber_flag[c] != 1 || !(tables.lb_table[c] > 0)) continue;
            const PulloutCell cell{tables.lb_table[c], tables.P1_table[c], tables.delta1_table[c]};
            lb_.push_back(cell.lb);
            delta1_.push_back(cell.delta1);
            P1_.push_back(cell.P1);
            ratio_.push_back(rising_ratio(cell));
            slope_.push_back(falling_slope(cell));
            pair_.push_back(static_cast<std::uint16_t>(p));
        }
    }
}

bool CrackOpeningStepper::finished() const {
    return next_step_ > last_step_;
}

StepValues CrackOpeningStepper::step() {
    const int n = next_step_++;
    const double Wcr = crack_opening(inputs_, Wcr_mid_, n);
    double P = 0;
    double N_eff = 0;

    // One pass in loop order over the cells still bridging; the survivors are
    // moved down in place, so the order never changes. The branch arithmetic
    // is that of evaluate_cell, with the 32-bit ratio and slope rounded once.
    const std::size_t cells = lb_.size();
    const Pair* const pairs = pairs_.data();
    float* const lb = lb_.data();
    float* const delta1 = delta1_.data();
    float* const P1 = P1_.data();
    float* const ratio = ratio_.data();
    float* const slope = slope_.data();
    std::uint16_t* const pair = pair_.data();
    const double coefficient = fiber_number_coefficient_;
    std::size_t kept = 0;
    for (std::size_t c = 0; c < cells; ++c) {
        if (Wcr >= lb[c]) continue;  // pulled out
        const Pair& w = pairs[pair[c]];
        const double P_fiber =
            Wcr <= delta1[c] ? Wcr * ratio[c] : P1[c] + slope[c] * (Wcr - delta1[c]);
        if (P_fiber > w.P_rupture) continue;  // ruptured
        P += ((P_fiber * w.w_xy) * w.w_zx) * coefficient;
        N_eff += w.count;
        if (kept != c) {
            lb[kept] = lb[c];
            delta1[kept] = delta1[c];
            P1[kept] = P1[c];
            ratio[kept] = ratio[c];
            slope[kept] = slope[c];
            pair[kept] = pair[c];
        }
        ++kept;
    }
    for (auto* v : {&lb_, &delta1_, &P1_, &ratio_, &slope_}) v->resize(kept);
    pair_.resize(kept);

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
