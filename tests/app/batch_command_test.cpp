#include "app/batch_command.h"
#include "app/input_texts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/text.h"

namespace {

namespace fs = std::filesystem;

using namespace quarnel_test;
using BatchCommand = BatchTest;

const Program batch{QUARNEL_BATCH};

TEST_F(BatchCommand, writes_the_default_result_file_and_reports_the_peak) {
    const Outcome o = batch("-o " + path("run.p-d") + " --at \"2026-12-06 14:05:09\"");
    EXPECT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("61 steps"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("Peak: P = "), std::string::npos) << o.output;
    const std::string file = contents(path("run.p-d"));
    EXPECT_EQ(file.rfind("Bridging Law (bi-linear) calculated at 14:05:09 on 12-06-2026, Constant "
                         "model\r\n",
                         0),
              0u);
    EXPECT_EQ(count_of(file, "\r\n"), 67u);
}

TEST_F(BatchCommand, a_fixed_clock_makes_runs_reproducible_and_names_set_fields) {
    const std::string args = " --at \"2026-01-02 03:04:05\" --quiet Lf=30mm kxy=2 theta_r_xy=30";
    ASSERT_EQ(batch("-o " + path("a.p-d") + args).status, 0);
    ASSERT_EQ(batch("-o " + path("b.p-d") + args).status, 0);
    EXPECT_EQ(contents(path("a.p-d")), contents(path("b.p-d")));
    EXPECT_NE(contents(path("a.p-d")).find("X-Y=2, Z-X=1,  Principal orientation angle, X-Y=30"),
              std::string::npos);
}

TEST_F(BatchCommand, function_model_with_params_file_csv_and_json) {
    write("fit.txt",
          "# fitted pull-out law\nmodel=function-lb\nA=3\nB=0.45\n\nC=0.05\nD=0.3\ndivision=3\n");
    const Outcome o = batch("-o " + path("fit.p-d") + " --params " + path("fit.txt") + " --csv " +
                            path("fit.csv") + " --json --quiet");
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(contents(path("fit.p-d")).find(", Function lb model (P and \x83\xC2)\r\n"),
              std::string::npos);
    const std::string csv = contents(path("fit.csv"));
    EXPECT_EQ(csv.rfind("step,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio\n0,0,0,0,", 0), 0u) << csv;
    EXPECT_EQ(count_of(o.output, "{\"n\":"), 7u);
    EXPECT_NE(o.output.find("\"P_top\":"), std::string::npos);
}

TEST_F(BatchCommand, usage_errors_and_refused_inputs_exit_2_and_write_nothing) {
    for (const std::string& args :
         {std::string("Lf=0"), std::string("division=0"), std::string("Am=0"),
          std::string("nonsense=1"), std::string("model=3"), std::string("Lf"),
          std::string("--at yesterday"), std::string("sigma_fu=1e39")}) {
        const Outcome o = batch("-o " + path("refused.p-d") + " " + args);
        EXPECT_EQ(o.status, 2) << args << ": " << o.output;
        EXPECT_FALSE(fs::exists(path("refused.p-d"))) << args;
    }
    const Outcome o = batch("-o " + path("refused.p-d") + " Lf=-1");
    EXPECT_NE(o.output.find("\"Length (mm)\" must be greater than 0."), std::string::npos)
        << o.output;
}

TEST_F(BatchCommand, file_failures_exit_3_with_their_code) {
    const Outcome missing = batch("--quiet -o " + path("no/such/folder/run.p-d"));
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(
        missing.output.find("This output data file has been opened by another application. (76)"),
        std::string::npos)
        << missing.output;
    if (fs::exists("/dev/full")) {
        const Outcome full = batch("--quiet -o /dev/full");
        EXPECT_EQ(full.status, 3);
        EXPECT_NE(full.output.find("(61)"), std::string::npos) << full.output;
    }
    if (geteuid() != 0) {
        write("locked.p-d", "old");
        fs::permissions(path("locked.p-d"), fs::perms::owner_read);
        const Outcome locked = batch("--quiet -o " + path("locked.p-d"));
        EXPECT_EQ(locked.status, 3);
        EXPECT_NE(locked.output.find("(70)"), std::string::npos) << locked.output;
        EXPECT_EQ(contents(path("locked.p-d")), "old");
    }
}

TEST_F(BatchCommand, negative_division_writes_only_the_header) {
    ASSERT_EQ(batch("--quiet division=-3 -o " + path("empty.p-d")).status, 0);
    const std::string file = contents(path("empty.p-d"));
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 6);
}

