#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/bridging_law.h"
#include "engine/calculation_inputs.h"
#include "engine/input_checks.h"
#include "study/law_run.h"

namespace quarnel {

// The inputs that every fiber type of a mix shares, by member: Am, crack_xy,
// crack_zx and division. A mix holds one crack and one matrix section.
const std::vector<std::string>& shared_mix_members();
// Whether a name ("A" stands for Pmax) is one of the shared inputs.
bool is_shared_mix_input(const std::string& name);
// Whether a name is an input of one fiber type: any input name, "model"
// included, that is not shared.
bool is_fiber_input(const std::string& name);

// The split of one set of inputs into a mix's parts: the inputs of a fiber
// type (every fiber input given, and "model", 1 when not given), and the
// shared ones (Am, crack_xy, crack_zx and division, those given).
InputSet fiber_inputs_of(const InputSet& inputs);
InputSet shared_inputs_of(const InputSet& inputs);

// The type whose "Division" scheme gives a mix its openings when none are
// given: the one with the largest Lf, the first on a tie (0-based), so that
// the law reaches the longest embedded length.
std::size_t longest_fiber(const std::vector<CalculationInputs>& fibers);

// Why a mix cannot be computed: the type (from 1) whose inputs were refused,
// 0 when it is the openings given, and the refusal. The refusal's member may
// be a shared one (Am, crack_xy, ...), which the type only brought to light.
struct MixRefusal {
    std::size_t fiber = 0;
    std::int16_t model = 1;  // the refused type's model, which words its captions
    InputRefusal refusal;
};

// A mix's law. Every type is its own law at the mix's openings; at each step
// the mix's P is the sum of the types' P in their order, sigma = P / Am, N_eff
// the sum of their N_eff in order, the effective fiber ratio N_eff divided by
// the sum of their total_fiber (summed in 64 bits), and P_top (with
// sigma_top) the largest P so far, a later equal P taking its place.
struct MixRun {
    std::vector<LawRun> fibers;      // each type's inputs and law at the openings
    std::vector<double> openings;    // the openings the law was computed at
    std::size_t openings_fiber = 0;  // type (from 1) whose "Division" gave them; 0: given
    std::vector<StepValues> steps;   // the mix's; empty when refused
    std::optional<MixRefusal> refusal;
    bool refused() const { return refusal.has_value(); }
};

// What a caller computing many mixes keeps between them: one LawScratch per
// type, so that mixes differing only in inputs the model setting does not
// read (a type's Vf, Am, "Division") reuse each type's tables.
using MixScratch = std::vector<LawScratch>;

// Computes a mix of the fiber types (each an InputSet of fiber inputs only)
// with the shared inputs (Am, crack_xy, crack_zx, division only); a member
// not given, in a type's inputs or in the shared ones, takes its default
// text, as compute_law reads it. The openings are those given, or the
// "Division" scheme of longest_fiber with its own Lf/2 and Wcr_mid; the
// other types are computed at them as at given openings, their "Division"
// unused and unchecked.
//
// Each type is checked as a single run is. The given openings are checked
// first, then every type's inputs in order, then in order each type's model
// setting and its law, so the refusal is that of the first type refused at
// the earliest of these stages. `scratch` grows to one entry per type.
// Throws std::invalid_argument for no type, a shared name in a type's
// inputs, a fiber name among the shared ones, or a name read_calculation_inputs
// does not take.
MixRun compute_mix(const std::vector<InputSet>& fibers, const InputSet& shared,
                   const std::optional<std::vector<double>>& openings, MixScratch& scratch);
MixRun compute_mix(const std::vector<InputSet>& fibers, const InputSet& shared,
                   const std::optional<std::vector<double>>& openings);

}  // namespace quarnel
