#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/bridging_law.h"
#include "engine/calculation_inputs.h"
#include "study/converged_criteria.h"
#include "study/criteria.h"
#include "study/fiber_mix.h"
#include "study/law_run.h"
#include "study/sweep.h"

namespace quarnel {

// Where a varied input's values go: an input of fiber type `fiber` (from 1)
// of a mix, or with fiber 0 an input of the run (a mix's shared input).
struct SweepTarget {
    std::size_t fiber = 0;
    std::string member;
};

// Whether a name is a matrix property a sweep may vary besides the inputs
// (sigma_fc, J_tip): each run's criteria then use the run's own value.
bool is_matrix_property(const std::string& name);

// The target of a varied name in a sweep of single laws (`fibers` 0), where
// any input name is taken ("A" for Pmax), or of mixes of `fibers` types,
// where a shared input (Am, crack_xy, crack_zx, division) is varied by its
// name and a type's input as fiberN.NAME; in either, the matrix properties
// sigma_fc and J_tip (fiber 0). Throws std::invalid_argument
// naming the name and the rule it breaks.
SweepTarget sweep_target(const std::string& name, std::size_t fibers);

// A model axis holds only 1 and 2. Takes the list items "1", "2",
// "constant" and "function-lb" as a single run's model takes them, the
// words becoming "1" and "2", and range points that are exactly 1 or 2.
// Throws std::invalid_argument naming the item:
// `model: "Constant" is not 1, 2, constant or function-lb`.
void check_model_axis(SweepAxis& axis);

// An orientation_weights axis holds the texts classic and exact only, as
// read_orientation_weights takes them, and no range. Throws
// std::invalid_argument naming the item:
// `orientation_weights: "Exact" is not classic or exact`.
void check_orientation_weights_axis(const SweepAxis& axis);

// An axis and its target from NAME=VALUES, as parse_sweep_axis and
// sweep_target read them, a model axis checked by check_model_axis and an
// orientation_weights axis by check_orientation_weights_axis.
struct SweepVaried {
    SweepAxis axis;
    SweepTarget target;
};
SweepVaried parse_varied_input(const std::string& argument, std::size_t fibers);

// One line per list item whose number was followed by characters the
// text-to-number rule ignored: `kxy: "abc" read as 0`.
std::vector<std::string> axis_notes(const SweepAxis& axis);

// A sweep, whole, as a plain value that any front end and any process can
// compute any of its runs from.
struct SweepSpec {
    InputSet base;  // every run's inputs, "model" among them; for a mix, the shared inputs only
    std::vector<InputSet> fibers;  // a mix's types (fiber inputs and "model"); empty: single laws
    std::vector<SweepAxis> axes;
    std::vector<SweepTarget> targets;             // one per axis
    bool zip = false;                             // the i-th values together, not every combination
    std::optional<std::vector<double>> openings;  // none: the "Division" scheme
    MatrixProperties matrix;                      // a varied sigma_fc or J_tip is each run's own
    CriteriaSettings criteria;  // converged on openings of their own, or from each run's steps
    bool keep_steps = false;    // keep each run's steps (the law's, or the mix's)
    bool keep_laws = false;     // keep each law with its inputs (one, or one per type of a mix)
    bool is_mix() const { return !fibers.empty(); }
};

// The matrix properties every run of a sweep has, for the columns of its
// outputs: the spec's, with a varied property present (as NaN).
MatrixProperties sweep_matrix(const SweepSpec& spec);

// The runs of a sweep. Throws std::invalid_argument for what no run could
// be computed from: a target missing or not one sweep_target gives, an
// input varied twice, a matrix property both given and varied, a model axis holding other than 1
// and 2, an orientation_weights axis that check_orientation_weights_axis refuses, inputs that
// read_calculation_inputs (or compute_mix) does not take, and the
// SweepPlan's refusals (zipped lengths, the cap on runs).
SweepPlan sweep_plan(const SweepSpec& spec);

// A law of a run, for result files: every input given (a type's with the
// shared ones merged in), the inputs as read, and the steps.
struct SweepLaw {
    InputSet inputs;
    CalculationInputs calculation;
    std::vector<StepValues> steps;
};

struct SweepRunResult {
    std::size_t run = 0;                // from 0
    std::vector<std::size_t> at;        // the value index of each axis
    std::optional<MixRefusal> refusal;  // fiber 0 for a single law's; the front end words it
    LawCriteria criteria;
    std::vector<StepValues> steps;  // with keep_steps
    std::vector<SweepLaw> laws;     // with keep_laws
    // The orientation weights' warnings of the law, or of each type of a mix
    // ("fiber type 2: x-y plane: ..."), and the largest |sum - 1| of their
    // planes (orientation_weight_error); none and NaN for a refused run.
    std::vector<std::string> warnings;
    double orientation_weight_error = std::numeric_limits<double>::quiet_NaN();
    bool refused() const { return refusal.has_value(); }
};

// What a thread keeps between the runs it computes: the tables of a law, or
// one set per fiber type of a mix.
struct SweepScratch {
    LawScratch law;
    MixScratch mix;
};

// Computes run `run` (below plan.runs(), the plan sweep_plan gave for the
// spec) as a single run or a mix computes it, its steps at the spec's
// openings and its criteria as spec.criteria asks (criteria_of_law,
// criteria_of_mix). The same run gives the same numbers, bit for bit,
// whatever the scratch held before.
SweepRunResult compute_sweep_run(const SweepSpec& spec, const SweepPlan& plan, std::size_t run,
                                 SweepScratch& scratch);

// Computes runs [first, last) on `jobs` threads and hands the results to
// `consume` in run order, as run_in_order does; returns the number of runs
// consumed. Throws std::out_of_range when last is beyond the plan's runs or
// first beyond last.
std::size_t run_sweep(const SweepSpec& spec, const SweepPlan& plan, std::size_t first,
                      std::size_t last, int jobs,
                      const std::function<bool(SweepRunResult&&)>& consume,
                      const std::function<bool()>& stop);

}  // namespace quarnel