std::string number_after(const std::string& text, const std::string& before) {
    const auto at = text.find(before);
    if (at == std::string::npos) return "";
    const auto start = at + before.size();
    return text.substr(start, text.find_first_not_of("0123456789", start) - start);
}

TEST_F(BatchCommand, an_existing_csv_is_untouched_until_the_result_file_is_open) {
    write("keep.csv", "keep\n");
    for (const std::string& args :
         {std::string("-o " + path("x.p-d") + " Lf=0"), std::string("-o " + path("nope/x.p-d")),
          std::string("-o " + path("x.p-d") + " nonsense=1")}) {
        const Outcome o = batch("--quiet --csv " + path("keep.csv") + " " + args);
        EXPECT_NE(o.status, 0) << args;
        EXPECT_EQ(contents(path("keep.csv")), "keep\n") << args;
    }
    EXPECT_FALSE(fs::exists(path("x.p-d")));
}

TEST_F(BatchCommand, a_csv_that_cannot_be_created_leaves_the_result_file_and_says_so) {
    const Outcome o =
        batch("--quiet division=1 -o " + path("x.p-d") + " --csv " + path("nope/x.csv"));
    EXPECT_EQ(o.status, 3);
    EXPECT_NE(o.output.find("cannot create " + path("nope/x.csv")), std::string::npos) << o.output;
    EXPECT_NE(o.output.find(path("x.p-d") + " holds the header and 0 rows"), std::string::npos)
        << o.output;
    EXPECT_EQ(count_of(contents(path("x.p-d")), "\r\n"), 6u);
}

TEST_F(BatchCommand, a_failing_standard_output_exits_3_with_a_message) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no full device";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--json", "division=2", "-o", path("j.p-d")},
          std::vector<std::string>{"division=2", "-o", path("s.p-d")},
          std::vector<std::string>{"--help"}}) {
        const Outcome o = Process(batch, args, "/dev/full").wait();
        EXPECT_EQ(o.status, 3) << args[0] << ": " << o.err;
        EXPECT_NE(o.err.find("writing standard output failed"), std::string::npos) << o.err;
    }
    EXPECT_NE(count_of(contents(path("j.p-d")), "\r\n"), 6u + 5u) << "the run stops at the failure";
}

TEST_F(BatchCommand, a_full_disk_leaves_every_file_with_whole_rows_and_counts_them) {
    // The size limit falls inside a row of the result file or of the CSV,
    // whichever reaches it first.
    for (const rlim_t limit : {1500, 1537, 2222}) {
        const Outcome o =
            Process(batch,
                    {"--quiet", "division=200", "-o", path("full.p-d"), "--csv", path("full.csv")},
                    Streams::together, limit)
                .wait();
        ASSERT_EQ(o.status, 3) << o.output;
        const std::string file = contents(path("full.p-d"));
        const std::string csv = contents(path("full.csv"));
        ASSERT_FALSE(file.empty());
        ASSERT_FALSE(csv.empty());
        EXPECT_EQ(file.substr(file.size() - 2), "\r\n") << limit;
        EXPECT_EQ(csv.back(), '\n') << limit;
        EXPECT_EQ(number_after(o.output, "full.p-d holds the header and "),
                  std::to_string(count_of(file, "\r\n") - 6))
            << o.output;
        EXPECT_EQ(number_after(o.output, "full.csv holds the heading and "),
                  std::to_string(count_of(csv, "\n") - 1))
            << o.output;
    }
}

