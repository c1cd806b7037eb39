#include "study/fiber_mix.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/crack_openings.h"
#include "engine/input_table.h"
#include "study/law_run.h"
#include "tests/support/bits.h"
#include "tests/support/steps.h"

namespace quarnel {
namespace {

using quarnel_test::same_bits;

// A fiber type: the window's defaults without the shared inputs, then `set`.
InputSet fiber(const InputSet& set) {
    InputSet inputs = default_input_texts();
    for (const std::string& member : shared_mix_members()) inputs.erase(member);
    for (const auto& [name, value] : set) inputs[name] = value;
    return inputs;
}

InputSet shared(const InputSet& set = {}) {
    InputSet inputs = {{"Am", "2500"}, {"crack_xy", "0"}, {"crack_zx", "0"}, {"division", "6"}};
    for (const auto& [name, value] : set) inputs[name] = value;
    return inputs;
}

// The single run of a type with the shared inputs.
LawRun single(const InputSet& type, const InputSet& shared_inputs,
              const std::optional<std::vector<double>>& openings) {
    InputSet all = type;
    all.insert(shared_inputs.begin(), shared_inputs.end());
    return compute_law(all, openings);
}

const InputSet pva = {{"Vf", "0.015"},      {"Af", "0.001257"}, {"Lf", "12"},
                      {"sigma_fu", "1600"}, {"Pmax", "0.9"},    {"delta_max", "0.15"}};
const InputSet steel = {{"Vf", "0.0123"},     {"Lf", "30"}, {"sigma_fu", "2000"}, {"Pmax", "40"},
                        {"delta_max", "0.3"}, {"kxy", "2"}, {"theta_r_xy", "20"}};
const InputSet fitted = {{"model", "2"},        {"Lf", "18"},  {"Vf", "0.0071"}, {"Pmax", "3"},
                         {"delta_max", "0.45"}, {"C", "0.05"}, {"D", "0.3"}};

void expect_same_steps(const std::vector<StepValues>& mix, const std::vector<StepValues>& law) {
    ASSERT_FALSE(mix.empty());
    quarnel_test::expect_same_steps(mix, law);
}

TEST(FiberMix, a_mix_of_one_type_is_its_single_run_bit_for_bit) {
    const std::vector<double> given = {0, 0.02, 0.3, 0.1, 2, 7.5};
    for (const InputSet& type : {pva, steel, fitted}) {
        const InputSet s = shared({{"crack_xy", "15"}, {"Am", "1600.5"}});
        const MixRun by_division = compute_mix({fiber(type)}, s, std::nullopt);
        ASSERT_FALSE(by_division.refused());
        expect_same_steps(by_division.steps, single(fiber(type), s, std::nullopt).steps);
        const MixRun at_given = compute_mix({fiber(type)}, s, given);
        ASSERT_FALSE(at_given.refused());
        expect_same_steps(at_given.steps, single(fiber(type), s, given).steps);
    }
}

TEST(FiberMix, a_mix_is_the_in_order_sum_of_its_types_single_runs) {
    const std::vector<InputSet> types = {fiber(pva), fiber(steel), fiber(fitted)};
    const InputSet s = shared({{"Am", "2500.3"}, {"crack_zx", "10"}, {"division", "30"}});
    const MixRun mix = compute_mix(types, s, std::nullopt);
    ASSERT_FALSE(mix.refused());
    std::vector<LawRun> laws;
    for (const InputSet& type : types) laws.push_back(single(type, s, mix.openings));
    const double total_fiber = static_cast<double>(laws[0].inputs.total_fiber) +
                               laws[1].inputs.total_fiber + laws[2].inputs.total_fiber;
    ASSERT_EQ(mix.steps.size(), 61u);
    // The ratio comes from the counts: recovering each type's count as its
    // ratio times its total_fiber gives another ratio at some step here.
    bool counts_matter = false;
    for (std::size_t n = 0; n < mix.steps.size(); ++n) {
        double recovered = 0;
        double N_eff = 0;
        for (const LawRun& law : laws) {
            recovered += law.steps[n].effective_fiber_ratio * law.inputs.total_fiber;
            N_eff += law.steps[n].N_eff;
        }
        counts_matter |= recovered / total_fiber != N_eff / total_fiber;
    }
    ASSERT_TRUE(counts_matter);
    double P_top = -999999;
    for (std::size_t n = 0; n < mix.steps.size(); ++n) {
        SCOPED_TRACE("step " + std::to_string(n));
        const StepValues& m = mix.steps[n];
        const double P = laws[0].steps[n].P + laws[1].steps[n].P + laws[2].steps[n].P;
        const double N_eff =
            laws[0].steps[n].N_eff + laws[1].steps[n].N_eff + laws[2].steps[n].N_eff;
        EXPECT_TRUE(same_bits(m.Wcr, mix.openings[n]));
        EXPECT_TRUE(same_bits(m.P, P)) << m.P << " " << P;
        EXPECT_TRUE(same_bits(m.sigma, P / static_cast<double>(laws[0].inputs.Am)));
        EXPECT_TRUE(same_bits(m.N_eff, N_eff));
        EXPECT_TRUE(same_bits(m.effective_fiber_ratio, N_eff / total_fiber));
        if (P >= P_top) P_top = P;
        EXPECT_TRUE(same_bits(m.P_top, P_top));
        for (std::size_t i = 0; i < laws.size(); ++i) {
            EXPECT_TRUE(same_bits(mix.fibers[i].steps[n].P, laws[i].steps[n].P));
            EXPECT_TRUE(same_bits(mix.fibers[i].steps[n].effective_fiber_ratio,
                                  laws[i].steps[n].effective_fiber_ratio));
        }
    }
    // The sum does not depend on the openings' source: at given openings too.
    const std::vector<double> given = {0, 0.25, 0.05, 4};
    const MixRun at_given = compute_mix(types, s, given);
    ASSERT_EQ(at_given.steps.size(), given.size());
    const double P = single(types[0], s, given).steps[1].P + single(types[1], s, given).steps[1].P +
                     single(types[2], s, given).steps[1].P;
    EXPECT_TRUE(same_bits(at_given.steps[1].P, P));
}

TEST(FiberMix, openings_are_the_division_scheme_of_the_longest_type_first_on_a_tie) {
    const InputSet s = shared();
    const MixRun longest_second = compute_mix({fiber(pva), fiber(steel)}, s, std::nullopt);
    ASSERT_FALSE(longest_second.refused());
    EXPECT_EQ(longest_second.openings_fiber, 2u);
    EXPECT_EQ(longest_second.openings, division_openings(longest_second.fibers[1].inputs));
    EXPECT_NE(longest_second.openings, division_openings(longest_second.fibers[0].inputs));

    // A tie on Lf: the first type's Wcr_mid, 0.15, not the second's, 0.3.
    InputSet long_pva = pva;
    long_pva["Lf"] = "30";
    const MixRun tie = compute_mix({fiber(long_pva), fiber(steel)}, s, std::nullopt);
    ASSERT_FALSE(tie.refused());
    EXPECT_EQ(tie.openings_fiber, 1u);
    EXPECT_EQ(tie.openings, division_openings(tie.fibers[0].inputs));
    EXPECT_NE(tie.openings, division_openings(tie.fibers[1].inputs));

    // In the Function lb model a type's Wcr_mid is C (Lf/2)^D of its own Lf.
    const MixRun function = compute_mix({fiber(pva), fiber(fitted)}, s, std::nullopt);
    ASSERT_FALSE(function.refused());
    EXPECT_EQ(function.openings_fiber, 2u);
    EXPECT_EQ(function.openings, division_openings(function.fibers[1].inputs));
    EXPECT_NE(function.openings, division_openings(function.fibers[0].inputs));

    const std::vector<double> given = {0, 1, 0.5};
    const MixRun at_given = compute_mix({fiber(pva), fiber(steel)}, s, given);
    EXPECT_EQ(at_given.openings_fiber, 0u);
    EXPECT_EQ(at_given.openings, given);
}

TEST(FiberMix, refusals_name_the_first_refused_type_and_its_member) {
    const auto refusal = [](const std::vector<InputSet>& types, const InputSet& s,
                            const std::optional<std::vector<double>>& openings = std::nullopt) {
        const MixRun mix = compute_mix(types, s, openings);
        EXPECT_EQ(mix.steps.empty(), mix.refused());
        return mix.refusal.value_or(MixRefusal{99, 0, {"none", ""}});
    };
    InputSet no_length = steel;
    no_length["Lf"] = "0";
    InputSet no_fibers = pva;
    no_fibers["Vf"] = "0";
    InputSet huge_load = pva;
    huge_load["Pmax"] = "1e300";  // a cell's P1 beyond 32 bits: refused at its model setting

    MixRefusal r = refusal({fiber(pva), fiber(no_length)}, shared());
    EXPECT_EQ(r.fiber, 2u);
    EXPECT_EQ(r.refusal.member, "Lf");
    r = refusal({fiber(no_fibers), fiber(no_length)}, shared());
    EXPECT_EQ(r.fiber, 1u);
    EXPECT_EQ(r.refusal.member, "Vf");
    // Every type's inputs are checked before any model setting.
    r = refusal({fiber(huge_load), fiber(no_length)}, shared());
    EXPECT_EQ(r.fiber, 2u);
    EXPECT_EQ(r.refusal.member, "Lf");
    r = refusal({fiber(steel), fiber(huge_load)}, shared());
    EXPECT_EQ(r.fiber, 2u);
    EXPECT_EQ(r.refusal.member, "Pmax");
    r = refusal({fiber(steel), fiber(fitted)}, shared());
    EXPECT_EQ(r.fiber, 99u) << r.refusal.message;  // not refused

    // The type's model comes with the refusal, for its captions.
    InputSet fitted_no_C = fitted;
    fitted_no_C["C"] = "0";
    r = refusal({fiber(pva), fiber(fitted_no_C)}, shared());
    EXPECT_EQ(r.fiber, 2u);
    EXPECT_EQ(r.model, 2);
    EXPECT_EQ(r.refusal.member, "C");

    r = refusal({fiber(pva), fiber(steel)}, shared({{"Am", "0"}}));
    EXPECT_EQ(r.refusal.member, "Am");
    r = refusal({fiber(pva), fiber(steel)}, shared({{"division", "0"}}));
    EXPECT_EQ(r.refusal.member, "division");
    // Given openings leave "Division" unchecked, and are checked themselves.
    EXPECT_FALSE(
        compute_mix({fiber(pva), fiber(steel)}, shared({{"division", "0"}}), {{0, 1}}).refused());
    r = refusal({fiber(pva), fiber(no_length)}, shared(), {{0, -1}});
    EXPECT_EQ(r.fiber, 0u);
    EXPECT_EQ(r.refusal.member, "");
}

TEST(FiberMix, only_the_type_giving_the_openings_has_its_division_scheme_checked) {
    // A negative delta_max is refused for the "Division" scheme it would run
    // backwards; a shorter type is computed at the longest type's openings.
    InputSet backwards = pva;
    backwards["delta_max"] = "-0.2";
    const MixRun shorter = compute_mix({fiber(backwards), fiber(steel)}, shared(), std::nullopt);
    EXPECT_FALSE(shorter.refused()) << shorter.refusal->refusal.message;
    backwards["Lf"] = "40";
    const MixRun longest = compute_mix({fiber(backwards), fiber(steel)}, shared(), std::nullopt);
    ASSERT_TRUE(longest.refused());
    EXPECT_EQ(longest.refusal->fiber, 1u);
    EXPECT_EQ(longest.refusal->refusal.member, "delta_max");
}

TEST(FiberMix, kept_tables_give_the_doubles_of_fresh_ones) {
    const std::vector<InputSet> types = {fiber(pva), fiber(steel)};
    MixScratch scratch;
    ASSERT_FALSE(compute_mix(types, shared(), std::nullopt, scratch).refused());
    ASSERT_EQ(scratch.size(), 2u);
    // The second type's Vf and the matrix area leave the tables as they are;
    // the first type's Lf does not.
    std::vector<InputSet> changed = types;
    changed[1]["Vf"] = "0.02";
    const InputSet wider = shared({{"Am", "3000"}});
    expect_same_steps(compute_mix(changed, wider, std::nullopt, scratch).steps,
                      compute_mix(changed, wider, std::nullopt).steps);
    changed[0]["Lf"] = "9";
    expect_same_steps(compute_mix(changed, wider, std::nullopt, scratch).steps,
                      compute_mix(changed, wider, std::nullopt).steps);
}

TEST(FiberMix, members_not_given_take_their_default_texts) {
    const InputSet every_shared = {
        {"Am", "2500"}, {"crack_xy", "0"}, {"crack_zx", "0"}, {"division", "30"}};
    const InputSet power_law = {{"model", "2"}, {"A", "2"}, {"B", "0.3"}, {"C", "0.05"}};
    InputSet function_lb = fiber(power_law);
    function_lb.erase("Pmax");
    function_lb.erase("delta_max");
    const MixRun partial = compute_mix({{{"Lf", "12"}}, power_law}, {{"Am", "1800"}}, std::nullopt);
    ASSERT_FALSE(partial.refused()) << partial.refusal->refusal.message;
    InputSet shared_Am = every_shared;
    shared_Am["Am"] = "1800";
    expect_same_steps(
        partial.steps,
        compute_mix({fiber({{"Lf", "12"}}), function_lb}, shared_Am, std::nullopt).steps);
    expect_same_steps(compute_mix({{}}, {}, std::nullopt).steps,
                      compute_mix({fiber({})}, every_shared, std::nullopt).steps);
}

TEST(FiberMix, names_are_either_shared_or_of_one_type) {
    for (const char* name : {"Am", "crack_xy", "crack_zx", "division"}) {
        EXPECT_TRUE(is_shared_mix_input(name)) << name;
        EXPECT_FALSE(is_fiber_input(name)) << name;
    }
    for (const char* name : {"Vf", "Lf", "A", "B", "Pmax", "model", "theta_r_zx"}) {
        EXPECT_FALSE(is_shared_mix_input(name)) << name;
        EXPECT_TRUE(is_fiber_input(name)) << name;
    }
    EXPECT_FALSE(is_fiber_input("Lx") || is_shared_mix_input("Lx"));
    EXPECT_THROW(compute_mix({fiber({{"crack_xy", "10"}})}, shared(), std::nullopt),
                 std::invalid_argument);
    EXPECT_THROW(compute_mix({fiber(pva)}, shared({{"Lf", "10"}}), std::nullopt),
                 std::invalid_argument);
    EXPECT_THROW(compute_mix({}, shared(), std::nullopt), std::invalid_argument);
}

TEST(FiberMix, inputs_split_into_a_types_and_the_shared_ones) {
    const InputSet all = {{"Am", "1"}, {"crack_xy", "2"}, {"crack_zx", "3"}, {"division", "4"},
                          {"Vf", "5"}, {"A", 6.0},        {"model", "2"},    {"Lx", "7"}};
    EXPECT_EQ(fiber_inputs_of(all), (InputSet{{"Vf", "5"}, {"A", 6.0}, {"model", "2"}}));
    EXPECT_EQ(shared_inputs_of(all),
              (InputSet{{"Am", "1"}, {"crack_xy", "2"}, {"crack_zx", "3"}, {"division", "4"}}));
    // A type without a model is of the Constant model.
    EXPECT_EQ(fiber_inputs_of({{"Lf", "12"}, {"Am", "1"}}),
              (InputSet{{"Lf", "12"}, {"model", 1.0}}));
}

}  // namespace
}  // namespace quarnel
