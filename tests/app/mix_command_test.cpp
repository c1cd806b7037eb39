#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/text_to_number.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/text.h"

namespace {

using namespace quarnel_test;
namespace fs = std::filesystem;

const Program batch{QUARNEL_BATCH};

const char* const pva_text =
    "# PVA, 40 um\nVf=0.015\nAf=0.001257\nLf=12\nsigma_fu=1600\nPmax=0.9\ndelta_max=0.15\n";
const char* const steel_text =
    "Vf = 0.0123\nLf=30\nsigma_fu=2000\nmodel=function-lb\nA=40\nB=0.1\nC=0.05\nD=0.3\n";

class MixCommand : public BatchTest {
  protected:
    void SetUp() override {
        BatchTest::SetUp();
        write("pva.txt", pva_text);
        write("steel.txt", steel_text);
    }
    std::string fibers() const {
        return "mix --fiber " + path("pva.txt") + " --fiber " + path("steel.txt");
    }
};

TEST_F(MixCommand, the_mix_is_the_sum_of_its_types_which_match_their_single_runs) {
    const std::string at = " --at \"2026-03-04 05:06:07\"";
    const Outcome o = batch(fibers() + " division=4 crack_xy=10 --csv " + path("mix.csv") +
                            " --files " + path("out") + " --summary " + path("s.csv") + at +
                            " --sigma-fc 3 --J-tip 10 --criteria steps");
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("Mix of 2 fiber types at 9 openings of the Division scheme of fiber 2"),
              std::string::npos)
        << o.output;
    const auto mix = csv_rows(contents(path("mix.csv")));
    ASSERT_EQ(mix.size(), 10u);
    EXPECT_EQ(mix[0], (std::vector<std::string>{
                          "step", "Wcr_mm", "P_N", "sigma_MPa", "effective_fiber_ratio", "P_N_1",
                          "effective_fiber_ratio_1", "P_N_2", "effective_fiber_ratio_2"}));
    std::string openings;
    for (std::size_t r = 1; r < mix.size(); ++r) {
        ASSERT_EQ(mix[r].size(), 9u);
        openings += (r == 1 ? "" : ",") + mix[r][1];
        // Shortest texts read back as their doubles, so the sum is exact.
        EXPECT_EQ(mix[r][2],
                  quarnel::shortest_number_text(std::stod(mix[r][5]) + std::stod(mix[r][7])))
            << "step " << r - 1;
    }
    // Each type's result file and columns are those of its single run at the
    // mix's openings, with the shared inputs.
    for (const std::string type : {"pva", "steel"}) {
        const std::string number = type == "pva" ? "1" : "2";
        write(type + "-single.txt", contents(path(type + ".txt")) + "\ndivision=4\ncrack_xy=10\n");
        const Outcome single =
            batch("--quiet -o " + path(type + ".p-d") + " --params " + path(type + "-single.txt") +
                  " --openings " + openings + " --csv " + path(type + ".csv") + at);
        ASSERT_EQ(single.status, 0) << single.output;
        EXPECT_EQ(contents(path("out/fiber-" + number + ".p-d")), contents(path(type + ".p-d")));
        const auto rows = csv_rows(contents(path(type + ".csv")));
        ASSERT_EQ(rows.size(), mix.size());
        const std::size_t column = type == "pva" ? 5 : 7;
        for (std::size_t r = 1; r < rows.size(); ++r) {
            EXPECT_EQ(mix[r][column], rows[r][2]) << type << " step " << r - 1;
            EXPECT_EQ(mix[r][column + 1], rows[r][4]) << type << " step " << r - 1;
        }
    }
    const auto summary = csv_rows(contents(path("s.csv")));
    ASSERT_EQ(summary.size(), 2u);
    EXPECT_EQ(summary[0].front(), "sigma_max");
    ASSERT_EQ(summary[0].size(), 13u);
    EXPECT_EQ(summary[0][12], "orientation_weight_error");
    EXPECT_EQ(summary[0][9], "strain_hardening");
    // How the criteria were formed: the mix's 9 steps, no refinement.
    EXPECT_EQ(summary[0][10], "criteria_openings");
    EXPECT_EQ(summary[1][10], "9");
    EXPECT_EQ(summary[0][11], "criteria_change");
    EXPECT_EQ(summary[1][11], "");
    std::string sigma_max = mix[1][3];
    for (std::size_t r = 2; r < mix.size(); ++r) {
        if (std::stod(mix[r][3]) > std::stod(sigma_max)) sigma_max = mix[r][3];
    }
    EXPECT_EQ(summary[1].front(), sigma_max);
}