TEST_F(BatchCommand, signals_end_the_run_with_whole_lines_in_every_file) {
    for (const int s : {SIGTERM, SIGINT, SIGHUP}) {
        const std::string name = "sig" + std::to_string(s);
        Process process(batch,
                        {"--quiet", "--json", "division=16000", "-o", path(name + ".p-d"), "--csv",
                         path(name + ".csv")},
                        path(name + ".json"));
        // Wait until the steps are being written.
        for (int i = 0; i < 600 && count_of(contents(path(name + ".p-d")), "\r\n") < 6 + 20; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        process.signal(s);
        const Outcome o = process.wait();
        EXPECT_EQ(o.status, 128 + s) << o.err;
        const std::string file = contents(path(name + ".p-d"));
        const std::string csv = contents(path(name + ".csv"));
        const std::string json = contents(path(name + ".json"));
        ASSERT_GT(file.size(), 2u);
        EXPECT_EQ(file.substr(file.size() - 2), "\r\n");
        ASSERT_FALSE(csv.empty());
        EXPECT_EQ(csv.back(), '\n');
        ASSERT_FALSE(json.empty());
        EXPECT_EQ(json.back(), '\n');
        const std::size_t rows = count_of(file, "\r\n") - 6;
        EXPECT_GE(rows, 20u);
        EXPECT_LT(rows, 32001u);
        EXPECT_EQ(count_of(csv, "\n") - 1, rows);
        EXPECT_EQ(count_of(json, "\n"), rows);
        EXPECT_NE(o.err.find("holds the header and " + std::to_string(rows) + " rows"),
                  std::string::npos)
            << o.err;
        EXPECT_NE(o.err.find("holds the heading and " + std::to_string(rows) + " rows"),
                  std::string::npos)
            << o.err;
        EXPECT_NE(o.err.find(std::to_string(rows) + " JSON lines"), std::string::npos) << o.err;
    }
}

TEST_F(BatchCommand, two_outputs_naming_one_file_are_refused_and_nothing_is_written) {
    write("old.p-d", "old");
    fs::create_hard_link(path("old.p-d"), path("link.csv"));
    for (const std::string& args : {"-o " + path("F") + " --csv " + path("F"),
                                    "-o " + path("F") + " --csv " + dir_.string() + "/./sub/../F",
                                    "-o " + path("old.p-d") + " --csv " + path("link.csv")}) {
        const Outcome o = batch("--quiet " + args);
        EXPECT_EQ(o.status, 2) << args << ": " << o.output;
        EXPECT_NE(o.output.find("name the same file"), std::string::npos) << o.output;
    }
    EXPECT_FALSE(fs::exists(path("F")));
    EXPECT_EQ(contents(path("old.p-d")), "old");
    const Outcome o = batch("--quiet -o " + path("old.p-d") + " > " + path("link.csv"));
    EXPECT_EQ(o.status, 2) << o.output;
}

TEST_F(BatchCommand, a_parameter_file_that_is_a_folder_or_unreadable_is_a_usage_error) {
    Outcome o = batch("--params " + dir_.string() + " -o " + path("x.p-d"));
    EXPECT_EQ(o.status, 2) << o.output;
    EXPECT_NE(o.output.find("is a folder"), std::string::npos) << o.output;
    o = batch("--params " + path("missing.txt") + " -o " + path("x.p-d"));
    EXPECT_EQ(o.status, 2) << o.output;
    if (geteuid() != 0) {
        write("locked.txt", "Lf=30\n");
        fs::permissions(path("locked.txt"), fs::perms::none);
        o = batch("--params " + path("locked.txt") + " -o " + path("x.p-d"));
        EXPECT_EQ(o.status, 2) << o.output;
    }
    EXPECT_FALSE(fs::exists(path("x.p-d")));
}

TEST_F(BatchCommand, parameter_files_take_a_byte_order_mark_and_blanks_around_the_name) {
    write("p.txt",
          "\xEF\xBB\xBF"
          "Lf = 25\n  B\t=  0.5\r\nmodel = 2\nC =0.05\nD= 0.3\n");
    Outcome o = batch("--quiet --at \"2026-01-02 03:04:05\" division=1 --params " + path("p.txt") +
                      " -o " + path("p.p-d"));
    EXPECT_EQ(o.status, 0) << o.output;
    const std::string file = contents(path("p.p-d"));
    EXPECT_NE(file.find("Lf(mm)=25,"), std::string::npos) << file;
    EXPECT_NE(file.find("Function lb model"), std::string::npos);

    write("bad.txt", "Lf=30\n# note\nBx = 1\n");
    o = batch("--params " + path("bad.txt") + " -o " + path("bad.p-d"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find(path("bad.txt") + ":3: unknown name \"Bx\""), std::string::npos)
        << o.output;
    EXPECT_FALSE(fs::exists(path("bad.p-d")));
}

TEST_F(BatchCommand, texts_with_ignored_characters_are_named_without_changing_the_status) {
    const Outcome o = batch("--quiet division=1 fp0=0,5 Lf=30mm \"kxy= 1 \" -o " + path("a.p-d"));
    EXPECT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("fp0: \"0,5\" read as 0\n"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("Lf: \"30mm\" read as 30\n"), std::string::npos) << o.output;
    EXPECT_EQ(o.output.find("kxy"), std::string::npos) << o.output;
}

TEST_F(BatchCommand, impossible_inputs_are_refused_naming_the_field_and_the_bound) {
    for (const auto& [args, says] : std::vector<std::pair<std::string, std::string>>{
             {"Vf=2%", "\"Fiber, Volume fraction\" must lie between 0 and 1, not 2"},
             {"Af=-0.01", "\"Fiber, Sectional area (mm2)\" must not be negative (it is -0.01)"},
             {"Am=-1", "\"Matrix, Sectional area (mm2)\" must not be negative (it is -1)"}}) {
        const Outcome o = batch("-o " + path("refused.p-d") + " " + args);
        EXPECT_EQ(o.status, 2) << args << ": " << o.output;
        EXPECT_NE(o.output.find(says), std::string::npos) << o.output;
        EXPECT_FALSE(fs::exists(path("refused.p-d"))) << args;
    }
    // The note on the text read in part comes first.
    const Outcome o = batch("-o " + path("refused.p-d") + " Vf=2%");
    EXPECT_LT(o.output.find("Vf: \"2%\" read as 2\n"), o.output.find("must lie between"));
}

// The exact weights are an input like the others: refused with the texts it
// takes, written by --save-params only when not classic, and read back from
// the file to the same law.
TEST_F(BatchCommand, orientation_weights_takes_classic_or_exact) {
    Outcome o = batch("-o " + path("w.p-d") + " orientation_weights=Exact");
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("quarnel-batch: orientation_weights must be classic or exact, not "
                            "\"Exact\""),
              std::string::npos)
        << o.output;
    EXPECT_FALSE(fs::exists(path("w.p-d")));

    const std::string at = " --at \"2026-01-02 03:04:05\" --quiet division=2 kxy=1e4";
    ASSERT_EQ(
        batch("-o " + path("default.p-d") + " --save-params " + path("default.params") + at).status,
        0);
    ASSERT_EQ(batch("-o " + path("classic.p-d") + " --save-params " + path("classic.params") + at +
                    " orientation_weights=classic")
                  .status,
              0);
    EXPECT_EQ(contents(path("classic.params")), contents(path("default.params")));
    EXPECT_EQ(contents(path("classic.p-d")), contents(path("default.p-d")));
    EXPECT_EQ(contents(path("default.params")).find("orientation_weights"), std::string::npos);

    o = batch("-o " + path("exact.p-d") + " --save-params " + path("exact.params") + at +
              " orientation_weights=exact");
    ASSERT_EQ(o.status, 0) << o.output;
    const std::string params = contents(path("exact.params"));
    EXPECT_NE(params.find("\norientation_weights=exact\nmodel=1\n"), std::string::npos) << params;
    EXPECT_NE(contents(path("exact.p-d")), contents(path("default.p-d")));
    ASSERT_EQ(batch("-o " + path("again.p-d") + " --quiet --at \"2026-01-02 03:04:05\" --params " +
                    path("exact.params"))
                  .status,
              0);
    EXPECT_EQ(contents(path("again.p-d")), contents(path("exact.p-d")));
}

TEST(ParamsFileText, writes_orientation_weights_only_when_not_classic) {
    quarnel::InputSet inputs = quarnel::default_input_texts();
    const std::string classic = quarnel::params_file_text(inputs, 1);
    EXPECT_EQ(classic.find("orientation_weights"), std::string::npos);
    inputs.erase("orientation_weights");
    EXPECT_EQ(quarnel::params_file_text(inputs, 1), classic);
    inputs["orientation_weights"] = " exact ";
    const std::string exact = quarnel::params_file_text(inputs, 2);
    EXPECT_EQ(exact.substr(exact.size() - 35), "\norientation_weights=exact\nmodel=2\n");
}

TEST_F(BatchCommand, help_gives_units_defaults_and_exit_statuses) {
    const Outcome o = batch("--help");
    EXPECT_EQ(o.status, 0);
    for (const char* part : {"fiber length, mm", "774", "Exit status", "128 + the", "SIGTERM"}) {
        EXPECT_NE(o.output.find(part), std::string::npos) << part;
    }
}

TEST(BatchRequest, parsing_runs_nothing_and_reads_the_parameter_text_it_is_given) {
    const auto reader = [](const std::string& name) {
        return quarnel::ParamsFileText{"D=0.3\nC = 0.05\n", name};
    };
    const auto parsed = quarnel::parse_batch_request(
        {"--params", "fit.txt", "C=0.07", "--csv", "a.csv", "--json"}, reader);
    ASSERT_TRUE(std::holds_alternative<quarnel::BatchRequest>(parsed));
    const auto& r = std::get<quarnel::BatchRequest>(parsed);
    EXPECT_EQ(std::get<std::string>(r.values.inputs.texts.at("C")), "0.07");
    EXPECT_EQ(std::get<std::string>(r.values.inputs.texts.at("D")), "0.3");
    EXPECT_EQ(r.csv, "a.csv");
    EXPECT_TRUE(r.json);
    EXPECT_FALSE(fs::exists("a.csv"));

    const auto refused = quarnel::parse_batch_request({"--params", "x", "Lf"}, reader);
    ASSERT_TRUE(std::holds_alternative<quarnel::BatchParseEnd>(refused));
    EXPECT_EQ(std::get<quarnel::BatchParseEnd>(refused).status, 2);
}

// The openings that a default run prints, given back with --openings, make
// the same result file byte for byte: the openings are read exactly.
TEST_F(BatchCommand, openings_read_exactly_reproduce_the_division_run) {
    const std::string at = " --at \"2026-12-07 09:00:00\"";
    const Outcome json = batch("-o " + path("division.p-d") + at + " --json");
    ASSERT_EQ(json.status, 0) << json.output;
    std::string list;
    for (std::size_t w = json.output.find("\"Wcr\":"); w != std::string::npos;
         w = json.output.find("\"Wcr\":", w + 1)) {
        const std::size_t from = w + 6;
        list += (list.empty() ? "" : ",") +
                json.output.substr(from, json.output.find(',', from) - from);
    }
    const Outcome o = batch("-o " + path("openings.p-d") + at + " --quiet --openings " + list);
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_EQ(contents(path("openings.p-d")), contents(path("division.p-d")));
}

TEST_F(BatchCommand, openings_give_one_row_each_and_leave_division_unchecked) {
    write("w.txt", "# openings in mm\r\n0\r\n\r\n0.5\r\n  2.25 \r\n1e-300\r\n");
    const Outcome o = batch("-o " + path("w.p-d") + " --csv " + path("w.csv") +
                            " --quiet division=0 --openings-file " + path("w.txt"));
    ASSERT_EQ(o.status, 0) << o.output;
    const std::vector<std::string> rows = lines_of(contents(path("w.csv")));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], "step,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio");
    EXPECT_EQ(rows[1].rfind("0,0,0,0,", 0), 0u);
    EXPECT_EQ(rows[2].rfind("1,0.5,", 0), 0u);
    EXPECT_EQ(rows[3].rfind("2,2.25,", 0), 0u);
    EXPECT_EQ(rows[4].rfind("3,1e-300,", 0), 0u);
    EXPECT_NE(contents(path("w.p-d")).find("\r\n 3            0.00000"), std::string::npos);
}

