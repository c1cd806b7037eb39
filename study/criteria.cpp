#include "criteria.h"

#include <limits>

#include "engine/text_to_number.h"

namespace quarnel {

namespace {
// 1 MPa mm = 1 N/mm = 1000 J/m2.
constexpr double joules_per_square_metre_per_MPa_mm = 1000;
}  // namespace

void apply_matrix(LawCriteria& c, const MatrixProperties& matrix,
                  const std::optional<PshMargins>& margins) {
    c.psh_strength.reset();
    c.psh_energy.reset();
    c.strain_hardening.reset();
    c.strain_hardening_margin.reset();
    if (matrix.sigma_fc) c.psh_strength = c.sigma_max / *matrix.sigma_fc;
    if (matrix.J_tip) c.psh_energy = c.J_b_prime / *matrix.J_tip;
    if (c.psh_strength && c.psh_energy) {
        c.strain_hardening = *c.psh_strength > 1 && *c.psh_energy > 1;
        if (margins) {
            c.strain_hardening_margin =
                *c.psh_strength >= margins->strength && *c.psh_energy >= margins->energy;
        }
    }
}

void CriteriaAccumulator::add(double Wcr, double P, double sigma, double effective_fiber_ratio) {
    if (steps_ == 0) {
        ratio_initial_ = effective_fiber_ratio;
        // From (0, 0), where every law starts; nothing when the first opening is 0.
        if (Wcr != 0) integral_ = sigma * Wcr / 2;
    } else {
        if (!(Wcr > last_Wcr_) && not_increasing_.empty()) {
            not_increasing_ = "opening " + std::to_string(steps_) + " (" +
                              shortest_number_text(Wcr) + " mm) is not above the one before it (" +
                              shortest_number_text(last_Wcr_) + " mm)";
        }
        integral_ += (last_sigma_ + sigma) * (Wcr - last_Wcr_) / 2;
    }
    if (P >= P_top_) {
        P_top_ = P;
        sigma_top_ = sigma;
        Wcr_peak_ = Wcr;
        ratio_at_peak_ = effective_fiber_ratio;
        integral_at_peak_ = integral_;
    }
    last_Wcr_ = Wcr;
    last_sigma_ = sigma;
    ++steps_;
}

LawCriteria CriteriaAccumulator::result(const MatrixProperties& matrix,
                                        const std::optional<PshMargins>& margins) const {
    LawCriteria c;
    c.source = CriteriaSource::steps;
    c.openings = steps_;
    if (steps_ == 0) {
        c.why_none = "the law has no steps";
    } else if (!not_increasing_.empty()) {
        c.why_none = "the openings do not increase: " + not_increasing_;
    }
    if (!c.available()) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        c.sigma_max = c.P_max = c.Wcr_peak = c.ratio_initial = c.ratio_at_peak = nan;
        c.J_b_prime = c.G_b = nan;
    } else {
        c.sigma_max = sigma_top_;
        c.P_max = P_top_;
        c.Wcr_peak = Wcr_peak_;
        c.ratio_initial = ratio_initial_;
        c.ratio_at_peak = ratio_at_peak_;
        c.J_b_prime =
            (sigma_top_ * Wcr_peak_ - integral_at_peak_) * joules_per_square_metre_per_MPa_mm;
        c.G_b = integral_ * joules_per_square_metre_per_MPa_mm;
    }
    apply_matrix(c, matrix, margins);
    return c;
}

LawCriteria law_criteria(const std::vector<StepValues>& steps, const MatrixProperties& matrix,
                         const std::optional<PshMargins>& margins) {
    CriteriaAccumulator criteria;
    for (const StepValues& s : steps) criteria.add(s);
    return criteria.result(matrix, margins);
}

}  // namespace quarnel
