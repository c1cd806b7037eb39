// What every command shares, tried on each of the four as a user would:
// usage errors, empty values, output places, unreadable and endless inputs,
// failing and closed standard outputs, and option numbers.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/text.h"

namespace {

namespace fs = std::filesystem;
using namespace quarnel_test;

const Program batch{QUARNEL_BATCH};

// Runs the command with its standard output a pipe whose reader has gone
// (as after `| head -1`); its standard error is the outcome's text.
std::vector<std::string> words_of(const std::string& arguments) {
    std::vector<std::string> args;
    std::istringstream words(arguments);
    for (std::string w; words >> w;) args.push_back(w);
    return args;
}

Outcome batch_with_closed_reader(const std::string& arguments) {
    std::vector<std::string> args = words_of(arguments);
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {};
    close(out[0]);
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGPIPE, SIG_DFL);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(err[0]);
        std::vector<char*> argv{const_cast<char*>(QUARNEL_BATCH)};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(QUARNEL_BATCH, argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    Outcome outcome;
    char buffer[4096];
    for (ssize_t got; (got = read(err[0], buffer, sizeof buffer)) > 0;) {
        outcome.output.append(buffer, static_cast<std::size_t>(got));
    }
    close(err[0]);
    int raw = 0;
    waitpid(pid, &raw, 0);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return outcome;
}

struct Command {
    const char* name;
    const char* prefix;  // of its messages
};

const Command commands[] = {
    {"single", "quarnel-batch: "},        {"sweep", "quarnel-batch sweep: "},
    {"sample", "quarnel-batch sample: "}, {"mix", "quarnel-batch mix: "},
    {"fit", "quarnel-batch fit: "},
};

class SharedBehaviour : public BatchTest, public ::testing::WithParamInterface<Command> {
  protected:
    void SetUp() override {
        BatchTest::SetUp();
        write("fiber.txt", "Lf=12\nVf=0.02\n");
        write("params.txt", "division=2\n");
        write("curve.csv", "0.05,1\n0.1,1.4\n0.2,1.9\n0.4,2.1\n0.8,1.5\n");
    }
    // The command with quick inputs, then `extra`; its only file output is
    // OUT (the summary or the CSV) unless `extra` names more.
    std::string command(const std::string& extra) const {
        const std::string name = GetParam().name;
        if (name == "single") return "-o " + path("law.p-d") + " division=2 " + extra;
        if (name == "sweep") return "sweep --vary Vf=0.01,0.02 division=2 --jobs 1 " + extra;
        if (name == "sample") {
            return "sample --dist Vf=uniform:0.01:0.02 --runs 2 division=2 --jobs 1 " + extra;
        }
        if (name == "mix") return "mix --fiber " + path("fiber.txt") + " division=2 " + extra;
        return "fit " + path("curve.csv") +
               " --fit Pmax=1:3 --starts 1 --max-evaluations 3 Lf=12 " + extra;
    }
    Outcome run(const std::string& extra) const { return batch(command(extra)); }
};

TEST_P(SharedBehaviour, usage_errors_exit_2_with_the_commands_prefix_and_write_nothing) {
    for (const std::string& extra : std::vector<std::string>{
             "--bogus", "--summary \"\" --quiet", "--params \"\"", "--sigma-fc 0x10",
             "--sigma-fc 3MPa", "--J-tip 1e-320", "--sigma-fc -1", "--at yesterday", "Bx=1"}) {
        const Outcome o = run(extra + " --summary " + path("s.csv"));
        EXPECT_EQ(o.status, 2) << extra << ": " << o.output;
        EXPECT_NE(o.output.find(GetParam().prefix), std::string::npos) << extra << ": " << o.output;
        EXPECT_FALSE(fs::exists(path("s.csv"))) << extra;
        EXPECT_FALSE(fs::exists(path("law.p-d"))) << extra;
    }
}

// How the criteria are formed is the same option in every command, each
// fault named.
TEST_P(SharedBehaviour, criteria_options_refuse_what_they_cannot_use) {
    const struct {
        std::string extra;
        std::string message;
    } cases[] = {
        {"--criteria fast", "--criteria must be converged or steps, not \"fast\""},
        {"--criteria-tolerance 0", "--criteria-tolerance must be from 1e-06 to 0.1, not \"0\""},
        {"--criteria-tolerance 0.5", "--criteria-tolerance must be from 1e-06 to 0.1"},
        {"--criteria-tolerance 1e-3x", "--criteria-tolerance: \"1e-3x\" is not a decimal number"},
        {"--criteria steps --criteria-tolerance 1e-4",
         "--criteria-tolerance: criteria from steps are not refined"},
        {"--sigma-fc 1 --J-tip 10 --psh-margins 1.3", "--psh-margins must be two numbers S,E"},
        {"--sigma-fc 1 --J-tip 10 --psh-margins 1.3,0",
         "--psh-margins must be two decimal numbers above 0"},
        {"--sigma-fc 1 --J-tip 10 --psh-margins 1.3,", "--psh-margins must be two decimal"},
        {"--sigma-fc 1 --psh-margins 1.3,2.7", "--psh-margins needs --sigma-fc and --J-tip"},
    };
    for (const auto& [extra, message] : cases) {
        const Outcome o = run(extra + " --summary " + path("s.csv"));
        EXPECT_EQ(o.status, 2) << extra << ": " << o.output;
        EXPECT_NE(o.output.find(GetParam().prefix + message), std::string::npos)
            << extra << ": " << o.output;
        EXPECT_FALSE(fs::exists(path("s.csv"))) << extra;
    }
}

// The summary says how its criteria were formed: converged by default, on
// openings of their own and with the last change within the tolerance; from
// the steps on request, with no change; the margin verdict with the margins.
TEST_P(SharedBehaviour, summaries_say_how_the_criteria_were_formed) {
    const std::string name = GetParam().name;
    // The fit's fitted law is computed at the "Division" scheme's 61 steps,
    // the others at division 2's five.
    const std::string steps = name == "fit" ? "61" : "5";
    // Both indices above 1, but an energy margin no law here meets.
    const std::string matrix = " --sigma-fc 0.01 --J-tip 1 --psh-margins 1.3,1e6";
    for (const bool converged : {true, false}) {
        SCOPED_TRACE(converged ? "converged" : "steps");
        const Outcome o = run("--quiet --summary " + path("s.csv") + matrix +
                              (converged ? " --criteria-tolerance 0.01" : " --criteria steps"));
        ASSERT_EQ(o.status, 0) << o.output;
        const std::vector<std::string> rows = lines_of(contents(path("s.csv")));
        ASSERT_GE(rows.size(), 2u);
        const std::vector<std::string> header = cells_of(rows[0]);
        // A fit's own columns follow the criteria's.
        const std::size_t at = static_cast<std::size_t>(
            std::find(header.begin(), header.end(), "strain_hardening") - header.begin());
        ASSERT_LE(at + 4, header.size()) << rows[0];
        EXPECT_EQ(std::vector<std::string>(header.begin() + static_cast<long>(at),
                                           header.begin() + static_cast<long>(at) + 4),
                  (std::vector<std::string>{"strain_hardening", "criteria_openings",
                                            "criteria_change", "strain_hardening_margin"}));
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const std::vector<std::string> cells = cells_of(rows[r]);
            ASSERT_EQ(cells.size(), header.size()) << rows[r];
            const std::string& openings = cells[at + 1];
            const std::string& change = cells[at + 2];
            EXPECT_EQ(cells[at], "yes") << rows[r];
            EXPECT_EQ(cells[at + 3], "no") << rows[r];
            if (converged) {
                EXPECT_GT(std::stol(openings), 32) << rows[r];
                ASSERT_FALSE(change.empty()) << rows[r];
                EXPECT_LE(std::stod(change), 0.01) << rows[r];
            } else {
                EXPECT_EQ(openings, steps) << rows[r];
                EXPECT_EQ(change, "") << rows[r];
            }
        }
        fs::remove(path("s.csv"));
    }
}

