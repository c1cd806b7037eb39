#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "study/run_table.h"
#include "study/sample_statistics.h"

namespace {

using namespace quarnel;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(SampleStatistics, quantiles_interpolate_between_order_statistics) {
    const std::vector<double> x = {1, 2, 3, 4};
    EXPECT_DOUBLE_EQ(sorted_quantile(x, 0.5), 2.5);
    EXPECT_DOUBLE_EQ(sorted_quantile(x, 0.05), 1.15);
    EXPECT_DOUBLE_EQ(sorted_quantile(x, 0.95), 3.85);
    EXPECT_EQ(sorted_quantile(x, 0), 1);
    EXPECT_EQ(sorted_quantile(x, 1), 4);
    EXPECT_EQ(sorted_quantile({7}, 0.05), 7);
    EXPECT_TRUE(std::isnan(sorted_quantile({}, 0.5)));
}

TEST(SampleStatistics, spearman_averages_tied_ranks) {
    EXPECT_EQ(average_ranks({10, 20, 20, 5}), (std::vector<double>{2, 3.5, 3.5, 1}));
    EXPECT_EQ(average_ranks({3, 3, 3}), (std::vector<double>{2, 2, 2}));
    // Pearson's coefficient of 1..5 with the ranks 1, 2, 3.5, 5, 3.5.
    EXPECT_NEAR(spearman({1, 2, 3, 4, 5}, {5, 6, 7, 8, 7}), 0.8207826816681234, 1e-15);
    // Ranks only: any increasing transform gives 1, a decreasing one -1.
    EXPECT_NEAR(spearman({1, 2, 3, 4}, {1, 8, 27, 1e9}), 1, 1e-15);
    EXPECT_NEAR(spearman({1, 2, 3, 4}, {0, -1, -5, -6}), -1, 1e-15);
    EXPECT_TRUE(std::isnan(spearman({1, 2, 3}, {4, 4, 4})));
    EXPECT_TRUE(std::isnan(spearman({1}, {4})));
}

// Published Wilson intervals: 8 of 10 gives 0.4902 to 0.9433; none of 20 gives
// 0 to 0.1611.
TEST(SampleStatistics, wilson_intervals_match_their_published_values) {
    const ProbabilityEstimate e = wilson_estimate(8, 10);
    EXPECT_DOUBLE_EQ(e.probability, 0.8);
    EXPECT_NEAR(e.low, 0.4902, 5e-5);
    EXPECT_NEAR(e.high, 0.9433, 5e-5);
    const ProbabilityEstimate none = wilson_estimate(0, 20);
    EXPECT_EQ(none.low, 0);
    EXPECT_NEAR(none.high, 0.1611, 5e-5);
    EXPECT_TRUE(std::isnan(wilson_estimate(0, 0).probability));
}

// Refused runs are counted and left out of everything; a run without one
// criterion is left out of that criterion only; verdicts are counted over
// the runs that have them.
TEST(SampleStatistics, the_tally_leaves_out_refused_runs_and_missing_values) {
    SampleTally tally({"Vf", "Lf"}, {"sigma_max", "psh_energy"}, true, true);
    tally.add({1, 10}, {2, 5}, true, true);
    tally.add({2, 30}, {4, nan}, false, std::nullopt);
    tally.add_refused();
    tally.add({3, 20}, {9, 7}, true, false);
    tally.add({4, 40}, {nan, nan}, std::nullopt, std::nullopt);
    const SampleStatistics s = tally.statistics();
    EXPECT_EQ(s.runs, 5u);
    EXPECT_EQ(s.refused, 1u);
    ASSERT_EQ(s.criteria.size(), 2u);
    const CriterionStatistics& sigma = s.criteria[0];
    EXPECT_EQ(sigma.count, 3u);
    EXPECT_DOUBLE_EQ(sigma.mean, 5);
    EXPECT_DOUBLE_EQ(sigma.sd, std::sqrt(13.0));
    EXPECT_DOUBLE_EQ(sigma.q50, 4);
    EXPECT_DOUBLE_EQ(sigma.q05, 2.2);
    EXPECT_NEAR(sigma.spearman[0], 1, 1e-15);    // with Vf 1, 2, 3
    EXPECT_NEAR(sigma.spearman[1], 0.5, 1e-15);  // with Lf 10, 30, 20
    EXPECT_EQ(s.criteria[1].count, 2u);
    EXPECT_DOUBLE_EQ(s.criteria[1].mean, 6);
    ASSERT_EQ(s.probabilities.size(), 2u);
    EXPECT_EQ(s.probabilities[0].name, "strain_hardening");
    EXPECT_EQ(s.probabilities[0].count, 3u);
    EXPECT_EQ(s.probabilities[0].hits, 2u);
    EXPECT_EQ(s.probabilities[1].name, "strain_hardening_margin");
    EXPECT_EQ(s.probabilities[1].count, 2u);
    EXPECT_EQ(s.probabilities[1].hits, 1u);
}

TEST(SampleStatistics, a_criterion_of_one_value_has_that_mean_and_no_spread) {
    SampleTally tally({"Vf"}, {"Wcr_peak"}, false, false);
    for (const double vf : {0.01, 0.02, 0.03}) tally.add({vf}, {0.12251145849603125}, {}, {});
    const SampleStatistics s = tally.statistics();
    EXPECT_EQ(s.criteria[0].mean, 0.12251145849603125);
    EXPECT_EQ(s.criteria[0].sd, 0);
    EXPECT_TRUE(std::isnan(s.criteria[0].spearman[0]));
    EXPECT_TRUE(s.probabilities.empty());
}

std::string table_refusal(const std::string& text, std::size_t fibers = 0) {
    try {
        read_run_table(text, "runs.csv", fibers);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "";
}

TEST(RunTable, reads_a_header_of_names_and_a_run_per_row) {
    const RunTable t = read_run_table(
        "\xEF\xBB\xBFVf, model ,\"kxy\",sigma_fc\r\n0.01,constant,\"2\"\"x\",3\r\n\r\n 0.02 "
        ",2,4mm,3.5\n",
        "runs.csv", 0);
    ASSERT_EQ(t.axes.size(), 4u);
    EXPECT_EQ(t.axes[0].name, "Vf");
    EXPECT_EQ(t.axes[1].name, "model");
    EXPECT_EQ(t.targets[2].member, "kxy");
    EXPECT_EQ(t.targets[3].member, "sigma_fc");
    EXPECT_EQ(std::get<std::vector<std::string>>(t.axes[0].values),
              (std::vector<std::string>{"0.01", "0.02"}));
    EXPECT_EQ(std::get<std::vector<std::string>>(t.axes[1].values),
              (std::vector<std::string>{"1", "2"}));
    ASSERT_EQ(t.notes.size(), 2u);
    EXPECT_EQ(t.notes[0], "runs.csv line 2, column 3 (kxy): \"2\"x\" read as 2");
    EXPECT_EQ(t.notes[1], "runs.csv line 4, column 3 (kxy): \"4mm\" read as 4");
    const RunTable mix = read_run_table("fiber2.Vf,Am\n0.01,2500\n", "m.csv", 2);
    EXPECT_EQ(mix.targets[0].fiber, 2u);
    EXPECT_EQ(mix.targets[0].member, "Vf");
}

TEST(RunTable, names_the_file_line_and_column_of_what_it_refuses) {
    EXPECT_EQ(table_refusal(""), "runs.csv is empty: it needs a header of input names");
    EXPECT_EQ(table_refusal("Vf,Lf\n"), "runs.csv holds no runs: only a header");
    EXPECT_EQ(table_refusal("Vf,Lff\n1,2\n"), "runs.csv line 1, column 2: Lff: unknown name");
    EXPECT_EQ(table_refusal("Vf,A,Pmax\n1,2,3\n"),
              "runs.csv line 1, column 3: Pmax: the input is named twice, also in column 2");
    EXPECT_EQ(table_refusal("Vf,Lf\n0.01,12\n\n0.02,\n"),
              "runs.csv line 4, column 2 (Lf): the cell is empty");
    EXPECT_EQ(table_refusal("Vf,Lf\n0.01,12,3\n"),
              "runs.csv line 2: 3 cells, but the header names 2 inputs");
    EXPECT_EQ(table_refusal("Vf,model\n0.01,linear\n"),
              "runs.csv line 2, column 2 (model): \"linear\" is not 1, 2, constant or "
              "function-lb");
    EXPECT_EQ(table_refusal("orientation_weights\nExact\n"),
              "runs.csv line 2, column 1 (orientation_weights): \"Exact\" is not classic or "
              "exact");
    EXPECT_EQ(table_refusal("Vf\n\"0.01\n"), "runs.csv line 2: a quoted cell is not closed");
    EXPECT_EQ(table_refusal("Vf\n\"0.01\"x\n"), "runs.csv line 2: text follows a quoted cell");
    EXPECT_EQ(table_refusal("Vf\n0.01\n", 2),
              "runs.csv line 1, column 1: Vf: in a mix each type has its own Vf; vary it as "
              "fiber1.Vf, fiber2.Vf, ...");
}

}  // namespace
