#include "fiber_mix.h"

#include <algorithm>
#include <stdexcept>

#include "engine/crack_openings.h"
#include "engine/input_table.h"
#include "engine/progress.h"

namespace quarnel {

const std::vector<std::string>& shared_mix_members() {
    static const std::vector<std::string> members = {"Am", "crack_xy", "crack_zx", "division"};
    return members;
}

bool is_shared_mix_input(const std::string& name) {
    const std::vector<std::string>& shared = shared_mix_members();
    return std::find(shared.begin(), shared.end(), input_member(name)) != shared.end();
}

bool is_fiber_input(const std::string& name) {
    return !input_member(name).empty() && !is_shared_mix_input(name);
}

InputSet fiber_inputs_of(const InputSet& inputs) {
    InputSet fiber = {{"model", 1.0}};
    for (const auto& [name, value] : inputs) {
        if (is_fiber_input(name)) fiber[name] = value;
    }
    return fiber;
}

InputSet shared_inputs_of(const InputSet& inputs) {
    InputSet shared;
    for (const auto& [name, value] : inputs) {
        if (is_shared_mix_input(name)) shared[name] = value;
    }
    return shared;
}

std::size_t longest_fiber(const std::vector<CalculationInputs>& fibers) {
    std::size_t longest = 0;
    for (std::size_t i = 1; i < fibers.size(); ++i) {
        if (fibers[i].Lf > fibers[longest].Lf) longest = i;
    }
    return longest;
}

namespace {

// The mix's steps from its types' laws at the same openings.
std::vector<StepValues> mix_steps(const std::vector<LawRun>& fibers) {
    const LawRun& first = fibers.front();
    double total_fiber = first.inputs.total_fiber;
    for (std::size_t i = 1; i < fibers.size(); ++i) total_fiber += fibers[i].inputs.total_fiber;
    // Widened as the law widens it, so that a mix of one type is that type's law.
    const double Am = first.inputs.Am;
    std::vector<StepValues> steps = first.steps;
    double P_top = -999999;
    double sigma_top = -999999;
    for (std::size_t n = 0; n < steps.size(); ++n) {
        StepValues& s = steps[n];
        // Summed from the first type's values rather than from 0, so that a
        // lone type keeps even the sign of a zero.
        for (std::size_t i = 1; i < fibers.size(); ++i) {
            s.P += fibers[i].steps[n].P;
            s.N_eff += fibers[i].steps[n].N_eff;
        }
        s.sigma = s.P / Am;
        s.effective_fiber_ratio = s.N_eff / total_fiber;
        if (s.P >= P_top) {
            P_top = s.P;
            sigma_top = s.sigma;
        }
        s.P_top = P_top;
        s.sigma_top = sigma_top;
    }
    return steps;
}

}  // namespace

MixRun compute_mix(const std::vector<InputSet>& fibers, const InputSet& shared,
                   const std::optional<std::vector<double>>& openings, MixScratch& scratch) {
    if (fibers.empty()) throw std::invalid_argument("a mix needs at least one fiber type");
    for (const auto& [name, value] : shared) {
        if (!is_shared_mix_input(name)) {
            throw std::invalid_argument("\"" + name + "\" is not an input the fiber types share");
        }
    }
    MixRun mix;
    std::vector<InputSet> sets;
    std::vector<CalculationInputs> inputs;
    for (std::size_t i = 0; i < fibers.size(); ++i) {
        InputSet set = fibers[i];
        for (const auto& [name, value] : set) {
            if (is_shared_mix_input(name)) {
                throw std::invalid_argument("fiber type " + std::to_string(i + 1) + " names \"" +
                                            name + "\", which the fiber types share");
            }
        }
        set.insert(shared.begin(), shared.end());
        set = with_default_texts(std::move(set));
        inputs.push_back(read_calculation_inputs(set));
        sets.push_back(std::move(set));
    }

    const std::size_t longest = longest_fiber(inputs);
    mix.openings_fiber = openings ? 0 : longest + 1;
    if (openings) {
        if (auto refusal = check_openings(*openings)) {
            mix.refusal = MixRefusal{0, 1, std::move(*refusal)};
            return mix;
        }
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const OpeningScheme scheme =
            !openings && i == longest ? OpeningScheme::division : OpeningScheme::given;
        if (auto refusal = check_calculation_inputs(inputs[i], scheme)) {
            mix.refusal = MixRefusal{i + 1, inputs[i].model, std::move(*refusal)};
            return mix;
        }
    }
    mix.openings = openings ? *openings : division_openings(inputs[longest]);

    if (scratch.size() < inputs.size()) scratch.resize(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        LawRun run;
        run.inputs = inputs[i];
        LawScratch& kept = scratch[i];
        if (!kept.built_for || !same_tables(*kept.built_for, run.inputs)) {
            kept.built_for.reset();
            SilentProgress progress;
            build_fiber_tables(run.inputs, kept.tables, progress);
            kept.built_for = run.inputs;
        }
        const FiberTables& tables = kept.tables;
        if (auto refusal = check_fiber_tables(run.inputs, tables)) {
            mix.refusal = MixRefusal{i + 1, run.inputs.model, std::move(*refusal)};
            mix.fibers.clear();
            return mix;
        }
        run.steps = bridging_law(run.inputs, tables, mix.openings);
        mix.fibers.push_back(std::move(run));
    }
    mix.steps = mix_steps(mix.fibers);
    return mix;
}

MixRun compute_mix(const std::vector<InputSet>& fibers, const InputSet& shared,
                   const std::optional<std::vector<double>>& openings) {
    MixScratch scratch;
    return compute_mix(fibers, shared, openings, scratch);
}

}  // namespace quarnel