TEST_P(SharedBehaviour, no_output_names_an_input_another_output_or_standard_output) {
    write("keep.csv", "kept");
    fs::create_hard_link(path("keep.csv"), path("keep.link"));
    // Standard output appends (">>" leaves the file as it is until the
    // command writes), so the refusal's message is all that may follow.
    for (const std::string& extra : std::vector<std::string>{
             "--summary " + path("params.txt") + " --params " + path("params.txt"),
             "--summary " + path("keep.csv") + " --json >> " + path("keep.link"),
             "--summary " + path("keep.csv") + " --json >> " + path("keep.csv")}) {
        const Outcome o = run(extra);
        EXPECT_EQ(o.status, 2) << extra << ": " << o.output;
        EXPECT_EQ(contents(path("params.txt")), "division=2\n");
        const std::string kept = contents(path("keep.csv"));
        EXPECT_EQ(kept.rfind("kept", 0), 0u) << extra;
        EXPECT_EQ(kept.find("sigma"), std::string::npos) << extra << ": " << kept;
    }
}

TEST_P(SharedBehaviour, unreadable_and_endless_input_files_exit_2_naming_the_file) {
    for (const std::string& file :
         std::vector<std::string>{"/proc/self/mem", "/dev/zero", dir_.string()}) {
        const Outcome o = run("--params " + file + " --summary " + path("s.csv"));
        EXPECT_EQ(o.status, 2) << file << ": " << o.output;
        EXPECT_NE(o.output.find(file), std::string::npos) << o.output;
        EXPECT_FALSE(fs::exists(path("s.csv")));
    }
}

TEST_P(SharedBehaviour, a_full_or_closed_standard_output_exits_3_and_says_so) {
    Outcome o = Process(batch, words_of(command("--json")), "/dev/full").wait();
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_NE(o.err.find("writing standard output failed"), std::string::npos) << o.err;
    // A reader that stops at once: the command is told by a failed write,
    // not ended by SIGPIPE.
    o = batch_with_closed_reader(command("--json"));
    EXPECT_EQ(o.status, 3) << o.output;
}

