#include "criteria.h"

#include <limits>

namespace quarnel {

namespace {
// 1 MPa mm = 1 N/mm = 1000 J/m2.
constexpr double joules_per_square_metre_per_MPa_mm = 1000;
}  // namespace

void CriteriaAccumulator::add(double Wcr, double P, double sigma, double effective_fiber_ratio) {
    if (steps_ == 0) {
        ratio_initial_ = effective_fiber_ratio;
    } else {
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

LawCriteria CriteriaAccumulator::result(const MatrixProperties& matrix) const {
    LawCriteria c;
    if (steps_ == 0) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        c = {nan, nan, nan, nan, nan, nan, nan, {}, {}, {}};
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
    if (matrix.sigma_fc) c.psh_strength = c.sigma_max / *matrix.sigma_fc;
    if (matrix.J_tip) c.psh_energy = c.J_b_prime / *matrix.J_tip;
    if (c.psh_strength && c.psh_energy) {
        c.strain_hardening = *c.psh_strength > 1 && *c.psh_energy > 1;
    }
    return c;
}

LawCriteria law_criteria(const std::vector<StepValues>& steps, const MatrixProperties& matrix) {
    CriteriaAccumulator criteria;
    for (const StepValues& s : steps) criteria.add(s);
    return criteria.result(matrix);
}

}  // namespace quarnel
