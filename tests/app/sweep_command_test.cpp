#include <gtest/gtest.h>

#include <chrono>
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
using SweepCommand = BatchTest;

const Program batch{QUARNEL_BATCH};

std::map<std::string, std::string> row_of(const std::vector<std::string>& header,
                                          const std::string& row) {
    const std::vector<std::string> cells = cells_of(row);
    std::map<std::string, std::string> by_column;
    for (std::size_t c = 0; c < header.size() && c < cells.size(); ++c) {
        by_column[header[c]] = cells[c];
    }
    return by_column;
}

const std::vector<std::string> criteria = {"sigma_max",
                                           "P_max",
                                           "Wcr_peak",
                                           "ratio_initial",
                                           "ratio_at_peak",
                                           "J_b_prime",
                                           "G_b",
                                           "psh_strength",
                                           "psh_energy",
                                           "strain_hardening",
                                           "criteria_openings",
                                           "criteria_change",
                                           "orientation_weight_error"};

// Every value a sweep reports is the same double as the run made alone gives
// (shortest round-trip texts are equal exactly when the doubles are), whatever
// the number of threads; a refused run in the middle stops nothing.
TEST_F(SweepCommand, every_row_equals_the_run_made_alone_for_one_and_two_jobs) {
    const std::string common = "C=0.05 D=0.3 --sigma-fc 0.1 --J-tip 20 division=8";
    for (const int jobs : {1, 2}) {
        const std::string summary = path("s" + std::to_string(jobs) + ".csv");
        const Outcome o =
            batch(std::string("sweep --vary Vf=0.01,0,0.02 --vary model=1,function-lb --vary ") +
                  "kxy=1,3 --jobs " + std::to_string(jobs) + " --quiet --summary " + summary + " " +
                  common);
        EXPECT_EQ(o.status, 4) << o.output;  // some runs refused
        const std::vector<std::string> lines = lines_of(contents(summary));
        ASSERT_EQ(lines.size(), 13u) << o.output;
        const std::vector<std::string> header = cells_of(lines[0]);
        ASSERT_EQ(header[0], "run");
        ASSERT_EQ(header[1], "Vf");
        ASSERT_EQ(header[2], "model");
        ASSERT_EQ(header[3], "kxy");
        ASSERT_EQ(header[4], "status");
        ASSERT_EQ(header[5], "message");
        const std::vector<std::string> Vf = {"0.01", "0", "0.02"};
        const std::vector<std::string> model = {"1", "2"};
        const std::vector<std::string> kxy = {"1", "3"};
        for (std::size_t r = 0; r < 12; ++r) {
            auto row = row_of(header, lines[r + 1]);
            EXPECT_EQ(row["run"], std::to_string(r + 1));
            EXPECT_EQ(row["Vf"], Vf[r / 4]);  // the first axis varies slowest
            EXPECT_EQ(row["model"], model[r / 2 % 2]);
            EXPECT_EQ(row["kxy"], kxy[r % 2]);
            if (Vf[r / 4] == "0") {
                EXPECT_EQ(row["status"], "refused");
                EXPECT_EQ(row["message"],
                          "\"Fiber, Volume fraction\" must not be 0: with no fibers there is no "
                          "bridging law.");
                EXPECT_EQ(row["sigma_max"], "");
                continue;
            }
            EXPECT_EQ(row["status"], "ok");
            const std::string alone = path("alone.csv");
            const Outcome one = batch("--quiet -o " + path("alone.p-d") + " --summary " + alone +
                                      " Vf=" + row["Vf"] + " model=" + row["model"] +
                                      " kxy=" + row["kxy"] + " " + common);
            ASSERT_EQ(one.status, 0) << one.output;
            const std::vector<std::string> single = lines_of(contents(alone));
            ASSERT_EQ(single.size(), 2u);
            auto expected = row_of(cells_of(single[0]), single[1]);
            for (const std::string& c : criteria) {
                EXPECT_EQ(row[c], expected[c]) << c << " of run " << r + 1 << ", jobs " << jobs;
            }
        }
    }
}