// A narrow orientation density (kxy = 1e4) is computed all the same, with
// one warning on standard error, whatever number of laws the command
// computes; the exact weights need none. A mix's type names its file.
TEST_P(SharedBehaviour, a_narrow_orientation_density_is_warned_of_once_on_standard_error) {
    const std::string name = GetParam().name;
    const auto narrow = [&](const std::string& weights) {
        if (name != "mix") return command("kxy=1e4 orientation_weights=" + weights);
        write("narrow.txt", "Lf=12\nVf=0.02\nkxy=1e4\norientation_weights=" + weights + "\n");
        return "mix --fiber " + path("narrow.txt") + " division=2";
    };
    Outcome o = Process(batch, words_of(narrow("classic")), Streams::apart).wait();
    EXPECT_EQ(o.status, 0) << o.err;
    const std::string warning =
        GetParam().prefix + (name == "mix" ? path("narrow.txt") + ": " : std::string()) +
        "x-y plane: its 90 orientation weights sum to 0.716312, not 1 (kxy = 10000, "
        "theta_r_xy = 0 degrees).";
    EXPECT_EQ(count_of(o.err, warning), 1u) << o.err;
    EXPECT_EQ(count_of(o.err, "plane:"), 1u) << o.err;
    EXPECT_EQ(o.output.find("plane:"), std::string::npos) << o.output;

    o = Process(batch, words_of(narrow("exact")), Streams::apart).wait();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err.find("plane:"), std::string::npos) << o.err;
}

INSTANTIATE_TEST_SUITE_P(Commands, SharedBehaviour, ::testing::ValuesIn(commands),
                         [](const auto& info) { return std::string(info.param.name); });

using CommandLine = BatchTest;

TEST_F(CommandLine, outputs_inside_a_folder_of_outputs_and_over_inputs_are_refused) {
    write("p.txt", "division=2\n");
    write("a.txt", "Lf=12\n");
    write("op.txt", "0\n0.1\n");
    const std::string sweep = "sweep --vary Vf=0.01,0.02 division=2 ";
    for (const std::string& args :
         {sweep + "--files " + path("fd") + " --summary " + path("fd/run-00001.params"),
          sweep + "--files " + path("fd") + " --summary " + path("fd/run-00002.fiber-1.p-d"),
          "--params " + path("p.txt") + " --csv " + path("p.txt"),
          "--openings-file " + path("op.txt") + " --csv " + path("op.txt"),
          sweep + "--fiber " + path("p.txt") + " --summary " + path("p.txt"),
          "mix --fiber " + path("a.txt") + " --csv " + path("a.txt")}) {
        const Outcome o = batch(args);
        EXPECT_EQ(o.status, 2) << args << ": " << o.output;
        EXPECT_FALSE(fs::exists(path("fd"))) << args;
    }
    EXPECT_EQ(contents(path("p.txt")), "division=2\n");
    EXPECT_EQ(contents(path("a.txt")), "Lf=12\n");
    EXPECT_EQ(contents(path("op.txt")), "0\n0.1\n");
}

TEST_F(CommandLine, a_folder_of_outputs_that_cannot_be_made_leaves_every_output_untouched) {
    write("afile", "a file");
    write("s.csv", "old summary");
    const Outcome o = batch("sweep --vary Vf=0.01,0.02 division=2 --files " + path("afile") +
                            " --summary " + path("s.csv"));
    EXPECT_EQ(o.status, 3) << o.output;
    EXPECT_NE(o.output.find("a file of that name is in the way"), std::string::npos) << o.output;
    EXPECT_EQ(contents(path("s.csv")), "old summary");
}

TEST_F(CommandLine, option_numbers_are_decimal_and_within_their_ranges) {
    write("c.csv", "0.05,1\n0.1,1.4\n0.2,1.9\n");
    const std::string fit = "fit " + path("c.csv") + " --fit Pmax=1:3 ";
    for (const std::string& args : std::vector<std::string>{
             fit + "--starts 536870912", fit + "--starts 0", fit + "--max-evaluations 0",
             fit + "--max-evaluations -1", fit + "--seed -1", fit + "--seed 18446744073709551616",
             fit + "--seed 0x10", "sweep --vary Vf=0.01 --jobs 0",
             "sweep --vary Vf=0.01 --jobs 0x2", "sweep --vary theta_r_xy=-1.7e308:1.7e308:5",
             "sweep --vary Vf=1e-320:1.7e308:4:log", "sweep --vary model=1.0",
             "sweep --vary model=Constant"}) {
        const Outcome o = batch(args + " --summary " + path("s.csv"));
        EXPECT_EQ(o.status, 2) << args << ": " << o.output;
        EXPECT_FALSE(fs::exists(path("s.csv"))) << args;
    }
    const Outcome model = batch("sweep --vary model=Constant");
    EXPECT_NE(model.output.find("\"Constant\""), std::string::npos) << model.output;
}

TEST_F(CommandLine, a_long_argument_is_echoed_cut_short) {
    const std::string runaway(100000, '7');
    const Outcome o = batch("sweep --vary Vf=0.01 --at " + runaway);
    EXPECT_EQ(o.status, 2);
    EXPECT_LT(o.output.size(), 400u) << o.output.substr(0, 400);
}

}  // namespace
