#pragma once

#include <optional>
#include <vector>

#include "engine/bridging_law.h"

namespace quarnel {

// Properties of the matrix that the pseudo-strain-hardening conditions
// compare the law with; either may be left out.
struct MatrixProperties {
    std::optional<double> sigma_fc;  // first-cracking strength, MPa
    std::optional<double> J_tip;     // crack-tip toughness, J/m2
};

// The criteria of one law. The integrals run over the computed points by the
// trapezoidal rule, so finer steps give finer integrals. A law of no steps
// has NaN for every value.
struct LawCriteria {
    double sigma_max = 0;      // MPa: the peak's sigma (sigma_top after the last step)
    double P_max = 0;          // N: the peak load (P_top)
    double Wcr_peak = 0;       // mm: opening of the step that set the peak, the later on a tie
    double ratio_initial = 0;  // effective fiber ratio of step 0
    double ratio_at_peak = 0;  // effective fiber ratio of the peak's step
    double J_b_prime = 0;  // J/m2: sigma_max Wcr_peak - integral of sigma from step 0 to the peak
    double G_b = 0;        // J/m2: integral of sigma over every step
    std::optional<double> psh_strength;    // sigma_max / sigma_fc
    std::optional<double> psh_energy;      // J_b_prime / J_tip
    std::optional<bool> strain_hardening;  // both indices above 1; with both properties only
};

// Gathers the criteria step by step, in step order, without holding the
// steps: a sweep or a mix feeds it as its steps come. It tracks the peak
// itself, as the law does (a P at least the largest so far takes its place),
// so a mix's summed P has its own peak.
class CriteriaAccumulator {
  public:
    void add(double Wcr, double P, double sigma, double effective_fiber_ratio);
    void add(const StepValues& s) { add(s.Wcr, s.P, s.sigma, s.effective_fiber_ratio); }
    long steps() const { return steps_; }
    LawCriteria result(const MatrixProperties& matrix = {}) const;

  private:
    long steps_ = 0;
    double last_Wcr_ = 0;
    double last_sigma_ = 0;
    double integral_ = 0;  // MPa mm, trapezoids up to the last step
    double P_top_ = -999999;
    double sigma_top_ = -999999;
    double Wcr_peak_ = 0;
    double ratio_initial_ = 0;
    double ratio_at_peak_ = 0;
    double integral_at_peak_ = 0;
};

LawCriteria law_criteria(const std::vector<StepValues>& steps, const MatrixProperties& matrix = {});

}  // namespace quarnel