// The report says how the criteria were formed: converged on openings of
// their own by default, from the steps on request. Steps whose openings do
// not increase give no criteria, and say why; the run is written all the same.
TEST_F(BatchCommand, the_report_says_how_the_criteria_were_formed) {
    Outcome o = batch("-o " + path("a.p-d"));
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_TRUE(o.output.find("Criteria converged on ") != std::string::npos &&
                o.output.find(" openings of their own in ") != std::string::npos &&
                o.output.find(", tolerance 0.001).\n") != std::string::npos)
        << o.output;
    o = batch("-o " + path("a.p-d") + " --criteria steps");
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("Criteria from the 61 steps, trapezoids from (0, 0).\n"),
              std::string::npos)
        << o.output;
    o = batch("-o " + path("a.p-d") + " --criteria steps --openings 0,0.2,0.1,0.5 --summary " +
              path("s.csv"));
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("No criteria: the openings do not increase: opening 2 (0.1 mm) is not "
                            "above the one before it (0.2 mm).\n"),
              std::string::npos)
        << o.output;
    EXPECT_EQ(o.output.find("sigma_max ="), std::string::npos) << o.output;
    EXPECT_EQ(count_of(contents(path("a.p-d")), "\r\n"), 10u);
    const std::vector<std::vector<std::string>> summary = csv_rows(contents(path("s.csv")));
    ASSERT_EQ(summary.size(), 2u);
    ASSERT_EQ(summary[1].size(), 10u);
    EXPECT_EQ(std::vector<std::string>(summary[1].begin(), summary[1].begin() + 9),
              (std::vector<std::string>{"", "", "", "", "", "", "", "4", ""}));
    // The orientation weights are the inputs', known without criteria.
    EXPECT_EQ(summary[0][9], "orientation_weight_error");
    EXPECT_LT(std::stod(summary[1][9]), 1e-12);
}