TEST_F(MixCommand, json_lines_carry_each_types_keys) {
    const Outcome o =
        batch(fibers() + " --json --quiet --openings 0,0.1,0.05,2 --summary " + path("s.jsonl"));
    ASSERT_EQ(o.status, 0) << o.output;
    const auto lines = lines_of(o.output);
    ASSERT_EQ(lines.size(), 4u) << o.output;
    for (const char* key :
         {"\"n\":3", "\"Wcr\":2", "\"P_top\":", "\"sigma_top\":", "\"P_1\":",
          "\"effective_fiber_ratio_1\":", "\"P_2\":", "\"effective_fiber_ratio_2\":"}) {
        EXPECT_NE(lines[3].find(key), std::string::npos) << key << " in " << lines[3];
    }
    EXPECT_EQ(contents(path("s.jsonl")).rfind("{\"sigma_max\":", 0), 0u);
}

TEST_F(MixCommand, usage_errors_exit_2_and_write_nothing) {
    write("shared-angle.txt", "Vf=0.01\ncrack_xy=10\n");
    write("unknown.txt", "Vf=0.01\nLx=3\n");
    write("fiber-params.txt", "Am=2500\nmodel=2\n");
    const std::string outputs = " --csv " + path("mix.csv") + " --files " + path("out");
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"mix --fiber " + path("shared-angle.txt"), "shared-angle.txt: \"crack_xy\" is shared"},
        {fibers() + " Lf=30", "the command line: \"Lf\" is an input of one fiber type"},
        {fibers() + " --params " + path("fiber-params.txt"),
         "fiber-params.txt: \"model\" is an input of one fiber type"},
        {"mix --fiber " + path("unknown.txt"), "unknown.txt:2: unknown name \"Lx\""},
        {"mix --fiber " + path("missing.txt"), "missing.txt"},
        {"mix Am=2500", "--fiber is required"},
        {fibers() + " --sigma-fc 3MPa", "--sigma-fc"},
        {fibers() + " --J-tip 0", "--J-tip must be a finite number above 0"},
        {fibers() + " --openings 0,x", "--openings: opening 1"},
        {fibers() + " --summary " + path("mix.csv"), "--csv and --summary name the same file"},
    };
    for (const auto& c : cases) {
        const Outcome o = batch(c.args + outputs);
        EXPECT_EQ(o.status, 2) << c.args << ": " << o.output;
        EXPECT_NE(o.output.find(c.message), std::string::npos) << c.args << ": " << o.output;
        EXPECT_FALSE(fs::exists(path("mix.csv"))) << c.args;
        EXPECT_FALSE(fs::exists(path("out"))) << c.args;
    }
}

TEST_F(MixCommand, a_refused_type_names_its_file_and_field_and_nothing_is_written) {
    write("short.txt", std::string(steel_text) + "Lf=0\n");
    write("no-C.txt", std::string(steel_text) + "C=0\n");
    const std::string outputs = " --csv " + path("mix.csv") + " --files " + path("out");
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"mix --fiber " + path("pva.txt") + " --fiber " + path("short.txt"),
         "short.txt (fiber 2), Lf: \"Length (mm)\" must be greater than 0."},
        {"mix --fiber " + path("no-C.txt") + " --fiber " + path("pva.txt"),
         "no-C.txt (fiber 1), C: \"C\" must not be 0"},
        {fibers() + " Am=0", "quarnel-batch mix: \"Matrix, Sectional area (mm2)\" must not be 0"},
        {fibers() + " division=0", "quarnel-batch mix: \"Division\" must not be 0"},
        {fibers() + " --openings 0,-1", "quarnel-batch mix: Opening 1 (numbered from 0)"},
    };
    for (const auto& c : cases) {
        const Outcome o = batch(c.args + outputs);
        EXPECT_EQ(o.status, 2) << c.args << ": " << o.output;
        EXPECT_NE(o.output.find(c.message), std::string::npos) << c.args << ": " << o.output;
        EXPECT_FALSE(fs::exists(path("mix.csv"))) << c.args;
        EXPECT_FALSE(fs::exists(path("out"))) << c.args;
    }
}

