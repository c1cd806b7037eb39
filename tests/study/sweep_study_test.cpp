#include "study/sweep_study.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

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

TEST(AxisNotes, name_the_items_whose_characters_were_ignored) {
    EXPECT_EQ(axis_notes(parse_varied_input("kxy=abc, 2mm,3,1e2", 0).axis),
              (std::vector<std::string>{"kxy: \"abc\" read as 0", "kxy: \"2mm\" read as 2"}));
    EXPECT_TRUE(axis_notes(parse_varied_input("kxy=1:3:3", 0).axis).empty());
}

}  // namespace
}  // namespace quarnel
