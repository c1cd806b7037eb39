#include "engine/input_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace quarnel {
namespace {

TEST(InputTable, every_member_but_model_has_exactly_one_entry) {
    const std::vector<InputInfo>& table = input_table();
    for (const std::string& member : input_member_names()) {
        const auto entries = std::count_if(table.begin(), table.end(),
                                           [&](const InputInfo& i) { return i.member == member; });
        EXPECT_EQ(entries, member == "model" ? 0 : 1) << member;
    }
    EXPECT_EQ(table.size() + 1, input_member_names().size());
    EXPECT_EQ(input_info("A"), nullptr);
    ASSERT_NE(input_info("delta_max"), nullptr);
    EXPECT_EQ(input_info("delta_max")->member, "delta_max");
}

// A caption that names its unit, "(mm2)" or "(0-90deg)", names the unit of
// its entry.
TEST(InputTable, units_agree_with_the_captions_that_state_them) {
    int stated = 0;
    for (const InputInfo& info : input_table()) {
        const std::size_t open = info.caption.rfind('(');
        const std::size_t close = info.caption.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        std::string unit = info.caption.substr(open + 1, close - open - 1);
        if (unit.size() >= 3 && unit.compare(unit.size() - 3, 3, "deg") == 0) unit = "deg";
        if (unit != "mm2" && unit != "mm" && unit != "N" && unit != "MPa" && unit != "deg")
            continue;
        ++stated;
        EXPECT_EQ(info.unit, unit) << info.member;
    }
    EXPECT_EQ(stated, 10);
}

TEST(InputTable, default_texts_are_every_entry_and_are_accepted) {
    const InputSet texts = default_input_texts();
    EXPECT_EQ(texts.size(), input_table().size());
    EXPECT_EQ(texts.at("Af"), InputValue{"0.19635"});
    EXPECT_FALSE(check_calculation_inputs(read_calculation_inputs(texts, 1)).has_value());
}

TEST(InputTable, refusals_are_worded_with_the_captions_of_the_model) {
    const InputRefusal refusal{"Pmax", "{Pmax} and {delta_max} with {fp0} give {nothing} {"};
    EXPECT_EQ(refusal_message(refusal, 1),
              "\"Pmax (N)\" and \"\xCE\xB4max (mm)\" with \"Snubbing coefficient for pullout "
              "load, fp0\" give \"nothing\" {");
    EXPECT_EQ(refusal_message(refusal, 2).rfind("\"A\" and \"B\" with ", 0), 0u);
    EXPECT_EQ(refusal_message(refusal, 2),
              "\"A\" and \"B\" with \"Snubbing coefficient for pullout load, fp0\" give "
              "\"nothing\" {");
    EXPECT_EQ(input_caption("C", 2), "C");
}

TEST(InputTable, orientation_weights_and_weibull_m_follow_the_window_order_at_their_classic_texts) {
    const std::vector<InputInfo>& table = input_table();
    ASSERT_GE(table.size(), 2u);
    EXPECT_EQ(table[table.size() - 2].member, "orientation_weights");
    EXPECT_EQ(table[table.size() - 2].default_text, "classic");
    EXPECT_EQ(table.back().member, "weibull_m");
    EXPECT_EQ(table.back().default_text, "");
    const CalculationInputs in = read_calculation_inputs(default_input_texts());
    EXPECT_EQ(in.orientation_weights, OrientationWeights::classic);
    EXPECT_FALSE(in.has_strength_scatter());
}

TEST(InputTable, part_readings_are_the_number_texts_read_only_in_part) {
    InputSet texts = default_input_texts();
    texts["Vf"] = "2%";
    texts["Lf"] = " 30 mm";
    texts["kxy"] = "abc";
    texts["fp0"] = " 0. 5 ";  // blanks are skipped, not ignored
    texts["Am"] = 2500.5;     // a number, not a text
    texts["orientation_weights"] = "exact";
    texts["weibull_m"] = "5x";  // refused whole, never read in part
    const std::vector<PartReading> readings = part_readings(texts);
    ASSERT_EQ(readings.size(), 3u);
    EXPECT_EQ(readings[0].member, "Vf");  // in the table's order
    EXPECT_EQ(readings[0].text, "2%");
    EXPECT_EQ(readings[0].value, 2.0);
    EXPECT_EQ(readings[1].member, "Lf");
    EXPECT_EQ(readings[1].value, 30.0);
    EXPECT_EQ(readings[2].member, "kxy");
    EXPECT_EQ(readings[2].value, 0.0);
    EXPECT_TRUE(part_readings(default_input_texts()).empty());
}

}  // namespace
}  // namespace quarnel