// Narrow orientation densities that the cells do not resolve show in the
// summary, run by run, beside the warning.
TEST_F(SweepCommand, the_summary_tells_each_runs_orientation_weight_error) {
    const Outcome o =
        batch("sweep --vary kxy=1,1e4 --quiet --summary " + path("s.csv") + " kzx=1e4 division=4");
    ASSERT_EQ(o.status, 0) << o.output;
    const std::vector<std::string> lines = lines_of(contents(path("s.csv")));
    ASSERT_EQ(lines.size(), 3u);
    const std::vector<std::string> header = cells_of(lines[0]);
    EXPECT_EQ(header.back(), "orientation_weight_error");
    const double wide = std::stod(row_of(header, lines[1])["orientation_weight_error"]);
    const double narrow = std::stod(row_of(header, lines[2])["orientation_weight_error"]);
    // kzx = 1e4 alone leaves one plane's weights summing to about 0.72.
    EXPECT_NEAR(wide, 0.28, 0.01);
    EXPECT_NEAR(narrow, 0.28, 0.01);
    const Outcome fine =
        batch("sweep --vary kxy=1,2 --quiet --summary " + path("f.csv") + " division=4");
    ASSERT_EQ(fine.status, 0) << fine.output;
    for (const std::string& line : lines_of(contents(path("f.csv")))) {
        if (line.rfind("run", 0) == 0) continue;
        EXPECT_LT(std::stod(row_of(header, line)["orientation_weight_error"]), 1e-9) << line;
    }
}

TEST_F(SweepCommand, files_curves_and_json_for_each_run) {
    const std::string at = " --at \"2026-12-07 10:00:00\"";
    const Outcome o = batch("sweep --vary Lf=20,30 --vary crack_xy=0:30:2 --zip --files " +
                            path("runs") + " --curves " + path("c.csv") + " --summary " +
                            path("s.jsonl") + " --json division=4" + at);
    ASSERT_EQ(o.status, 0) << o.output;
    for (const char* name :
         {"run-00001.p-d", "run-00001.params", "run-00002.p-d", "run-00002.params"}) {
        EXPECT_TRUE(fs::exists(dir_ / "runs" / name)) << name;
    }
    EXPECT_FALSE(fs::exists(dir_ / "runs" / "run-00003.p-d"));
    // The inputs file reproduces its run's result file byte for byte.
    const Outcome again = batch("--quiet --params " + path("runs/run-00002.params") + " -o " +
                                path("runs/run-00002.p-d") + at);
    ASSERT_EQ(again.status, 0) << again.output;
    const std::string first = contents(dir_ / "runs" / "run-00002.p-d");
    EXPECT_NE(contents(dir_ / "runs" / "run-00002.params").find("crack_xy=30\n"),
              std::string::npos);
    const Outcome alone = batch("--quiet Lf=30 crack_xy=30 division=4 -o " + path("alone.p-d") +
                                " --csv " + path("alone.csv") + at);
    ASSERT_EQ(alone.status, 0) << alone.output;
    EXPECT_EQ(first.substr(first.find("\r\n", first.find("\r\n") + 2)),
              contents(path("alone.p-d"))
                  .substr(contents(path("alone.p-d"))
                              .find("\r\n", contents(path("alone.p-d")).find("\r\n") + 2)));

    const std::vector<std::string> curves = lines_of(contents(path("c.csv")));
    ASSERT_EQ(curves.size(), 1u + 9 + 9);
    EXPECT_EQ(curves[0], "run,n,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio");
    EXPECT_EQ(curves[1].rfind("1,0,0,", 0), 0u);
    // Run 2's curve is the single run's CSV with the run's number in front.
    const std::vector<std::string> single = lines_of(contents(path("alone.csv")));
    for (std::size_t n = 0; n < 9; ++n) {
        const std::string row = single[n + 1];
        EXPECT_EQ(curves[10 + n], "2," + row.substr(0, row.size()));
    }

    const std::vector<std::string> json = lines_of(contents(path("s.jsonl")));
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(
        json[1].rfind("{\"run\":2,\"Lf\":30,\"crack_xy\":30,\"status\":\"ok\",\"message\":\"\","
                      "\"sigma_max\":",
                      0),
        0u)
        << json[1];
    EXPECT_NE(o.output.find("{\"run\":1,\"Lf\":20,\"crack_xy\":0,"), std::string::npos);
}

