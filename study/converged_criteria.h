#pragma once

// The criteria of a law on openings of their own, refined until they settle,
// whatever steps a run was asked for.
//
// The law is computed anew at its whole set of openings for every
// refinement: a fiber that ruptures is dropped at the first opening that
// finds it ruptured, so the same law differs at different openings. The first
// law is a survey of 32 openings: 5 equal steps to Wcr_mid, 12 equal steps on
// to 3 Wcr_mid, then 14 steps growing geometrically to the end of the law.
// Each refinement then adds openings where they matter:
//  - around the peak: the openings nearest to the peak where sigma may turn
//    (the corners where fibers stop rising, the last openings before fibers
//    rupture), spaced by about the tolerance times the peak's opening, and
//    points between the peak's neighbours;
//  - over the whole law: every interval whose integral is uncertain by more
//    than its share of the tolerance (of J'b up to the peak, of G_b beyond)
//    is divided, more finely the more uncertain it is; a steep drop after
//    the peak, where fibers rupture, is followed so;
//  - an opening in every span of openings in which some fiber would be found
//    ruptured and none was yet, so that no fiber survives by being stepped
//    over.
// The refinement stops when sigma_max, Wcr_peak, J_b_prime and G_b each change
// by at most the tolerance, relatively, from one refinement to the next (the
// survey's change not counted), or after max_criteria_laws laws or beyond
// max_criteria_openings openings, unconverged.
//
// sigma_max and Wcr_peak are those of the largest P at the openings, the
// later on a tie, as for steps. The integrals are the trapezoids from (0, 0)
// with a curvature correction where the law bends the same way on both sides
// of an interval (the smaller of the two corrections; none across a kink, a
// drop or a turn), so that smooth stretches converge fast and kinks and drops
// fall back to plain trapezoids.
//
// Where the top of a law is flat, stresses within about 1e-5 of each other can
// lie some thousandths of a millimetre apart: Wcr_peak is then the opening of
// the largest stress found, stable to the tolerance under the refinement.

#include <functional>
#include <vector>

#include "engine/bridging_law.h"
#include "engine/calculation_inputs.h"
#include "engine/fiber_tables.h"
#include "study/criteria.h"
#include "study/fiber_mix.h"
#include "study/law_run.h"

namespace quarnel {

inline constexpr int max_criteria_laws = 12;
inline constexpr std::size_t max_criteria_openings = 16384;

// The openings at which some fiber is found ruptured: from the first opening
// at which its load is above its rupture load to the last, before it pulls
// out.
struct RuptureWindow {
    double first = 0;  // mm
    double last = 0;   // mm
};

// What the refinement asks of a law besides its values, once the first law
// has been computed.
struct LawOutline {
    // The openings within [low, high] where sigma may turn from rising to
    // falling: the corners delta1 of fibers that reach them before they pull
    // out, and the last opening before a fiber's load passes its rupture
    // load; sorted, distinct.
    std::function<std::vector<double>(double low, double high)> peak_candidates;
    // Windows of which every other window holds one: an opening in each of
    // these is an opening in every window. By increasing ends.
    std::vector<RuptureWindow> rupture_windows;
};

// The outline of a law from its inputs and tables, which must outlive it.
LawOutline law_outline(const CalculationInputs& inputs, const FiberTables& tables);
// The outline of a mix: every type's candidates, the windows of them all.
LawOutline mix_outline(const std::vector<LawOutline>& types);

// Windows of which every other window holds one, by increasing ends.
std::vector<RuptureWindow> innermost_windows(std::vector<RuptureWindow> windows);

// The survey's 32 openings from 0 to `end`, with Wcr_mid `mid` (moved within
// (0, end / 3] when it lies outside).
std::vector<double> survey_openings(double end, double mid);

// The law at increasing openings, computed anew; empty when it cannot be
// computed.
using LawAtOpenings = std::function<std::vector<StepValues>(const std::vector<double>& openings)>;
// The outline, asked for once the first law was computed.
using OutlineOfLaw = std::function<LawOutline()>;

// The refinement itself, over any law (converged_law_criteria and
// converged_mix_criteria give it theirs). `end` is the opening at which every
// fiber is pulled out, `mid` the law's Wcr_mid. The criteria say how they were
// formed; when the first law cannot be computed they have NaN numbers and
// why_none "the law cannot be computed".
LawCriteria refine_criteria(double end, double mid, const LawAtOpenings& law_at,
                            const OutlineOfLaw& outline, const MatrixProperties& matrix,
                            const CriteriaSettings& settings);

// The converged criteria of a single law of the inputs, read as compute_law
// reads them; refused inputs give no criteria (why_none says why). Throws
// std::invalid_argument as compute_law does. `scratch` keeps the model
// setting, so that a law computed before from the same inputs is not set up
// again.
LawCriteria converged_law_criteria(const InputSet& inputs, const MatrixProperties& matrix,
                                   const CriteriaSettings& settings, LawScratch& scratch);

// The converged criteria of a mix, those of the summed law, every type
// computed at the mix's openings; from 0 to half the longest fiber length.
// Refusals and throws as compute_mix.
LawCriteria converged_mix_criteria(const std::vector<InputSet>& fibers, const InputSet& shared,
                                   const MatrixProperties& matrix, const CriteriaSettings& settings,
                                   MixScratch& scratch);

// The criteria of a computed law as the settings ask: converged (the inputs
// and scratch used), or from its steps.
LawCriteria criteria_of_law(const InputSet& inputs, const std::vector<StepValues>& steps,
                            const MatrixProperties& matrix, const CriteriaSettings& settings,
                            LawScratch& scratch);
LawCriteria criteria_of_mix(const std::vector<InputSet>& fibers, const InputSet& shared,
                            const std::vector<StepValues>& steps, const MatrixProperties& matrix,
                            const CriteriaSettings& settings, MixScratch& scratch);

}  // namespace quarnel
