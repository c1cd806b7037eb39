#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/text.h"

namespace {

namespace fs = std::filesystem;

using namespace quarnel_test;
using SampleCommand = BatchTest;

const Program batch{QUARNEL_BATCH};

// Cheap laws: a few openings, the criteria of those steps.
const std::string quick = " --quiet --criteria steps --openings 0.02,0.05,0.1,0.2,0.5,1,2,4";

std::vector<std::map<std::string, std::string>> rows_of(const std::string& csv) {
    const std::vector<std::vector<std::string>> rows = csv_rows(csv);
    std::vector<std::map<std::string, std::string>> out;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        std::map<std::string, std::string> row;
        for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c) {
            row[rows[0][c]] = rows[r][c];
        }
        out.push_back(std::move(row));
    }
    return out;
}

double number(const std::string& text) {
    return std::stod(text);
}

// Only sigma_fc scatters, normally, and the energy index is far above 1: the
// mix hardens when sigma_fc < sigma_max of the one fixed law, with the
// probability Phi((sigma_max - mu) / s). The estimate lies within 4 binomial
// standard errors of it and its Wilson interval holds it.
TEST_F(SampleCommand, the_probability_of_hardening_matches_its_closed_form) {
    ASSERT_EQ(batch("--summary " + path("one.csv") + quick).status, 0);
    const double sigma0 = number(rows_of(contents(path("one.csv")))[0]["sigma_max"]);
    const double mu = sigma0 * 1.1;
    const double s = sigma0 * 0.2;
    const int runs = 1000;
    const Outcome o = batch("sample --dist sigma_fc=normal:" + std::to_string(mu) + ":" +
                            std::to_string(s) + " --J-tip 0.001 --runs " + std::to_string(runs) +
                            " --jobs 2 --stats " + path("st.csv") + quick);
    ASSERT_EQ(o.status, 0) << o.output;
    const double expected = 0.5 * std::erfc(-((sigma0 - mu) / s) / std::sqrt(2.0));
    bool found = false;
    for (auto& row : rows_of(contents(path("st.csv")))) {
        if (row["quantity"] != "strain_hardening") continue;
        found = true;
        EXPECT_EQ(row["count"], std::to_string(runs));
        const double p = number(row["probability"]);
        EXPECT_NEAR(p, expected, 4 * std::sqrt(expected * (1 - expected) / runs));
        EXPECT_LT(number(row["ci_low"]), expected);
        EXPECT_GT(number(row["ci_high"]), expected);
        EXPECT_DOUBLE_EQ(p, number(row["hits"]) / runs);
    }
    EXPECT_TRUE(found);
}

// The summary holds each run's sampled values and criteria; each run's
// indices use its own sampled matrix values; the same seed gives the same
// bytes on 1 and 2 threads, another seed other samples.
TEST_F(SampleCommand, runs_use_their_own_matrix_values_and_the_seed_alone_fixes_them) {
    const std::string args =
        "sample --dist Lf=uniform:6:14 --dist sigma_fc=lognormal:0.1:0.2 "
        "--dist J_tip=weibull:20:3 --correlate Lf,J_tip=0.5 --runs 40 --method lhs" +
        quick;
    for (const char* jobs : {"1", "2"}) {
        const Outcome o = batch(args + " --seed 9 --jobs " + jobs + " --summary " +
                                path(jobs + std::string(".csv")));
        ASSERT_EQ(o.status, 0) << o.output;
    }
    const std::string one = contents(path("1.csv"));
    EXPECT_EQ(one, contents(path("2.csv")));
    auto rows = rows_of(one);
    ASSERT_EQ(rows.size(), 40u);
    EXPECT_EQ(csv_rows(one)[0][1], "Lf");
    EXPECT_EQ(csv_rows(one)[0][3], "J_tip");
    for (auto row : rows) {
        EXPECT_EQ(number(row["psh_strength"]), number(row["sigma_max"]) / number(row["sigma_fc"]));
        EXPECT_EQ(number(row["psh_energy"]), number(row["J_b_prime"]) / number(row["J_tip"]));
        EXPECT_GE(number(row["Lf"]), 6);
        EXPECT_LE(number(row["Lf"]), 14);
    }
    ASSERT_EQ(batch(args + " --seed 10 --summary " + path("3.csv")).status, 0);
    EXPECT_NE(rows_of(contents(path("3.csv")))[0]["Lf"], rows[0]["Lf"]);
}

