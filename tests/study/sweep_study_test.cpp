#include "study/sweep_study.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "engine/input_table.h"
#include "engine/text_to_number.h"

namespace quarnel {
namespace {

// What a call gives: its result, or its message.
template <typename F>
std::string outcome(F&& f) {
    try {
        return f();
    } catch (const std::invalid_argument& e) {
        return std::string("refused: ") + e.what();
    }
}

struct TargetCase {
    const char* name;
    std::size_t fibers;
    const char* expected;  // "fiber member", or the refusal
};

class SweepTargetRule : public testing::TestWithParam<TargetCase> {};

TEST_P(SweepTargetRule, gives_the_target_or_names_the_rule) {
    const TargetCase& c = GetParam();
    EXPECT_EQ(outcome([&] {
                  const SweepTarget t = sweep_target(c.name, c.fibers);
                  return std::to_string(t.fiber) + " " + t.member;
              }),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SweepTargetRule,
    testing::Values(
        TargetCase{"Vf", 0, "0 Vf"}, TargetCase{"A", 0, "0 Pmax"},
        TargetCase{"model", 0, "0 model"}, TargetCase{"nope", 0, "refused: nope: unknown name"},
        TargetCase{"fiber1.Vf", 0, "refused: fiber1.Vf: only a mix has fiber types"},
        TargetCase{"fiber2.B", 2, "2 delta_max"}, TargetCase{"fiber1.model", 2, "1 model"},
        TargetCase{"Am", 2, "0 Am"}, TargetCase{"division", 1, "0 division"},
        TargetCase{"fiber3.Vf", 2, "refused: fiber3.Vf: the mix has fiber types 1 to 2"},
        TargetCase{"fiber0.Vf", 2, "refused: fiber0.Vf: the mix has fiber types 1 to 2"},
        TargetCase{"fiberx.Vf", 2, "refused: fiberx.Vf: the mix has fiber types 1 to 2"},
        TargetCase{"fiber1.Am", 2, "refused: fiber1.Am: \"Am\" is not an input of a fiber type"},
        TargetCase{"fiber1.nope", 2,
                   "refused: fiber1.nope: \"nope\" is not an input of a fiber type"},
        TargetCase{"Vf", 2,
                   "refused: Vf: in a mix each type has its own Vf; vary it as fiber1.Vf, "
                   "fiber2.Vf, ..."},
        TargetCase{"nope", 2, "refused: nope: unknown name"}));

struct ModelCase {
    const char* argument;
    const char* expected;  // the values joined by ",", or the refusal
};

class ModelAxis : public testing::TestWithParam<ModelCase> {};

// A model axis takes its items as a single run's model=TEXT takes them.
TEST_P(ModelAxis, holds_only_1_and_2) {
    EXPECT_EQ(outcome([&] {
                  const SweepVaried v = parse_varied_input(GetParam().argument, 2);
                  std::string values;
                  for (std::size_t i = 0; i < std::min<std::size_t>(v.axis.size(), 5); ++i) {
                      const InputValue value = v.axis.value(i);
                      values +=
                          (i ? "," : "") + (std::holds_alternative<std::string>(value)
                                                ? std::get<std::string>(value)
                                                : shortest_number_text(std::get<double>(value)));
                  }
                  return values;
              }),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Items, ModelAxis,
    testing::Values(
        ModelCase{"fiber1.model=constant, function-lb,1,2", "1,2,1,2"},
        ModelCase{"fiber2.model=1:2:2", "1,2"}, ModelCase{"fiber2.model=2:2:4", "2,2,2,2"},
        ModelCase{"fiber1.model=1,1.0",
                  "refused: fiber1.model: \"1.0\" is not 1, 2, constant or function-lb"},
        ModelCase{"fiber1.model=Constant",
                  "refused: fiber1.model: \"Constant\" is not 1, 2, constant or function-lb"},
        ModelCase{"fiber1.model=1:2:3",
                  "refused: fiber1.model: the range's point 1.5 is not 1 or 2"},
        ModelCase{"fiber1.model=2:1:1e9",
                  "refused: fiber1.model: the range's point 1.999999999 is not 1 or 2"},
        ModelCase{"fiber1.model=0:2:2", "refused: fiber1.model: the range's point 0 is not 1 or 2"},
        ModelCase{"fiber1.model=1:3:2", "refused: fiber1.model: the range's point 3 is not 1 or 2"},
        // Other inputs keep their texts.
        ModelCase{"fiber1.Vf=constant,1.0", "constant,1.0"},
        ModelCase{"Vf=1",
                  "refused: Vf: in a mix each type has its own Vf; vary it as fiber1.Vf, "
                  "fiber2.Vf, ..."}));

class OrientationWeightsAxis : public testing::TestWithParam<ModelCase> {};

// An orientation_weights axis holds words, checked when the axis is read.
TEST_P(OrientationWeightsAxis, holds_only_classic_and_exact) {
    EXPECT_EQ(outcome([&] {
                  const SweepVaried v = parse_varied_input(GetParam().argument, 2);
                  std::string values;
                  for (std::size_t i = 0; i < v.axis.size(); ++i) {
                      values += (i ? "," : "") + std::get<std::string>(v.axis.value(i));
                  }
                  return v.target.member + "=" + values;
              }),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Items, OrientationWeightsAxis,
    testing::Values(
        ModelCase{"fiber1.orientation_weights=classic, exact", "orientation_weights=classic,exact"},
        ModelCase{"fiber2.orientation_weights=exact", "orientation_weights=exact"},
        ModelCase{"fiber1.orientation_weights=classic,Exact",
                  "refused: fiber1.orientation_weights: \"Exact\" is not classic or exact"},
        ModelCase{"fiber1.orientation_weights=1",
                  "refused: fiber1.orientation_weights: \"1\" is not classic or exact"},
        ModelCase{"fiber1.orientation_weights=0:1:2",
                  "refused: fiber1.orientation_weights: takes the texts classic and exact, not a "
                  "range of numbers"},
        ModelCase{"orientation_weights=exact",
                  "refused: orientation_weights: in a mix each type has its own "
                  "orientation_weights; vary it as fiber1.orientation_weights, "
                  "fiber2.orientation_weights, ..."}));

TEST(AxisNotes, name_the_items_whose_characters_were_ignored) {
    EXPECT_EQ(axis_notes(parse_varied_input("kxy=abc, 2mm,3,1e2", 0).axis),
              (std::vector<std::string>{"kxy: \"abc\" read as 0", "kxy: \"2mm\" read as 2"}));
    EXPECT_TRUE(axis_notes(parse_varied_input("kxy=1:3:3", 0).axis).empty());
}

// Every number of the criteria and the steps by its bits, so that a
// difference shows where it lies.
std::string bits(double x) {
    return std::to_string(std::bit_cast<std::uint64_t>(x));
}

std::string bits(const LawCriteria& c) {
    std::string text;
    for (const double x :
         {c.sigma_max, c.P_max, c.Wcr_peak, c.ratio_initial, c.ratio_at_peak, c.J_b_prime, c.G_b,
          c.psh_strength.value_or(-1), c.psh_energy.value_or(-1), c.change.value_or(-1)}) {
        text += bits(x) + " ";
    }
    const auto verdict = [](const std::optional<bool>& v) {
        return v ? std::to_string(*v) : std::string("none");
    };
    return text + verdict(c.strain_hardening) + " " + verdict(c.strain_hardening_margin) + " " +
           std::to_string(static_cast<int>(c.source)) + " " + std::to_string(c.openings) + " " +
           std::to_string(c.laws) + " " + std::to_string(c.converged) + " " + c.why_none;
}

std::string bits(const std::vector<StepValues>& steps) {
    std::string text;
    for (const StepValues& s : steps) {
        text += std::to_string(s.n) + ":";
        for (const double x :
             {s.Wcr, s.P, s.sigma, s.N_eff, s.effective_fiber_ratio, s.P_top, s.sigma_top}) {
            text += " " + bits(x);
        }
        text += "\n";
    }
    return text;
}

std::string refusal_text(const std::optional<MixRefusal>& r) {
    if (!r) return "none";
    return std::to_string(r->fiber) + " " + std::to_string(r->model) + " " + r->refusal.member +
           " " + r->refusal.message;
}

void vary(SweepSpec& spec, const std::string& argument) {
    SweepVaried v = parse_varied_input(argument, spec.fibers.size());
    spec.axes.push_back(std::move(v.axis));
    spec.targets.push_back(v.target);
}

// Eight single laws of both models, with criteria against the matrix.
SweepSpec single_law_sweep() {
    SweepSpec spec;
    spec.base = default_input_texts();
    spec.base["division"] = "4";
    spec.base["model"] = 1.0;
    spec.base["C"] = "0.05";
    spec.base["D"] = "0.3";
    vary(spec, "Vf=0.02,0.01");
    vary(spec, "delta_max=0.45,0");
    vary(spec, "model=constant,function-lb");
    spec.matrix = {0.05, 10};
    spec.keep_steps = true;
    spec.keep_laws = true;
    return spec;
}

// The criteria are converged by default, on openings of their own, and from
// the run's steps when the spec asks for them so; either way those of a
// single run, bit for bit, whatever the scratch held.
TEST(ComputeSweepRun, a_single_law_run_is_compute_law_and_its_criteria_bit_for_bit) {
    SweepSpec spec = single_law_sweep();
    spec.axes[0] = parse_sweep_axis("Vf=0.02,abc", [](const std::string&) { return true; });
    spec.criteria.psh_margins = PshMargins{1.3, 2.7};
    SweepSpec from_steps = spec;
    from_steps.criteria.source = CriteriaSource::steps;
    const SweepPlan plan = sweep_plan(spec);
    ASSERT_EQ(plan.runs(), 8u);
    SweepScratch scratch;  // kept over the runs, as a thread keeps it
    for (std::size_t r = 0; r < plan.runs(); ++r) {
        SCOPED_TRACE("run " + std::to_string(r));
        InputSet inputs = spec.base;
        inputs["Vf"] = std::vector<std::string>{"0.02", "abc"}[r / 4];
        inputs["delta_max"] = std::vector<std::string>{"0.45", "0"}[r / 2 % 2];
        inputs["model"] = std::vector<std::string>{"1", "2"}[r % 2];
        const LawRun law = compute_law(inputs, std::nullopt);
        const SweepRunResult result = compute_sweep_run(spec, plan, r, scratch);
        EXPECT_EQ(result.run, r);
        EXPECT_EQ(result.at, plan.value_indices(r));
        if (law.refused()) {
            EXPECT_EQ(refusal_text(result.refusal),
                      refusal_text(MixRefusal{0, law.inputs.model, *law.refusal}));
            EXPECT_TRUE(result.steps.empty());
            EXPECT_TRUE(result.laws.empty());
            continue;
        }
        ASSERT_FALSE(result.refused()) << refusal_text(result.refusal);
        LawScratch fresh;
        EXPECT_EQ(bits(result.criteria),
                  bits(converged_law_criteria(inputs, spec.matrix, spec.criteria, fresh)));
        EXPECT_EQ(result.criteria.source, CriteriaSource::converged);
        EXPECT_TRUE(result.criteria.converged);
        EXPECT_EQ(bits(compute_sweep_run(from_steps, plan, r, scratch).criteria),
                  bits(law_criteria(law.steps, spec.matrix, spec.criteria.psh_margins)));
        EXPECT_EQ(bits(result.steps), bits(law.steps));
        ASSERT_EQ(result.laws.size(), 1u);
        EXPECT_EQ(result.laws[0].inputs, inputs);
        EXPECT_EQ(bits(result.laws[0].calculation.delta_max), bits(law.inputs.delta_max));
        EXPECT_EQ(result.laws[0].calculation.model, law.inputs.model);
        EXPECT_EQ(bits(result.laws[0].steps), bits(law.steps));
    }
    // Refused before the tables (Vf "abc" reads as 0), with the refused
    // law's model, and by them (delta_max 0 in the Constant model).
    EXPECT_EQ(refusal_text(compute_sweep_run(spec, plan, 5, scratch).refusal).substr(0, 7),
              "0 2 Vf ");
    EXPECT_EQ(compute_sweep_run(spec, plan, 2, scratch).refusal->refusal.member, "delta_max");
}

TEST(ComputeSweepRun, a_mix_run_is_compute_mix_and_its_criteria_bit_for_bit) {
    InputSet type = default_input_texts();
    type["model"] = "2";
    type["C"] = "0.05";
    type["D"] = "0.3";
    SweepSpec spec;
    spec.base = shared_inputs_of(type);
    spec.base["division"] = "4";
    spec.fibers = {fiber_inputs_of(default_input_texts()), fiber_inputs_of(type)};
    vary(spec, "fiber2.Vf=0.005,0");
    vary(spec, "crack_xy=0:30:2");
    vary(spec, "fiber1.Af=0.19635,0");
    spec.zip = true;
    spec.keep_laws = true;
    SweepSpec from_steps = spec;
    from_steps.criteria.source = CriteriaSource::steps;
    const SweepPlan plan = sweep_plan(spec);
    SweepScratch scratch;
    for (std::size_t r = 0; r < plan.runs(); ++r) {
        SCOPED_TRACE("run " + std::to_string(r));
        std::vector<InputSet> fibers = spec.fibers;
        InputSet shared = spec.base;
        fibers[1]["Vf"] = std::vector<std::string>{"0.005", "0"}[r];
        shared["crack_xy"] = std::vector<double>{0, 30}[r];
        fibers[0]["Af"] = std::vector<std::string>{"0.19635", "0"}[r];
        const MixRun mix = compute_mix(fibers, shared, std::nullopt);
        const SweepRunResult result = compute_sweep_run(spec, plan, r, scratch);
        EXPECT_EQ(refusal_text(result.refusal), refusal_text(mix.refusal));
        if (mix.refused()) continue;
        MixScratch fresh;
        EXPECT_EQ(bits(result.criteria),
                  bits(converged_mix_criteria(fibers, shared, spec.matrix, spec.criteria, fresh)));
        EXPECT_EQ(bits(compute_sweep_run(from_steps, plan, r, scratch).criteria),
                  bits(law_criteria(mix.steps, spec.matrix)));
        EXPECT_TRUE(result.steps.empty());  // not kept
        ASSERT_EQ(result.laws.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            InputSet given = fibers[i];
            given.insert(shared.begin(), shared.end());
            EXPECT_EQ(result.laws[i].inputs, given);
            EXPECT_EQ(result.laws[i].calculation.model, mix.fibers[i].inputs.model);
            EXPECT_EQ(bits(result.laws[i].steps), bits(mix.fibers[i].steps));
        }
    }
    EXPECT_EQ(compute_sweep_run(spec, plan, 1, scratch).refusal->fiber, 1u);
}

TEST(RunSweep, a_range_of_runs_gives_those_runs_of_the_whole_sweep) {
    const SweepSpec spec = single_law_sweep();
    const SweepPlan plan = sweep_plan(spec);
    std::vector<std::string> whole;
    SweepScratch scratch;
    for (std::size_t r = 0; r < plan.runs(); ++r) {
        const SweepRunResult result = compute_sweep_run(spec, plan, r, scratch);
        whole.push_back(refusal_text(result.refusal) + bits(result.criteria) + bits(result.steps));
    }
    for (const int jobs : {1, 2}) {
        std::vector<std::size_t> runs;
        const std::size_t consumed = run_sweep(
            spec, plan, 3, 7, jobs,
            [&](SweepRunResult&& result) {
                runs.push_back(result.run);
                EXPECT_EQ(refusal_text(result.refusal) + bits(result.criteria) + bits(result.steps),
                          whole[result.run])
                    << "run " << result.run << ", jobs " << jobs;
                return true;
            },
            nullptr);
        EXPECT_EQ(consumed, 4u);
        EXPECT_EQ(runs, (std::vector<std::size_t>{3, 4, 5, 6}));
    }
    const auto none = [](SweepRunResult&&) { return true; };
    EXPECT_EQ(run_sweep(spec, plan, 8, 8, 1, none, nullptr), 0u);
    EXPECT_THROW(run_sweep(spec, plan, 7, 9, 1, none, nullptr), std::out_of_range);
    EXPECT_THROW(run_sweep(spec, plan, 5, 4, 1, none, nullptr), std::out_of_range);
}

// The single-law sweep made a mix of `types` copies of its type, the axes
// going to `targets`.
void make_mix(SweepSpec& s, std::size_t types, std::vector<SweepTarget> targets) {
    s.fibers.assign(types, fiber_inputs_of(s.base));
    s.base = shared_inputs_of(s.base);
    s.targets = std::move(targets);
}

// What no run could be computed from is refused before any run.
TEST(SweepPlanOfSpec, refuses_what_no_run_could_be_computed_from) {
    const std::vector<std::pair<std::function<void(SweepSpec&)>, std::string>> cases = {
        {[](SweepSpec& s) { s.targets.pop_back(); },
         "a sweep needs one target per varied input, but has 2 for 3"},
        {[](SweepSpec& s) { vary(s, "B=1,2"); }, "B: the input is varied twice, also as delta_max"},
        {[](SweepSpec& s) { vary(s, "Vf=1"); }, "Vf: the input is varied twice"},
        {[](SweepSpec& s) { s.targets[0].member = "A"; },
         "Vf: \"A\" is not the member of an input"},
        {[](SweepSpec& s) { s.targets[0].fiber = 1; }, "Vf: only a mix has fiber types"},
        {[](SweepSpec& s) { std::get<std::vector<std::string>>(s.axes[2].values)[0] = "constant"; },
         "model: a model axis holds 1 and 2 only, not \"constant\""},
        {[](SweepSpec& s) { s.base["nope"] = "1"; }, "unknown input name \"nope\""},
        {[](SweepSpec& s) { s.base["A"] = "1"; }, "the input Pmax is given twice"},
        {[](SweepSpec& s) {
             s.base["model"] = "3";  // read when the model is not varied
             s.axes.pop_back();
             s.targets.pop_back();
         },
         "model must be 1 or 2"},
        {[](SweepSpec& s) {
             make_mix(s, 1, {{1, "Vf"}, {1, "delta_max"}, {0, "model"}});
         },
         "model: in a mix each type has its own model"},
        {[](SweepSpec& s) {
             make_mix(s, 1, {{1, "Vf"}, {1, "delta_max"}, {2, "model"}});
         },
         "model: the mix has fiber types 1 to 1"},
        {[](SweepSpec& s) {
             make_mix(s, 1, {{1, "Vf"}, {1, "delta_max"}, {1, "Am"}});
         },
         "model: \"Am\" is not an input of a fiber type"},
        {[](SweepSpec& s) {
             make_mix(s, 1, {{1, "Vf"}, {1, "delta_max"}, {1, "model"}});
             s.base["Lf"] = "3";
         },
         "\"Lf\" is not an input the fiber types share"},
        {[](SweepSpec& s) {
             make_mix(s, 1, {{1, "Vf"}, {1, "delta_max"}, {1, "model"}});
             s.fibers[0]["Am"] = "3";
         },
         "fiber type 1 names \"Am\", which the fiber types share"},
    };
    for (const auto& [change, message] : cases) {
        SweepSpec spec = single_law_sweep();
        change(spec);
        EXPECT_EQ(outcome([&] {
                      sweep_plan(spec);
                      return std::string("accepted");
                  }),
                  "refused: " + message);
    }
    // Every item of a words axis is checked, not only the first run's.
    SweepSpec words = single_law_sweep();
    vary(words, "orientation_weights=classic,exact");
    std::get<std::vector<std::string>>(words.axes.back().values)[1] = "exactly";
    EXPECT_EQ(outcome([&] {
                  sweep_plan(words);
                  return std::string("accepted");
              }),
              "refused: orientation_weights: \"exactly\" is not classic or exact");

    // The same input of two types is two inputs.
    SweepSpec mix = single_law_sweep();
    make_mix(mix, 2, {{1, "Vf"}, {2, "Vf"}, {2, "model"}});
    EXPECT_EQ(sweep_plan(mix).runs(), 8u);
}

// Each run carries the warnings and the measure of its own law's weights;
// a mix's name the type.
TEST(ComputeSweepRun, each_run_carries_its_orientation_warnings) {
    SweepSpec spec;
    spec.base = {{"kxy", "1e4"}, {"division", "1"}};
    vary(spec, "orientation_weights=classic,exact");
    vary(spec, "Lf=30,0");
    const SweepPlan plan = sweep_plan(spec);
    SweepScratch scratch;
    const SweepRunResult classic = compute_sweep_run(spec, plan, 0, scratch);
    ASSERT_EQ(classic.warnings.size(), 1u);
    EXPECT_EQ(classic.warnings[0].rfind("x-y plane: ", 0), 0u);
    EXPECT_NEAR(classic.orientation_weight_error, 1 - 0.716312, 1e-6);
    const SweepRunResult refused = compute_sweep_run(spec, plan, 1, scratch);
    ASSERT_TRUE(refused.refused());
    EXPECT_TRUE(refused.warnings.empty());
    EXPECT_TRUE(std::isnan(refused.orientation_weight_error));
    const SweepRunResult exact = compute_sweep_run(spec, plan, 2, scratch);
    EXPECT_TRUE(exact.warnings.empty());
    EXPECT_LT(exact.orientation_weight_error, 1e-12);
    EXPECT_NE(bits(exact.criteria), bits(classic.criteria));

    SweepSpec mix;
    mix.base = {{"division", "1"}};
    mix.fibers = {{{"kxy", "4"}}, {{"kzx", "1e4"}, {"theta_r_zx", "1"}}};
    vary(mix, "fiber1.Vf=0.01,0.02");
    const SweepRunResult run = compute_sweep_run(mix, sweep_plan(mix), 0, scratch);
    ASSERT_EQ(run.warnings.size(), 1u);
    EXPECT_EQ(run.warnings[0].rfind("fiber type 2: z-x plane: ", 0), 0u) << run.warnings[0];
    EXPECT_GT(run.orientation_weight_error, 0.3);
}

}  // namespace
}  // namespace quarnel
