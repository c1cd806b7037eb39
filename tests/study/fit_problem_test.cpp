// The making of a fit problem: the NAME=LOW:HIGH[:START] grammar, the
// refusals of a problem, the points up to an opening, and the inputs with
// fitted values.

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/input_table.h"
#include "study/fit.h"

namespace quarnel {
namespace {

struct ParseCase {
    const char* name;
    std::string argument;
    FitValue value;     // when read
    std::string error;  // when refused
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << c.argument;
}

class ParseFitValue : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseFitValue, reads_the_grammar_or_names_the_rule) {
    const ParseCase& c = GetParam();
    if (!c.error.empty()) {
        try {
            parse_fit_value(c.argument);
            ADD_FAILURE() << "read";
        } catch (const FitSetupError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
        return;
    }
    const FitValue v = parse_fit_value(c.argument);
    EXPECT_EQ(v.name, c.value.name);
    EXPECT_EQ(v.member, c.value.member);
    EXPECT_EQ(v.low, c.value.low);
    EXPECT_EQ(v.high, c.value.high);
    EXPECT_EQ(v.start, c.value.start);
}

const std::string forty(40, 'x');

INSTANTIATE_TEST_SUITE_P(
    Grammar, ParseFitValue,
    ::testing::Values(
        ParseCase{"bounds", "Pmax=0.5:5", {"Pmax", "Pmax", 0.5, 5, {}}, ""},
        ParseCase{"other_name_and_start", "A=0.1:20:2", {"A", "Pmax", 0.1, 20, 2.0}, ""},
        ParseCase{"signs_exponents_and_bare_points",
                  "B=-1e-3:.5:0.",
                  {"B", "delta_max", -0.001, 0.5, 0.0},
                  ""},
        // The bounds' order and the name's suitability are the problem's to check.
        ParseCase{"bounds_in_any_order", "kxy=2:1", {"kxy", "kxy", 2, 1, {}}, ""},
        ParseCase{"no_equals_sign",
                  "Pmax",
                  {},
                  "takes NAME=LOW:HIGH or NAME=LOW:HIGH:START, not \"Pmax\""},
        ParseCase{
            "one_bound", "Pmax=1", {}, "Pmax: expected LOW:HIGH or LOW:HIGH:START, not \"1\""},
        ParseCase{"four_parts",
                  "A=1:2:3:4",
                  {},
                  "A: expected LOW:HIGH or LOW:HIGH:START, not \"1:2:3:4\""},
        ParseCase{
            "low_not_a_number", "Pmax=abc:2", {}, "Pmax LOW: \"abc\" is not a decimal number"},
        ParseCase{"high_with_a_blank", "A=1: 2", {}, "A HIGH: \" 2\" is not a decimal number"},
        ParseCase{"high_beyond_the_range",
                  "Pmax=1:1e999",
                  {},
                  "Pmax HIGH: \"1e999\" is beyond the range of numbers"},
        ParseCase{"empty_start", "Pmax=1:2:", {}, "Pmax START: \"\" is not a decimal number"},
        ParseCase{"start_nan", "Pmax=1:2:nan", {}, "Pmax START: \"nan\" is not a decimal number"},
        ParseCase{"unknown_name", "Bx=0:1", {}, "unknown name \"Bx\""},
        ParseCase{"empty_name", "=0:1", {}, "unknown name \"\""},
        // Echoed texts are cut to 40 characters, a UTF-8 sequence kept whole.
        ParseCase{"name_of_40", forty + "=0:1", {}, "unknown name \"" + forty + "\""},
        ParseCase{"name_of_41", forty + "y=0:1", {}, "unknown name \"" + forty + "...\""},
        ParseCase{"name_ending_in_two_bytes",
                  forty.substr(1) + "\xC3\xA9" + "z=0:1",
                  {},
                  "unknown name \"" + forty.substr(1) + "\xC3\xA9...\""},
        ParseCase{"name_of_40_then_two_bytes",
                  forty + "\xC3\xA9=0:1",
                  {},
                  "unknown name \"" + forty + "...\""},
        ParseCase{"long_bound",
                  "Pmax=" + forty + "abc:2",
                  {},
                  "Pmax LOW: \"" + forty + "...\" is not a decimal number"},
        ParseCase{"long_argument",
                  forty + forty,
                  {},
                  "takes NAME=LOW:HIGH or NAME=LOW:HIGH:START, not \"" + forty + "...\""}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

InputSet base_inputs() {
    InputSet inputs = default_input_texts();
    inputs["model"] = 1.0;
    return inputs;
}

// Five points of a measured file, lines 2 to 6.
std::vector<MeasuredPoint> measured() {
    return {{0.1, 1, 2}, {0.3, 2, 3}, {0.5, 3, 4}, {0.7, 2.5, 5}, {1, 2, 6}};
}

const FitValue Pmax = {"Pmax", "Pmax", 0.5, 5, {}};
const FitValue delta_max = {"delta_max", "delta_max", 0.01, 1, {}};
const FitValue kxy = {"kxy", "kxy", 0, 2, {}};

struct ProblemCase {
    const char* name;
    std::vector<FitValue> values;
    std::vector<MeasuredPoint> points;
    std::optional<double> until;
    bool division_used = false;
    std::vector<std::pair<std::string, std::string>> texts;  // over the base inputs
    std::string message;
    std::string input_member;  // of the input refusal, "" when there is none
};

void PrintTo(const ProblemCase& c, std::ostream* out) {
    *out << c.name;
}

class MakeFitProblem : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(MakeFitProblem, refuses_with_a_message_that_names_members_and_rules) {
    const ProblemCase& c = GetParam();
    InputSet inputs = base_inputs();
    for (const auto& [name, text] : c.texts) inputs[name] = text;
    const auto made = make_fit_problem(inputs, c.values, c.points, c.until, c.division_used);
    const auto* refusal = std::get_if<FitProblemRefusal>(&made);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message, c.message);
    EXPECT_EQ(refusal->input.has_value(), !c.input_member.empty());
    if (refusal->input) {
        EXPECT_EQ(refusal->input->member, c.input_member);
    }
    EXPECT_EQ(refusal->message.find("--"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, MakeFitProblem,
    ::testing::Values(
        ProblemCase{"nothing_to_fit",
                    {},
                    measured(),
                    {},
                    false,
                    {},
                    "nothing to fit: give at least one value to fit",
                    ""},
        ProblemCase{"an_unknown_name",
                    {{"Bx", "", 0, 1, {}}},
                    measured(),
                    {},
                    false,
                    {},
                    "unknown name \"Bx\"",
                    ""},
        // The values are checked before the points are counted.
        ProblemCase{"bounds_not_increasing",
                    {{"A", "Pmax", 2, 1, {}}},
                    {{0.1, 1, 1}},
                    {},
                    false,
                    {},
                    "A: LOW must be below HIGH",
                    ""},
        ProblemCase{
            "until_not_a_number", {Pmax}, measured(), NAN, false, {}, "until is not a number", ""},
        ProblemCase{"too_few_points",
                    {Pmax},
                    {{0.1, 1, 7}},
                    {},
                    false,
                    {},
                    "1 point, fewer than the 2 that fitting 1 value needs",
                    ""},
        ProblemCase{"too_few_points_up_to_until",
                    {Pmax, delta_max, kxy},
                    measured(),
                    0.5,
                    false,
                    {},
                    "3 points with an opening up to 0.5 mm, fewer than the 4 that fitting 3 "
                    "values needs",
                    ""},
        ProblemCase{"no_point_up_to_until",
                    {Pmax},
                    measured(),
                    -1,
                    false,
                    {},
                    "0 points with an opening up to -1 mm, fewer than the 2 that fitting 1 value "
                    "needs",
                    ""},
        ProblemCase{"a_stress_beyond_the_limit",
                    {Pmax},
                    {{0.1, 1, 2}, {0.3, 1e200, 9}},
                    {},
                    false,
                    {},
                    "line 9: the stress 1e+200 is beyond 1e100 MPa, which a fit cannot square",
                    ""},
        // A point beyond `until` is still checked.
        ProblemCase{"a_stress_not_a_number_beyond_until",
                    {Pmax},
                    {{0.1, 1, 2}, {0.3, 1, 3}, {2, NAN, 11}},
                    0.5,
                    false,
                    {},
                    "line 11: the stress nan is not a finite number",
                    ""},
        ProblemCase{"a_point_of_no_line",
                    {Pmax},
                    {{0.1, 1, 0}, {-1, 1, 0}},
                    {},
                    false,
                    {},
                    "point 1: the opening -1 is negative",
                    ""},
        ProblemCase{"a_fixed_input",
                    {Pmax},
                    measured(),
                    {},
                    false,
                    {{"Lf", "0"}},
                    "Lf must be greater than 0.",
                    "Lf"},
        ProblemCase{"division_when_the_scheme_is_used",
                    {Pmax},
                    measured(),
                    {},
                    true,
                    {{"division", "0"}},
                    "division must not be 0: the openings are divided by it.",
                    "division"},
        // The inputs are checked last.
        ProblemCase{"a_fixed_input_and_too_few_points",
                    {Pmax},
                    {{0.1, 1, 2}},
                    {},
                    false,
                    {{"Lf", "0"}},
                    "1 point, fewer than the 2 that fitting 1 value needs",
                    ""}),
    [](const ::testing::TestParamInfo<ProblemCase>& info) { return info.param.name; });

FitProblem made(const InputSet& inputs, const std::vector<FitValue>& values,
                const std::vector<MeasuredPoint>& points, std::optional<double> until,
                bool division_used) {
    auto result = make_fit_problem(inputs, values, points, until, division_used);
    if (const auto* refusal = std::get_if<FitProblemRefusal>(&result)) {
        ADD_FAILURE() << refusal->message;
        return {};
    }
    return std::get<FitProblem>(std::move(result));
}

TEST(MakeFitProblem, fits_the_points_up_to_until_in_their_order) {
    const std::vector<MeasuredPoint> points = {{0.5, 3, 2}, {0.7, 2.5, 3}, {0.1, 1, 4},
                                               {0.3, 2, 5}, {0.5, 3.5, 6}, {0.50001, 4, 7}};
    const InputSet inputs = base_inputs();
    FitProblem p = made(inputs, {Pmax, delta_max}, points, 0.5, false);
    EXPECT_EQ(p.openings, (std::vector<double>{0.5, 0.1, 0.3, 0.5}));
    EXPECT_EQ(p.stresses, (std::vector<double>{3, 1, 2, 3.5}));
    EXPECT_EQ(p.inputs, inputs);
    ASSERT_EQ(p.values.size(), 2u);
    EXPECT_EQ(p.values[1].member, "delta_max");
    EXPECT_FALSE(check_fit_problem(p));

    p = made(inputs, {Pmax}, points, std::nullopt, false);
    EXPECT_EQ(p.openings.size(), points.size());
    EXPECT_EQ(p.stresses.back(), 4);
}

TEST(MakeFitProblem, keeps_only_refusals_that_no_fitted_value_can_lift) {
    InputSet inputs = base_inputs();
    inputs["division"] = "0";
    // "Division" is not read when the law is computed at the measured
    // openings only.
    made(inputs, {Pmax}, measured(), std::nullopt, false);
    // delta_max of 0 is refused at its start, but the fit may move it.
    made(base_inputs(), {Pmax, {"delta_max", "delta_max", 0, 1, 0.0}}, measured(), std::nullopt,
         true);
    // Lf of 0 is refused at the middle of its range, and fitted.
    inputs = base_inputs();
    made(inputs, {{"Lf", "Lf", -2, 2, {}}}, measured(), std::nullopt, false);
}

TEST(InputsWithFitted, replaces_the_members_and_drops_their_other_names) {
    InputSet inputs = base_inputs();
    inputs["model"] = 2.0;
    inputs.erase("Pmax");
    inputs["A"] = "2";
    inputs["C"] = "0.05";
    inputs["D"] = "0.3";
    const std::vector<FitValue> values = {{"Pmax", "Pmax", 0.5, 5, {}}, kxy};
    const InputSet fitted =
        inputs_with_fitted(inputs, values, {std::string("3.5"), InputValue(0.25)});
    EXPECT_EQ(fitted.count("A"), 0u);
    EXPECT_EQ(fitted.at("Pmax"), InputValue(std::string("3.5")));
    EXPECT_EQ(fitted.at("kxy"), InputValue(0.25));
    EXPECT_EQ(fitted.at("model"), InputValue(2.0));
    EXPECT_EQ(fitted.size(), inputs.size());
    const CalculationInputs read = read_calculation_inputs(fitted);
    EXPECT_EQ(read.Pmax, 3.5);
    EXPECT_EQ(read.model, 2);
    // And a problem is made from such inputs.
    made(inputs, values, measured(), std::nullopt, true);
    EXPECT_THROW(inputs_with_fitted(inputs, values, {InputValue(1.0)}), std::invalid_argument);
}

}  // namespace
}  // namespace quarnel