// A normal tail that gives a negative volume fraction refuses its run, as a
// sweep would; the statistics count it and leave it out.
TEST_F(SampleCommand, refused_runs_are_rows_counted_and_left_out_of_the_statistics) {
    const Outcome o = batch(
        "sample --dist Vf=normal:0.01:0.01 --runs 30 --sigma-fc 1 --J-tip 1 "
        "--psh-margins 1.3,2.7 --summary " +
        path("s.csv") + " --stats " + path("st.json") + quick);
    EXPECT_EQ(o.status, 4) << o.output;
    std::size_t refused = 0;
    for (auto& row : rows_of(contents(path("s.csv")))) {
        if (row["status"] != "refused") continue;
        ++refused;
        EXPECT_LT(number(row["Vf"]), 0);
        EXPECT_EQ(row["sigma_max"], "");
    }
    ASSERT_GT(refused, 0u);
    const std::string json = contents(path("st.json"));
    const std::string head = "{\"runs\":30,\"refused\":" + std::to_string(refused) +
                             ",\"inputs\":[\"Vf\"],\"criteria\":{\"sigma_max\":{\"count\":" +
                             std::to_string(30 - refused) + ",";
    EXPECT_EQ(json.rfind(head, 0), 0u) << json;
    EXPECT_NE(json.find(",\"quarnel_version\":\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"strain_hardening_margin\":{\"count\":" + std::to_string(30 - refused)),
              std::string::npos);
}

TEST_F(SampleCommand, prints_the_statistics_at_the_end) {
    const Outcome o = batch(
        "sample --dist Vf=truncnormal:0.02:0.004:0.01:0.03 --runs 20 "
        "--sigma-fc 0.05 --J-tip 1 --criteria steps --openings 0.1,0.5,1");
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("20 runs: 20 computed, 0 refused."), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("Statistics of 20 computed runs:"), std::string::npos);
    EXPECT_NE(o.output.find("P(strain_hardening) = "), std::string::npos);
    EXPECT_NE(o.output.find("Spearman rank correlation"), std::string::npos);
}

TEST_F(SampleCommand, usage_errors_name_the_option_and_write_nothing) {
    const std::string outputs = " --summary " + path("s.csv") + " --stats " + path("st.csv");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"sample", "--dist is required"},
        {"sample --dist Vf=normal:0.02", "--dist Vf: normal takes normal:MEAN:SD"},
        {"sample --dist Vf=normal:0.02:-1", "--dist Vf: normal:MEAN:SD: SD must be above 0"},
        {"sample --dist nope=normal:1:1", "--dist nope: unknown name"},
        {"sample --dist model=uniform:1:2", "--dist model: takes no distribution"},
        {"sample --dist Vf=normal:0.02:0.001 --dist Vf=uniform:0.01:0.02",
         "--dist Vf: sampled twice"},
        {"sample --dist A=normal:1:0.1 --dist B=normal:0.1:0.01 --dist Lf=normal:12:1 "
         "--correlate A,B=0.6 --correlate B,Lf=0.6 --correlate A,Lf=-0.6",
         "--correlate A,Lf=-0.6: with the other correlations the correlation matrix is not "
         "positive definite"},
        {"sample --dist Vf=normal:0.02:0.001 --correlate Vf,Lf=0.5",
         "--correlate Vf,Lf: Lf is not a sampled input"},
        {"sample --dist Vf=normal:0.02:0.001 --runs 0", "--runs must be at least 1"},
        {"sample --dist Vf=normal:0.02:0.001 --method halton",
         "--method: \"halton\" is not mc, lhs or sobol"},
        {"sample --dist sigma_fc=normal:3:0.1 --sigma-fc 3",
         "sigma_fc: the matrix's sigma_fc is both given and varied"},
        {"sample --dist sigma_fc=normal:3:0.1 --psh-margins 1.3,2.7",
         "--psh-margins needs --sigma-fc and --J-tip"},
        {"sample --dist fiber1.Vf=normal:0.01:0.001",
         "--dist fiber1.Vf: only a mix has fiber types"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome o = batch(args + outputs);
        EXPECT_EQ(o.status, 2) << args << "\n" << o.output;
        EXPECT_NE(o.output.find("quarnel-batch sample: " + message), std::string::npos)
            << args << "\n"
            << o.output;
        EXPECT_FALSE(fs::exists(path("s.csv"))) << args;
        EXPECT_FALSE(fs::exists(path("st.csv"))) << args;
    }
    // A sampled matrix property stands in for its option beside the margins.
    EXPECT_EQ(batch("sample --dist sigma_fc=normal:3:0.1 --J-tip 1 --psh-margins 1.3,2.7 --runs 2" +
                    quick)
                  .status,
              0);
    const Outcome same = batch("sample --dist Vf=normal:0.02:0.001 --runs 2 --summary " +
                               path("x.csv") + " --stats " + path("x.csv") + quick);
    EXPECT_EQ(same.status, 2) << same.output;
}