TEST_F(SweepCommand, usage_errors_exit_2_and_write_nothing) {
    const std::string summary = " --summary " + path("s.csv");
    for (const std::string& args :
         {std::string("sweep"), std::string("sweep --vary nope=1,2"),
          std::string("sweep --vary Vf=0:1:0"), std::string("sweep --vary kxy=0:4:3:log"),
          std::string("sweep --vary Vf=1,2 --vary kxy=1,2,3 --zip"),
          std::string("sweep --vary model=1,3"), std::string("sweep --vary Vf=1,2 --vary Vf=3"),
          std::string("sweep --vary Vf=0.01 nope=3"), std::string("sweep --vary Vf=0.01 --jobs 0"),
          std::string("sweep --vary Vf=0.01 --sigma-fc 0")}) {
        const Outcome o = batch(args + summary);
        EXPECT_EQ(o.status, 2) << args << "\n" << o.output;
        EXPECT_NE(o.output.find("quarnel-batch sweep"), std::string::npos) << o.output;
        EXPECT_FALSE(fs::exists(path("s.csv"))) << args;
    }
    const Outcome help = batch("sweep --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("start:stop:count:log"), std::string::npos);
}

// Ctrl-C ends the sweep after the runs under way: whole rows, whole runs.
TEST_F(SweepCommand, sigint_leaves_whole_rows_and_whole_curves) {
    Process process(batch, {"sweep", "--quiet", "--vary", "Vf=0.005:0.03:5000", "--jobs", "2",
                            "--summary", path("s.csv"), "--curves", path("c.csv")});
    for (int i = 0; i < 600 && lines_of(contents(path("s.csv"))).size() < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    process.signal(SIGINT);
    const Outcome o = process.wait();
    EXPECT_EQ(o.status, 130) << o.output;
    EXPECT_NE(o.output.find("stopped by SIGINT"), std::string::npos) << o.output;
    const std::string summary = contents(path("s.csv"));
    const std::string curves = contents(path("c.csv"));
    ASSERT_FALSE(summary.empty());
    EXPECT_EQ(summary.back(), '\n');
    EXPECT_EQ(curves.back(), '\n');
    const std::vector<std::string> rows = lines_of(summary);
    ASSERT_GE(rows.size(), 20u);
    EXPECT_LT(rows.size(), 5001u);
    const std::size_t columns = cells_of(rows[0]).size();
    for (std::size_t r = 1; r < rows.size(); ++r) {
        EXPECT_EQ(cells_of(rows[r]).size(), columns) << r;
        EXPECT_EQ(cells_of(rows[r])[0], std::to_string(r));
    }
    // 61 steps for every run in the summary, none for any other.
    EXPECT_EQ(lines_of(curves).size(), 1 + 61 * (rows.size() - 1));
    EXPECT_NE(o.output.find(std::to_string(rows.size() - 1) + " of 5000 runs"), std::string::npos)
        << o.output;
}

// After an output fails, each output's count is what it holds: the summary
// and the curves got the first run before standard output failed on it.
TEST_F(SweepCommand, a_failed_output_says_what_each_output_truly_holds) {
    Process process(batch,
                    {"sweep", "--quiet", "--vary", "Vf=0.01,0.02", "division=2", "--json",
                     "--summary", path("s.csv"), "--curves", path("c.csv")},
                    "/dev/full");
    Outcome o = process.wait();
    o.output = o.err;
    EXPECT_EQ(o.status, 3) << o.output;
    const std::size_t summary_rows = lines_of(contents(path("s.csv"))).size() - 1;
    const std::size_t curve_rows = lines_of(contents(path("c.csv"))).size() - 1;
    EXPECT_EQ(summary_rows, 1u);
    EXPECT_EQ(curve_rows, 5u);  // one run of 5 steps
    EXPECT_NE(o.output.find("0 of 2 runs were written whole"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("s.csv holds 1 row"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("c.csv holds the steps of 1 run"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("standard output holds 0 JSON lines"), std::string::npos) << o.output;
}

// List items are read by the field rule, and what it leaves unread is named
// as a single run names it; ranges too vast to run are refused before any
// value is made.
TEST_F(SweepCommand, list_items_get_the_notes_of_a_single_run_and_vast_ranges_are_refused) {
    const Outcome o =
        batch("sweep --quiet --vary kxy=abc,2mm division=2 --summary " + path("s.csv"));
    EXPECT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("kxy: \"abc\" read as 0"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("kxy: \"2mm\" read as 2"), std::string::npos) << o.output;
    const Outcome vast = batch("sweep --vary Vf=0.01:0.02:1e9 --vary kxy=1,2");
    EXPECT_EQ(vast.status, 2) << vast.output;
    EXPECT_NE(vast.output.find("exceed 1000000000 runs"), std::string::npos) << vast.output;
}

// A run computed at openings that do not increase has no criteria from its
// steps; its message says why.
TEST_F(SweepCommand, runs_without_criteria_say_why_in_their_message) {
    const Outcome o = batch(
        "sweep --quiet --vary Vf=0.01,0.02 --criteria steps --openings "
        "0,0.2,0.1 --summary " +
        path("s.csv"));
    ASSERT_EQ(o.status, 0) << o.output;
    const std::vector<std::string> lines = lines_of(contents(path("s.csv")));
    ASSERT_EQ(lines.size(), 3u);
    const std::vector<std::string> header = cells_of(lines[0]);
    for (std::size_t r = 1; r < lines.size(); ++r) {
        auto row = row_of(header, lines[r]);
        EXPECT_EQ(row["status"], "ok");
        EXPECT_EQ(row["message"],
                  "no criteria: the openings do not increase: opening 2 (0.1 mm) is not above the "
                  "one before it (0.2 mm)");
        EXPECT_EQ(row["sigma_max"], "");
        EXPECT_EQ(row["G_b"], "");
        EXPECT_EQ(row["criteria_openings"], "3");
    }
}

// orientation_weights varies as its words: they stand in the summary as
// given, each run computes as the single run with that word does, and each
// distinct warning of the runs is given once.
TEST_F(SweepCommand, varies_orientation_weights_by_its_words) {
    const Outcome o = batch(
        "sweep --vary orientation_weights=classic,exact --vary kxy=1e4,2e4 "
        "--vary Pmax=1,2 division=2 --quiet --jobs 2 --summary " +
        path("s.csv"));
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_EQ(count_of(o.output, "plane:"), 2u) << o.output;
    EXPECT_EQ(count_of(o.output, "(kxy = 10000,"), 1u) << o.output;
    EXPECT_EQ(count_of(o.output, "(kxy = 20000,"), 1u) << o.output;
    const auto rows = csv_rows(contents(path("s.csv")));
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows[0][1], "orientation_weights");
    EXPECT_EQ(rows[1][1], "classic");
    EXPECT_EQ(rows[8][1], "exact");
    const Outcome single = batch("-o " + path("one.p-d") + " --summary " + path("one.csv") +
                                 " --quiet division=2 orientation_weights=exact kxy=2e4 Pmax=2");
    ASSERT_EQ(single.status, 0) << single.output;
    const auto one = csv_rows(contents(path("one.csv")));
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(rows[8].begin() + 6, rows[8].end()), one[1]);

    const Outcome refused = batch("sweep --vary orientation_weights=classic,fine");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.output.find("--vary orientation_weights: \"fine\" is not classic or exact"),
              std::string::npos)
        << refused.output;
}

TEST_F(SweepCommand, a_single_run_writes_its_criteria_and_its_inputs) {
    const Outcome o =
        batch("-o " + path("one.p-d") + " --summary " + path("one.csv") + " --save-params " +
              path("one.params") + " --sigma-fc 0.1 --J-tip 20 Vf=0.03 A=2 model=2 C=0.05 D=0.3" +
              " --at \"2026-12-07 10:00:00\"");
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("J_b_prime = "), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("strain_hardening = "), std::string::npos) << o.output;
    const std::vector<std::string> summary = lines_of(contents(path("one.csv")));
    ASSERT_EQ(summary.size(), 2u);
    EXPECT_EQ(
        summary[0],
        "sigma_max,P_max,Wcr_peak,ratio_initial,ratio_at_peak,J_b_prime,G_b,psh_strength,"
        "psh_energy,strain_hardening,criteria_openings,criteria_change,orientation_weight_error");
    const std::string params = contents(path("one.params"));
    EXPECT_NE(params.find("Pmax=2\n"), std::string::npos) << params;
    EXPECT_NE(params.find("model=2\n"), std::string::npos) << params;
    const Outcome again = batch("--quiet --params " + path("one.params") + " -o " +
                                path("two.p-d") + " --at \"2026-12-07 10:00:00\"");
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(contents(path("one.p-d")).substr(contents(path("one.p-d")).find("\r\n")),
              contents(path("two.p-d")).substr(contents(path("two.p-d")).find("\r\n")));
    const Outcome same = batch("--quiet -o " + path("x.p-d") + " --summary " + path("x.p-d"));
    EXPECT_EQ(same.status, 2) << same.output;
}

// A sweep over a type's input of a mix: each row is the mix made alone with
// that value in the type's file; shared inputs vary as they are.
TEST_F(SweepCommand, over_mixes_vary_a_types_input_as_fiberN_NAME) {
    const std::string pva = path("pva.txt");
    const std::string steel = path("steel.txt");
    write_file(pva, "Af = 0.00126\nLf = 12\nPmax = 0.8\ndelta_max = 0.15\nsigma_fu = 1600\n");
    const std::string steel_text =
        "model = 2\nAf = 0.0314\nLf = 13\nA = 3\nB = 0.4\nC = 0.05\n"
        "D = 0.3\nsigma_fu = 2800\n";
    write_file(steel, steel_text + "Vf = 0.01\n");
    const Outcome o = batch("sweep --fiber " + pva + " --fiber " + steel +
                            " --vary fiber2.Vf=0,0.005 --vary crack_xy=0,30 division=6 --quiet"
                            " --summary " +
                            path("s.csv"));
    EXPECT_EQ(o.status, 4) << o.output;
    const std::vector<std::string> lines = lines_of(contents(path("s.csv")));
    ASSERT_EQ(lines.size(), 5u) << o.output;
    const std::vector<std::string> header = cells_of(lines[0]);
    EXPECT_EQ(header[1], "fiber2.Vf");
    EXPECT_EQ(header[2], "crack_xy");
    auto refused = row_of(header, lines[1]);
    EXPECT_EQ(refused["status"], "refused");
    EXPECT_EQ(refused["message"].rfind(steel + " (fiber 2), Vf: ", 0), 0u) << refused["message"];
    for (std::size_t r = 3; r <= 4; ++r) {
        auto row = row_of(header, lines[r]);
        ASSERT_EQ(row["status"], "ok");
        const std::string varied = path("steel-varied.txt");
        write_file(varied, steel_text + "Vf = 0.005\n");
        const Outcome alone =
            batch("mix --quiet --fiber " + pva + " --fiber " + varied +
                  " division=6 crack_xy=" + row["crack_xy"] + " --summary " + path("alone.csv"));
        ASSERT_EQ(alone.status, 0) << alone.output;
        const std::vector<std::string> single = lines_of(contents(path("alone.csv")));
        auto expected = row_of(cells_of(single[0]), single[1]);
        for (const std::string c : {"sigma_max", "P_max", "ratio_at_peak", "J_b_prime", "G_b"}) {
            EXPECT_EQ(row[c], expected[c]) << c << " of run " << r;
        }
    }
    for (const std::string& args :
         {std::string(" --vary Vf=0.01,0.02"), std::string(" --vary fiber3.Vf=0.01"),
          std::string(" --vary fiber1.Am=100"), std::string(" Lf=20 --vary Am=100,200"),
          std::string(" --vary fiber1.Vf=0.01 --vary fiber1.Vf=0.02")}) {
        const Outcome bad = batch("sweep --fiber " + pva + " --fiber " + steel + args);
        EXPECT_EQ(bad.status, 2) << args << "\n" << bad.output;
    }
}

}  // namespace