TEST_F(BatchCommand, openings_that_are_negative_or_not_numbers_are_refused_by_position) {
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"--openings 0,0.1,-0.2", "Opening 2 (numbered from 0) must be a finite number"},
        {"--openings 0,nan", "opening 1: \"nan\" is not a decimal number"},
        {"--openings 0,,1", "opening 1: \"\" is not a decimal number"},
        {"--openings 0.1,1e999", "opening 1: \"1e999\" is beyond the range"},
        {"--openings 0,1mm", "opening 1: \"1mm\" is not a decimal number"},
        {"--openings 1 --openings-file x.txt", "excludes"},
    };
    for (const auto& c : cases) {
        const Outcome o = batch("-o " + path("r.p-d") + " " + c.args);
        EXPECT_EQ(o.status, 2) << c.args << ": " << o.output;
        EXPECT_NE(o.output.find(c.message), std::string::npos) << c.args << ": " << o.output;
        EXPECT_FALSE(fs::exists(path("r.p-d"))) << c.args;
    }
    write("bad.txt", "0\n# note\n0.5\nabc\n");
    const Outcome o = batch("-o " + path("r.p-d") + " --openings-file " + path("bad.txt"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("line 4 (opening 2): \"abc\""), std::string::npos) << o.output;
}

}  // namespace
