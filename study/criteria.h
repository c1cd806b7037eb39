#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/bridging_law.h"

namespace quarnel {

// Properties of the matrix that the pseudo-strain-hardening conditions
// compare the law with; either may be left out.
struct MatrixProperties {
    std::optional<double> sigma_fc;  // first-cracking strength, MPa
    std::optional<double> J_tip;     // crack-tip toughness, J/m2
};

// Design margins on the pseudo-strain-hardening indices (1.3 and 2.7 are in
// wide use): strain_hardening_margin asks psh_strength >= strength and
// psh_energy >= energy.
struct PshMargins {
    double strength = 1;
    double energy = 1;
};

// Where the criteria of a law come from.
enum class CriteriaSource {
    // Openings of their own, refined until the criteria settle
    // (converged_criteria.h): independent of the steps a run was asked for.
    converged,
    // The computed steps as they are, trapezoids from (0, 0): the numbers of a
    // result file.
    steps,
};

struct CriteriaSettings {
    CriteriaSource source = CriteriaSource::converged;
    // The refinement stops once sigma_max, Wcr_peak, J_b_prime and G_b each
    // change by at most this, relatively, from one refinement to the next.
    double tolerance = 1e-3;
    std::optional<PshMargins> psh_margins;
};

// The criteria of one law: sigma_0 and delta_0 at the peak, J'b = sigma_0
// delta_0 - integral of sigma from 0 to delta_0, G_b = integral of sigma
// over the law. A law without criteria (no steps, openings not increasing)
// has NaN for every number and says why.
struct LawCriteria {
    double sigma_max = 0;                  // MPa: sigma at the peak, the largest P
    double P_max = 0;                      // N: the peak load
    double Wcr_peak = 0;                   // mm: opening of the peak, the later on a tie
    double ratio_initial = 0;              // effective fiber ratio at the first opening
    double ratio_at_peak = 0;              // effective fiber ratio at the peak
    double J_b_prime = 0;                  // J/m2
    double G_b = 0;                        // J/m2
    std::optional<double> psh_strength;    // sigma_max / sigma_fc
    std::optional<double> psh_energy;      // J_b_prime / J_tip
    std::optional<bool> strain_hardening;  // both indices above 1; with both properties only
    // Both indices at least their margins; with margins and both properties only.
    std::optional<bool> strain_hardening_margin;

    // How the numbers were formed.
    CriteriaSource source = CriteriaSource::steps;
    long openings = 0;  // the openings they come from: the steps, or the last refinement's
    // Converged: the largest relative change of sigma_max, Wcr_peak, J_b_prime
    // and G_b in the last refinement; none for steps.
    std::optional<double> change;
    int laws = 0;            // converged: the laws computed, the first one a survey
    bool converged = false;  // converged: the last change was within the tolerance
    std::string why_none;    // why there are no criteria; empty when there are
    bool available() const { return why_none.empty(); }
};

// Sets the indices and the verdicts of the criteria from the matrix
// properties and the margins.
void apply_matrix(LawCriteria& criteria, const MatrixProperties& matrix,
                  const std::optional<PshMargins>& margins = std::nullopt);

// Gathers the criteria from steps in step order, without holding the steps:
// a sweep or a mix feeds it as its steps come. It tracks the peak itself, as
// the law does (a P at least the largest so far takes its place), so a mix's
// summed P has its own peak. The integrals are trapezoids that start from
// (0, 0); openings that do not increase give no criteria, not negative
// widths.
class CriteriaAccumulator {
  public:
    void add(double Wcr, double P, double sigma, double effective_fiber_ratio);
    void add(const StepValues& s) { add(s.Wcr, s.P, s.sigma, s.effective_fiber_ratio); }
    long steps() const { return steps_; }
    LawCriteria result(const MatrixProperties& matrix = {},
                       const std::optional<PshMargins>& margins = std::nullopt) const;

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
    std::string not_increasing_;  // the first opening not above the one before it
};

LawCriteria law_criteria(const std::vector<StepValues>& steps, const MatrixProperties& matrix = {},
                         const std::optional<PshMargins>& margins = std::nullopt);

}  // namespace quarnel
