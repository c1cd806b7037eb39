#include "sweep_study.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "engine/orientation_check.h"
#include "engine/text_to_number.h"
#include "study/fiber_mix.h"

namespace quarnel {

namespace {

// A range's points are monotonic and those between two different ends lie
// strictly between them, so the ends and the inner points next to them are
// all 1 or 2 only when every point is.
void check_model_points(const SweepAxis& axis) {
    const std::size_t n = axis.size();
    if (const auto* numbers = std::get_if<std::vector<double>>(&axis.values)) {
        for (const double x : *numbers) {
            if (x != 1 && x != 2) {
                throw std::invalid_argument(axis.name + ": the number " + shortest_number_text(x) +
                                            " is not 1 or 2");
            }
        }
        return;
    }
    for (const std::size_t i : {std::size_t{0}, std::size_t{1}, n - 2, n - 1}) {
        if (i >= n) continue;
        const double x = axis.number(i);
        if (x != 1 && x != 2) {
            throw std::invalid_argument(axis.name + ": the range's point " +
                                        shortest_number_text(x) + " is not 1 or 2");
        }
    }
}

// A model axis of a spec holds 1 and 2 only, as check_model_axis leaves it.
void check_model_values(const SweepAxis& axis) {
    const auto* items = std::get_if<std::vector<std::string>>(&axis.values);
    if (!items) return check_model_points(axis);
    for (const std::string& item : *items) {
        if (item != "1" && item != "2") {
            throw std::invalid_argument(axis.name + ": a model axis holds 1 and 2 only, not \"" +
                                        item + "\"");
        }
    }
}

// The inputs of one run: a single law's, or a mix's shared inputs and types.
struct RunInputs {
    InputSet base;
    std::vector<InputSet> fibers;
};

RunInputs run_inputs(const SweepSpec& spec, const std::vector<std::size_t>& at) {
    RunInputs run{spec.base, spec.fibers};
    for (std::size_t a = 0; a < spec.axes.size(); ++a) {
        const SweepTarget& target = spec.targets[a];
        if (is_matrix_property(target.member)) continue;
        InputSet& into = target.fiber == 0 ? run.base : run.fibers[target.fiber - 1];
        into[target.member] = spec.axes[a].value(at[a]);
    }
    return run;
}

// A type's inputs with the shared ones, as compute_mix reads them.
InputSet with_shared(InputSet fiber, const InputSet& shared) {
    fiber.insert(shared.begin(), shared.end());
    return fiber;
}

// The matrix of run `at`: the spec's, with the varied properties' values.
// A value that is not a finite number above 0 refuses the run.
MatrixProperties run_matrix(const SweepSpec& spec, const std::vector<std::size_t>& at,
                            std::optional<InputRefusal>& refusal) {
    MatrixProperties matrix = spec.matrix;
    for (std::size_t a = 0; a < spec.axes.size(); ++a) {
        const std::string& member = spec.targets[a].member;
        if (!is_matrix_property(member)) continue;
        const double x = spec.axes[a].number(at[a]);
        if (!(x > 0 && std::isfinite(x)) && !refusal) {
            refusal = InputRefusal{member, member + " must be a finite number above 0, not " +
                                               shortest_number_text(x)};
        }
        (member == "sigma_fc" ? matrix.sigma_fc : matrix.J_tip) = x;
    }
    return matrix;
}

}  // namespace

bool is_matrix_property(const std::string& name) {
    return name == "sigma_fc" || name == "J_tip";
}

MatrixProperties sweep_matrix(const SweepSpec& spec) {
    MatrixProperties matrix = spec.matrix;
    for (const SweepTarget& target : spec.targets) {
        if (target.member == "sigma_fc") matrix.sigma_fc = std::numeric_limits<double>::quiet_NaN();
        if (target.member == "J_tip") matrix.J_tip = std::numeric_limits<double>::quiet_NaN();
    }
    return matrix;
}

SweepTarget sweep_target(const std::string& name, std::size_t fibers) {
    const auto refuse = [&](const std::string& rule) {
        throw std::invalid_argument(name + ": " + rule);
    };
    if (is_matrix_property(name)) return {0, name};
    const std::size_t dot = name.find('.');
    const bool typed = name.rfind("fiber", 0) == 0 && dot != std::string::npos;
    if (fibers == 0) {
        if (const std::string member = input_member(name); !member.empty()) return {0, member};
        if (typed) refuse("only a mix has fiber types");
        refuse("unknown name");
    }
    if (typed) {
        const std::string number = name.substr(5, dot - 5);
        const std::string rest = name.substr(dot + 1);
        const bool digits = !number.empty() && number.size() < 6 &&
                            number.find_first_not_of("0123456789") == std::string::npos;
        const std::size_t n = digits ? std::stoul(number) : 0;
        if (n < 1 || n > fibers) refuse("the mix has fiber types 1 to " + std::to_string(fibers));
        if (!is_fiber_input(rest)) refuse("\"" + rest + "\" is not an input of a fiber type");
        return {n, input_member(rest)};
    }
    if (is_shared_mix_input(name)) return {0, input_member(name)};
    if (!input_member(name).empty()) {
        refuse("in a mix each type has its own " + name + "; vary it as fiber1." + name +
               ", fiber2." + name + ", ...");
    }
    refuse("unknown name");
    return {};
}

void check_model_axis(SweepAxis& axis) {
    auto* items = std::get_if<std::vector<std::string>>(&axis.values);
    if (!items) return check_model_points(axis);
    for (std::string& item : *items) {
        if (item == "constant") item = "1";
        if (item == "function-lb") item = "2";
        if (item != "1" && item != "2") {
            throw std::invalid_argument(axis.name + ": \"" + item +
                                        "\" is not 1, 2, constant or function-lb");
        }
    }
}

void check_orientation_weights_axis(const SweepAxis& axis) {
    const auto* items = std::get_if<std::vector<std::string>>(&axis.values);
    if (!items) {
        const bool range = std::holds_alternative<SweepRange>(axis.values);
        throw std::invalid_argument(axis.name + ": takes the texts classic and exact, not " +
                                    (range ? "a range of numbers" : "numbers"));
    }
    for (const std::string& item : *items) {
        try {
            read_orientation_weights(item);
        } catch (const std::invalid_argument&) {
            throw std::invalid_argument(axis.name + ": \"" + item + "\" is not classic or exact");
        }
    }
}

SweepVaried parse_varied_input(const std::string& argument, std::size_t fibers) {
    SweepVaried varied;
    // The name's rules come before those of the values, as the name is read first.
    varied.axis = parse_sweep_axis(argument, [&](const std::string& name) {
        varied.target = sweep_target(name, fibers);
        return true;
    });
    if (varied.target.member == "model") check_model_axis(varied.axis);
    if (varied.target.member == "orientation_weights") check_orientation_weights_axis(varied.axis);
    return varied;
}

std::vector<std::string> axis_notes(const SweepAxis& axis) {
    std::vector<std::string> notes;
    const auto* items = std::get_if<std::vector<std::string>>(&axis.values);
    if (!items) return notes;
    for (const std::string& item : *items) {
        const NumberReading reading = read_number_text(item);
        if (!reading.ignored.empty()) {
            notes.push_back(axis.name + ": \"" + item + "\" read as " +
                            shortest_number_text(reading.value));
        }
    }
    return notes;
}

SweepPlan sweep_plan(const SweepSpec& spec) {
    const std::size_t fibers = spec.fibers.size();
    if (spec.targets.size() != spec.axes.size()) {
        throw std::invalid_argument("a sweep needs one target per varied input, but has " +
                                    std::to_string(spec.targets.size()) + " for " +
                                    std::to_string(spec.axes.size()));
    }
    for (std::size_t a = 0; a < spec.axes.size(); ++a) {
        const SweepAxis& axis = spec.axes[a];
        const SweepTarget& target = spec.targets[a];
        const auto refuse = [&](const std::string& rule) {
            throw std::invalid_argument(axis.name + ": " + rule);
        };
        if (is_matrix_property(target.member)) {
            if (target.fiber != 0) refuse("the matrix's " + target.member + " is no fiber type's");
            if (target.member == "sigma_fc" ? spec.matrix.sigma_fc.has_value()
                                            : spec.matrix.J_tip.has_value()) {
                refuse("the matrix's " + target.member + " is both given and varied");
            }
        } else if (input_member(target.member) != target.member) {
            refuse("\"" + target.member + "\" is not the member of an input");
        }
        if (target.fiber > fibers) {
            refuse(fibers == 0 ? "only a mix has fiber types"
                               : "the mix has fiber types 1 to " + std::to_string(fibers));
        }
        if (fibers > 0 && target.fiber == 0 && !is_shared_mix_input(target.member) &&
            !is_matrix_property(target.member)) {
            refuse("in a mix each type has its own " + target.member);
        }
        if (target.fiber > 0 && !is_fiber_input(target.member)) {
            refuse("\"" + target.member + "\" is not an input of a fiber type");
        }
        for (std::size_t b = 0; b < a; ++b) {
            if (spec.targets[b].fiber == target.fiber && spec.targets[b].member == target.member) {
                refuse("the input is varied twice" +
                       (spec.axes[b].name == axis.name ? "" : ", also as " + spec.axes[b].name));
            }
        }
        if (target.member == "model") check_model_values(axis);
        if (target.member == "orientation_weights") check_orientation_weights_axis(axis);
    }
    SweepPlan plan(spec.axes, spec.zip);

    // Every run has the same names, and a model axis gives only 1 or 2: when
    // the first run's inputs can be read, every run's can, and no run throws.
    const RunInputs first = run_inputs(spec, plan.value_indices(0));
    if (!spec.is_mix()) {
        read_calculation_inputs(first.base);
        return plan;
    }
    for (const auto& [name, value] : first.base) {
        if (!is_shared_mix_input(name)) {
            throw std::invalid_argument("\"" + name + "\" is not an input the fiber types share");
        }
    }
    for (std::size_t i = 0; i < fibers; ++i) {
        for (const auto& [name, value] : first.fibers[i]) {
            if (is_shared_mix_input(name)) {
                throw std::invalid_argument("fiber type " + std::to_string(i + 1) + " names \"" +
                                            name + "\", which the fiber types share");
            }
        }
        read_calculation_inputs(with_shared(first.fibers[i], first.base));
    }
    return plan;
}

SweepRunResult compute_sweep_run(const SweepSpec& spec, const SweepPlan& plan, std::size_t run,
                                 SweepScratch& scratch) {
    SweepRunResult result;
    result.run = run;
    result.at = plan.value_indices(run);
    RunInputs inputs = run_inputs(spec, result.at);
    std::optional<InputRefusal> matrix_refusal;
    const MatrixProperties matrix = run_matrix(spec, result.at, matrix_refusal);
    if (!spec.is_mix()) {
        LawRun law = compute_law(inputs.base, spec.openings, scratch.law);
        if (law.refused() || matrix_refusal) {
            result.refusal = MixRefusal{0, law.inputs.model,
                                        law.refused() ? std::move(*law.refusal) : *matrix_refusal};
            return result;
        }
        result.criteria =
            criteria_of_law(inputs.base, law.steps, matrix, spec.criteria, scratch.law);
        result.warnings = orientation_weight_warnings(law.inputs);
        result.orientation_weight_error = orientation_weight_error(law.inputs);
        if (spec.keep_laws) {
            result.laws.push_back({std::move(inputs.base), law.inputs,
                                   spec.keep_steps ? law.steps : std::move(law.steps)});
        }
        if (spec.keep_steps) result.steps = std::move(law.steps);
        return result;
    }
    MixRun mix = compute_mix(inputs.fibers, inputs.base, spec.openings, scratch.mix);
    if (mix.refused()) {
        result.refusal = std::move(mix.refusal);
        return result;
    }
    if (matrix_refusal) {
        result.refusal = MixRefusal{0, 1, *matrix_refusal};
        return result;
    }
    result.criteria =
        criteria_of_mix(inputs.fibers, inputs.base, mix.steps, matrix, spec.criteria, scratch.mix);
    result.orientation_weight_error = 0;
    for (std::size_t i = 0; i < mix.fibers.size(); ++i) {
        const CalculationInputs& type = mix.fibers[i].inputs;
        for (const std::string& warning : orientation_weight_warnings(type)) {
            result.warnings.push_back("fiber type " + std::to_string(i + 1) + ": " + warning);
        }
        const double error = orientation_weight_error(type);
        if (error > result.orientation_weight_error) result.orientation_weight_error = error;
    }
    if (spec.keep_laws) {
        for (std::size_t i = 0; i < inputs.fibers.size(); ++i) {
            result.laws.push_back({with_shared(std::move(inputs.fibers[i]), inputs.base),
                                   mix.fibers[i].inputs, std::move(mix.fibers[i].steps)});
        }
    }
    if (spec.keep_steps) result.steps = std::move(mix.steps);
    return result;
}

std::size_t run_sweep(const SweepSpec& spec, const SweepPlan& plan, std::size_t first,
                      std::size_t last, int jobs,
                      const std::function<bool(SweepRunResult&&)>& consume,
                      const std::function<bool()>& stop) {
    if (last > plan.runs() || first > last) {
        throw std::out_of_range("runs " + std::to_string(first) + " to " + std::to_string(last) +
                                " are not within the sweep's " + std::to_string(plan.runs()));
    }
    const std::function<SweepRunResult(std::size_t, SweepScratch&)> compute =
        [&](std::size_t r, SweepScratch& scratch) {
            return compute_sweep_run(spec, plan, first + r, scratch);
        };
    return run_in_order<SweepRunResult, SweepScratch>(last - first, jobs, compute, consume, stop);
}

}  // namespace quarnel