TEST_F(MixCommand, file_failures_exit_3_and_say_what_each_output_holds) {
    // The folder's place is checked before any output is created.
    write("plain-file", "");
    write("mix.csv", "old");
    const Outcome folder =
        batch(fibers() + " --quiet --csv " + path("mix.csv") + " --files " + path("plain-file"));
    EXPECT_EQ(folder.status, 3) << folder.output;
    EXPECT_NE(folder.output.find("cannot create the folder"), std::string::npos) << folder.output;
    EXPECT_NE(folder.output.find("mix.csv was not created"), std::string::npos) << folder.output;
    EXPECT_EQ(contents(path("mix.csv")), "old");
    if (fs::exists("/dev/full")) {
        const Outcome full = batch(fibers() + " --quiet --csv /dev/full");
        EXPECT_EQ(full.status, 3) << full.output;
        EXPECT_NE(full.output.find("/dev/full is empty"), std::string::npos) << full.output;
    }
    const Outcome summary = batch(fibers() + " --quiet --summary " + path("no/such/s.csv"));
    EXPECT_EQ(summary.status, 3) << summary.output;
}

TEST_F(MixCommand, a_signal_ends_the_outputs_after_whole_rows_and_says_what_each_holds) {
    // Standard output is a pipe read only after the signal, so the command
    // blocks in the middle of its JSON lines and is stopped there.
    const std::string csv = path("mix.csv");
    Process mix(batch,
                {"mix", "--fiber", path("pva.txt"), "--fiber", path("steel.txt"), "division=2000",
                 "--json", "--quiet", "--csv", csv, "--files", path("out")},
                Streams::apart);
    for (int i = 0; i < 1200 && count_of(contents(csv), "\n") < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    mix.signal(SIGINT);
    const Outcome o = mix.wait();
    const std::string& json = o.output;
    ASSERT_NE(o.status, -1) << "ended by a signal";
    EXPECT_EQ(o.status, 130) << o.err;
    const std::string rows = contents(csv);
    const std::string file = contents(path("out/fiber-2.p-d"));
    ASSERT_FALSE(rows.empty());
    ASSERT_FALSE(json.empty());
    EXPECT_EQ(rows.back(), '\n');
    EXPECT_EQ(json.back(), '\n');
    const std::size_t lines = count_of(json, "\n");
    EXPECT_GE(lines, 50u);
    EXPECT_LT(lines, 4001u);
    // The step under way when the signal came is finished in every output.
    EXPECT_EQ(count_of(rows, "\n") - 1, lines);
    EXPECT_EQ(count_of(file, "\n") - 6, lines);
    const std::string& said = o.err;
    EXPECT_NE(
        said.find("stopped by SIGINT: " + csv + " holds the heading and " + std::to_string(lines) +
                  " rows, standard output holds " + std::to_string(lines) + " JSON lines"),
        std::string::npos)
        << said;
    EXPECT_NE(said.find("fiber-2.p-d holds the header and " + std::to_string(lines) + " rows"),
              std::string::npos)
        << said;
}

}  // namespace

namespace {

// A file cut off inside its header says how many of the header's lines it
// holds, counted from the file itself.
TEST_F(MixCommand, a_result_file_cut_off_in_its_header_says_how_much_it_holds) {
    for (const rlim_t limit : {0, 60, 150}) {
        Process process(batch,
                        {"mix", "--quiet", "--fiber", path("pva.txt"), "--files", path("out")},
                        Streams::together, limit);
        const Outcome o = process.wait();
        EXPECT_EQ(o.status, 3) << o.output;
        const std::string file = contents(path("out/fiber-1.p-d"));
        const std::size_t lines = count_of(file, "\n");
        ASSERT_LT(lines, 6u) << limit;
        const std::string said =
            lines == 0 ? "fiber-1.p-d is empty"
                       : "fiber-1.p-d holds " + std::to_string(lines) + " of the header's 6 lines";
        EXPECT_NE(o.output.find(said), std::string::npos) << limit << ": " << o.output;
        EXPECT_EQ(o.output.find("quarnel-batch: "), std::string::npos) << o.output;
    }
}

}  // namespace