// A stop leaves whole rows, and the statistics of the runs written.
TEST_F(SampleCommand, sigint_leaves_whole_rows_and_the_statistics_of_them) {
    Process process(
        batch, {"sample", "--quiet", "--dist", "Vf=uniform:0.01:0.03", "--runs", "100000", "--jobs",
                "2", "--summary", path("s.csv"), "--stats", path("st.json")});
    for (int i = 0; i < 600 && lines_of(contents(path("s.csv"))).size() < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    process.signal(SIGINT);
    const Outcome o = process.wait();
    EXPECT_EQ(o.status, 130) << o.output;
    const std::size_t rows = lines_of(contents(path("s.csv"))).size() - 1;
    EXPECT_NE(o.output.find(path("st.json") + " holds the statistics of " + std::to_string(rows) +
                            " runs"),
              std::string::npos)
        << o.output;
    EXPECT_EQ(contents(path("st.json")).rfind("{\"runs\":" + std::to_string(rows) + ",", 0), 0u);
}

// A table of runs is the sweep of the same values given as zipped lists, byte
// for byte, refused runs, words of the model and matrix values included.
TEST_F(SampleCommand, sweep_runs_from_a_table_equal_the_zipped_lists) {
    write("runs.csv",
          "Vf,model,kxy,sigma_fc\n0.01,1,1,0.05\n0,function-lb,2,0.1\n\"0.02\",2,3,0.07\n");
    const std::string common = " --J-tip 1 C=0.05 D=0.3 --jobs 2" + quick;
    const Outcome table =
        batch("sweep --runs " + path("runs.csv") + " --summary " + path("a.csv") + common);
    const Outcome lists = batch(
        "sweep --vary Vf=0.01,0,0.02 --vary model=1,function-lb,2 --vary kxy=1,2,3 "
        "--vary sigma_fc=0.05,0.1,0.07 --zip --summary " +
        path("b.csv") + common);
    EXPECT_EQ(table.status, 4) << table.output;
    EXPECT_EQ(lists.status, 4) << lists.output;
    EXPECT_EQ(contents(path("a.csv")), contents(path("b.csv")));
    EXPECT_EQ(rows_of(contents(path("a.csv"))).size(), 3u);

    write("bad.csv", "Vf,Lf\n0.01,12\n0.02\n");
    const Outcome bad = batch("sweep --runs " + path("bad.csv") + " --summary " + path("c.csv"));
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.output.find("quarnel-batch sweep: --runs: " + path("bad.csv") +
                              " line 3: 1 cell, but the header names 2 inputs"),
              std::string::npos)
        << bad.output;
    EXPECT_FALSE(fs::exists(path("c.csv")));
    const Outcome both = batch("sweep --runs " + path("runs.csv") + " --vary Lf=1,2");
    EXPECT_NE(both.output.find("--runs and --vary exclude each other"), std::string::npos);
    const Outcome over =
        batch("sweep --runs " + path("runs.csv") + " --summary " + path("runs.csv"));
    EXPECT_EQ(over.status, 2) << over.output;
    EXPECT_NE(contents(path("runs.csv")).find("0.01,1,1,0.05"), std::string::npos);
}

}  // namespace
