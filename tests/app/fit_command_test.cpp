// quarnel-batch fit as a process: its options, refusals, outputs and exit
// statuses. The fits are cut short (--starts 1, few evaluations) so that the
// tests stay quick under the sanitizers.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "engine/input_table.h"
#include "engine/text_to_number.h"
#include "study/law_run.h"
#include "study/measured_curve.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/text.h"

namespace {

namespace fs = std::filesystem;

using namespace quarnel_test;

const Program quarnel_batch{QUARNEL_BATCH};

// quarnel-batch with `args`, its standard output and error apart.
Outcome batch(const std::vector<std::string>& args) {
    return quarnel_batch.apart(args);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The first match of a JSON value's pattern.
std::string json_field(const std::string& json, const std::string& pattern) {
    std::smatch m;
    if (!std::regex_search(json, m, std::regex(pattern))) return "";
    return m[1];
}

class FitCommand : public BatchTest {
  protected:
    void SetUp() override {
        BatchTest::SetUp();
        // A curve made with Pmax = 2.2 N and delta_max = 0.3 mm at 12 uneven
        // openings, unsorted, one repeated; a header and a comment.
        openings_ = {0.5, 0.01, 2, 0.2, 6, 0.05, 1, 3.5, 0.1, 9, 0.3, 1};
        quarnel::InputSet inputs = quarnel::default_input_texts();
        inputs["Pmax"] = "2.2";
        inputs["delta_max"] = "0.3";
        std::vector<double> sorted = openings_;
        std::sort(sorted.begin(), sorted.end());
        const quarnel::LawRun law = quarnel::compute_law(inputs, sorted);
        std::string text = "# made by the model\nw (mm);sigma (MPa)\n";
        for (const double w : openings_) {
            const auto at = std::lower_bound(sorted.begin(), sorted.end(), w) - sorted.begin();
            text += quarnel::shortest_number_text(w) + ";" +
                    quarnel::shortest_number_text(law.steps[static_cast<std::size_t>(at)].sigma) +
                    "\n";
        }
        write("curve.csv", text);
    }
    // A quick fit of the curve with extra arguments (one start and 25
    // evaluations unless they give --starts).
    Outcome fit(std::vector<std::string> extra) const {
        std::vector<std::string> args = {"fit", path("curve.csv")};
        if (std::find(extra.begin(), extra.end(), "--starts") == extra.end()) {
            args.insert(args.end(), {"--starts", "1", "--max-evaluations", "25"});
        }
        args.insert(args.end(), extra.begin(), extra.end());
        return batch(args);
    }

    std::vector<double> openings_;
};

TEST_F(FitCommand, help_lists_every_option_and_the_exit_statuses) {
    const Outcome o = batch({"fit", "--help"});
    EXPECT_EQ(o.status, 0);
    for (const char* option : {"--fit",         "--params",
                               "--until",       "--starts",
                               "--seed",        "--max-evaluations",
                               "--max-time",    "--output",
                               "--at",          "--csv",
                               "--summary",     "--sigma-fc",
                               "--J-tip",       "--json",
                               "--quiet",       "Exit status",
                               "130 by SIGINT", "--columns",
                               "--skip",        "standard error (SE)",
                               "intervals_95",  "criteria_differences",
                               "NAME_se",       "G_b_difference",
                               "warnings"}) {
        EXPECT_TRUE(contains(o.output, option)) << option;
    }
}

TEST_F(FitCommand, usage_errors_exit_2_and_name_the_fault) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "--fit is required"},
        {{"--fit", "Pmax"}, "--fit takes NAME=LOW:HIGH"},
        {{"--fit", "Pmax=1"}, "--fit Pmax: expected LOW:HIGH or LOW:HIGH:START"},
        {{"--fit", "Pmax=1:2:3:4"}, "--fit Pmax: expected LOW:HIGH"},
        {{"--fit", "Pmax=a:2"}, "--fit Pmax LOW: \"a\" is not a decimal number"},
        {{"--fit", "Pmax=1:1e999"}, "--fit Pmax HIGH: \"1e999\" is beyond the range"},
        {{"--fit", "Bx=0:1"}, "--fit: unknown name \"Bx\""},
        {{"--fit", "Pmax=2:1"}, "Pmax: LOW must be below HIGH"},
        {{"--fit", "Pmax=1:2:3"}, "Pmax: START must lie within LOW:HIGH"},
        {{"--fit", "division=1:3"}, "\"division\" cannot be fitted"},
        {{"--fit", "model=1:2"}, "\"model\" cannot be fitted: it chooses the pull-out model"},
        {{"--fit", "A=1:2", "--fit", "Pmax=1:2"}, "\"Pmax\" is fitted twice"},
        {{"--fit", "A=1:2", "--starts", "0"}, "--starts must be at least 1"},
        {{"--fit", "A=1:2", "--extra-starts", "10001"},
         "--extra-starts must be at least 0 and at most 10000"},
        {{"--fit", "A=1:2", "--max-time", "0"}, "--max-time must be above 0"},
        {{"--fit", "A=1:2", "--until", "x"}, "--until: \"x\" is not a decimal number"},
        {{"--fit", "A=1:2", "--bogus"}, "bogus"},
        {{"--fit", "A=1:2", "Bx=1"}, "unknown name \"Bx\""},
        {{"--fit", "A=1:2", "model=3"}, "model must be 1, 2, constant or function-lb"},
        {{"--fit", "A=1:2", "--params", path("none.txt")}, "--params: cannot read the file"},
        {{"--fit", "A=1:2", "--at", "yesterday"}, "--at takes"},
        // Fixed inputs refused before the fit, named by their caption.
        {{"--fit", "A=1:2", "Lf=0"}, "\"Length (mm)\" must be greater than 0"},
        {{"--fit", "A=1:2", "-o", path("out.p-d"), "division=0"}, "\"Division\""},
        // Fewer points than fitted values plus one.
        {{"--fit", "A=1:2", "--until", "0.02"},
         "holds 1 point with an opening up to 0.02 mm, fewer than the 2 that fitting 1 value "
         "needs"},
        // Every candidate refused.
        {{"--fit", "Pmax=1e300:1e308"}, "every candidate was refused"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome o = fit(args);
        std::string shown;
        for (const std::string& a : args) shown += a + " ";
        EXPECT_EQ(o.status, 2) << shown << o.err;
        EXPECT_TRUE(contains(o.err, message)) << shown << "\n" << o.err;
        EXPECT_EQ(o.output, "") << shown;
    }
    EXPECT_FALSE(fs::exists(path("out.p-d")));
}

TEST_F(FitCommand, measured_file_errors) {
    // An input file that cannot be read is a usage error, as for every command.
    Outcome o = batch({"fit", path("missing.csv"), "--fit", "A=1:2"});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(contains(o.err, "cannot read the file")) << o.err;
    o = batch({"fit", dir_.string(), "--fit", "A=1:2"});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(contains(o.err, "is a folder")) << o.err;

    const std::vector<std::pair<std::string, std::string>> files = {
        {"w,sigma\n0.1,1\n0.2,abc\n", "line 3: the stress \"abc\" is not a number"},
        {"0.1,1\n\n-0.2,1\n", "line 3: the opening -0.2 is negative"},
        {"0.1,1\n0.2,inf\n", "line 2: the stress \"inf\" is not a finite number"},
        {"0.1;1;2\n", "line 1: expected two values"},
        {"# nothing\n", "the file holds no data rows"},
        {"0.1,1\n", "holds 1 point, fewer than the 2 that fitting 1 value needs"},
    };
    for (const auto& [text, message] : files) {
        write("bad.csv", text);
        o = batch({"fit", path("bad.csv"), "--fit", "A=1:2", "-o", path("out.p-d")});
        EXPECT_EQ(o.status, 2) << text;
        EXPECT_TRUE(contains(o.err, path("bad.csv") + ": " + message) || contains(o.err, message))
            << text << "\n"
            << o.err;
    }
    EXPECT_FALSE(fs::exists(path("out.p-d")));
}

TEST_F(FitCommand, outputs_that_name_one_file_are_refused_before_the_fit) {
    Outcome o = fit({"--fit", "A=1:3", "-o", path("curve.csv")});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(contains(o.err, "-o names the measured file")) << o.err;
    o = fit({"--fit", "A=1:3", "-o", path("same"), "--csv", path("same")});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(contains(o.err, "-o and --csv name the same file")) << o.err;
    o = fit({"--fit", "A=1:3", "--summary", path("same"), "--csv", path("same")});
    EXPECT_EQ(o.status, 2);
    EXPECT_FALSE(fs::exists(path("same")));
}

TEST_F(FitCommand, an_output_that_fails_exits_3_after_the_result) {
    Outcome o = fit({"--fit", "Pmax=0.5:5", "-o", path("no-folder/fitted.p-d")});
    EXPECT_EQ(o.status, 3);
    EXPECT_TRUE(contains(o.output, "The same law: Pmax=")) << o.output;
    EXPECT_TRUE(contains(o.err, "(76)")) << o.err;  // the folder does not exist
    o = fit({"--fit", "Pmax=0.5:5", "--csv", path("no-folder/points.csv"), "--json"});
    EXPECT_EQ(o.status, 3);
    EXPECT_TRUE(contains(o.output, "\"parameters\"")) << o.output;
    EXPECT_TRUE(contains(o.err, "cannot create " + path("no-folder/points.csv"))) << o.err;
    o = fit({"--fit", "Pmax=0.5:5", "--summary", path("no-folder/summary.csv")});
    EXPECT_EQ(o.status, 3);
    EXPECT_FALSE(o.err.empty());
}

TEST_F(FitCommand, json_holds_the_values_texts_and_figures) {
    const Outcome o = fit({"--fit", "Pmax=0.5:5", "--fit", "kxy=0.5:1:1", "--json", "--quiet"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    const std::string& j = o.output;
    EXPECT_TRUE(std::regex_match(
        j, std::regex("\\{\"parameters\":\\{\"Pmax\":[-0-9.e]+,\"kxy\":[-0-9.e]+\\},"
                      "\"texts\":\\{\"Pmax\":\"[-0-9.e]+\",\"kxy\":\"[-0-9.e]+\"\\},"
                      "\"rmse\":[-0-9.e]+,\"r2\":[-0-9.e]+,\"evaluations\":25,"
                      "\"seconds\":[-0-9.e]+,\"at_bound\":\\[(\"kxy\")?\\],.*\\}\n")))
        << j;
    // The version that wrote it, last, so that the keys before stay where they were.
    EXPECT_TRUE(contains(j, ",\"quarnel_version\":\"" QUARNEL_PROJECT_VERSION "\"}\n")) << j;
    const std::string value = json_field(j, "\"kxy\":([-0-9.e]+)");
    const std::string text = json_field(j, "\"kxy\":\"([-0-9.e]+)\"");
    // The text reads back, by the field rule and stored as a float, to the value.
    EXPECT_EQ(static_cast<double>(static_cast<float>(quarnel::read_number(text))),
              quarnel::read_number(value));
}

TEST_F(FitCommand, the_printed_texts_reproduce_the_result_file_bit_for_bit) {
    const std::string at = "2024-05-06 07:08:09";
    const Outcome o = fit({"--fit", "A=0.5:5", "--fit", "kxy=0.5:1.7", "fp0=0.6", "--at", at, "-o",
                           path("fitted.p-d"), "--csv", path("fitted.csv"), "--summary",
                           path("fitted-summary.csv")});
    ASSERT_EQ(o.status, 0) << o.err;
    // The table, and the line that names the fitted law.
    EXPECT_TRUE(contains(
        o.output, "Fitted 2 values to 12 points of " + path("curve.csv") + ", Constant model:"))
        << o.output;
    EXPECT_TRUE(contains(o.output, "RMSE ")) << o.output;
    EXPECT_TRUE(contains(o.output, "25 evaluations in ")) << o.output;
    EXPECT_TRUE(contains(o.output, "maximum evaluations reached")) << o.output;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(o.output, m, std::regex("The same law: A=(\\S+) kxy=(\\S+)\n")))
        << o.output;
    const std::string a = m[1];
    const std::string kxy = m[2];

    const Outcome single =
        batch({"--quiet", "-o", path("single.p-d"), "--at", at, "fp0=0.6", "A=" + a, "kxy=" + kxy});
    ASSERT_EQ(single.status, 0) << single.err;
    const std::string fitted = contents(path("fitted.p-d"));
    EXPECT_FALSE(fitted.empty());
    EXPECT_EQ(fitted, contents(path("single.p-d")));

    // The CSV: every measured point in the file's order beside the law at
    // the same openings, as a single run gives it.
    std::string openings;
    std::vector<double> sorted = openings_;
    std::sort(sorted.begin(), sorted.end());
    for (const double w : sorted) {
        openings += (openings.empty() ? "" : ",") + quarnel::shortest_number_text(w);
    }
    const Outcome law = batch({"--quiet", "-o", path("law.p-d"), "--csv", path("law.csv"),
                               "--openings", openings, "fp0=0.6", "A=" + a, "kxy=" + kxy});
    ASSERT_EQ(law.status, 0) << law.err;
    const std::vector<std::string> law_rows = lines_of(contents(path("law.csv")));
    std::map<std::string, std::string> sigma_at;
    for (std::size_t r = 1; r < law_rows.size(); ++r) {
        const std::vector<std::string> cells = cells_of(law_rows[r]);
        sigma_at[cells[1]] = cells[3];
    }
    const std::vector<std::string> rows = lines_of(contents(path("fitted.csv")));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], "line,Wcr_mm,sigma_measured_MPa,sigma_fitted_MPa,used");
    int count = 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const std::string& row = rows[r];
        const std::vector<std::string> cells = cells_of(row);
        ASSERT_EQ(cells.size(), 5u) << row;
        EXPECT_EQ(cells[0], std::to_string(count + 3));  // after the comment and the header
        EXPECT_EQ(cells[1], quarnel::shortest_number_text(openings_[count]));
        EXPECT_EQ(cells[3], sigma_at[cells[1]]) << row;
        EXPECT_EQ(cells[4], "yes");
        ++count;
    }
    EXPECT_EQ(count, 12);
    const std::string summary = contents(path("fitted-summary.csv"));
    EXPECT_EQ(summary.rfind("sigma_max,P_max,Wcr_peak,ratio_initial,ratio_at_peak,J_b_prime,G_b,"
                            "criteria_openings,criteria_change,",
                            0),
              0u)
        << summary;
    EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 2);
}

// The statistics, the criteria of the whole measured curve beside the fitted
// law's (those of a single run with the printed texts), each start's end.
TEST_F(FitCommand, json_gives_statistics_criteria_starts_and_warnings) {
    Outcome o = fit({"--fit", "Pmax=0.5:5", "--until", "1", "--json", "--quiet"});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string& j = o.output;
    const double value =
        quarnel::read_number(json_field(j, "\"parameters\":\\{\"Pmax\":([-0-9.e]+)"));
    const std::string se = json_field(j, "\"standard_errors\":\\{\"Pmax\":([-0-9.e]+)\\}");
    ASSERT_FALSE(se.empty()) << j;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        j, m, std::regex("\"intervals_95\":\\{\"Pmax\":\\[([-0-9.e]+),([-0-9.e]+)\\]\\}")))
        << j;
    EXPECT_LE(quarnel::read_number(m[1].str()), value);
    EXPECT_GE(quarnel::read_number(m[2].str()), value);
    EXPECT_TRUE(contains(j, "\"correlations\":{\"Pmax\":{\"Pmax\":1}}")) << j;
    EXPECT_TRUE(contains(j, "\"undetermined\":[]")) << j;
    EXPECT_TRUE(contains(j, "\"degrees_of_freedom\":7,")) << j;  // 8 points up to 1 mm
    EXPECT_TRUE(contains(j, "\"statistics_note\":null")) << j;
    EXPECT_FALSE(json_field(j, "\"local_scatter\":([-0-9.e]+)").empty()) << j;
    EXPECT_TRUE(
        std::regex_search(j, std::regex("\"starts\":\\[\\{\"parameters\":\\{\"Pmax\":[-0-9.e]+\\},"
                                        "\"rmse\":[-0-9.e]+,\"evaluations\":[0-9]+\\}\\]")))
        << j;
    EXPECT_TRUE(contains(j, "\"warnings\":[")) << j;

    // Every measured point, beyond --until too.
    std::vector<double> stresses;
    const std::vector<std::string> lines = lines_of(contents(path("curve.csv")));
    for (std::size_t l = 2; l < lines.size(); ++l) {
        stresses.push_back(quarnel::read_number(split(lines[l], ";")[1]));
    }
    const quarnel::CurveCriteria measured = quarnel::measured_curve_criteria(openings_, stresses);
    EXPECT_EQ(json_field(j, "\"measured_criteria\":\\{\"sigma_max\":([-0-9.e]+)"),
              quarnel::shortest_number_text(measured.sigma_max));
    EXPECT_EQ(json_field(j, "\"measured_criteria\":\\{[^}]*\"G_b\":([-0-9.e]+)\\}"),
              quarnel::shortest_number_text(measured.G_b));
    // The fitted law's, as a single run's summary gives them.
    const std::string text = json_field(j, "\"texts\":\\{\"Pmax\":\"([-0-9.e]+)\"");
    const Outcome single = batch(
        {"--quiet", "--summary", path("single.csv"), "Pmax=" + text, "-o", path("single.p-d")});
    ASSERT_EQ(single.status, 0) << single.err;
    const std::vector<std::vector<std::string>> rows = csv_rows(contents(path("single.csv")));
    ASSERT_EQ(rows.size(), 2u);
    std::map<std::string, std::string> law;
    for (std::size_t c = 0; c < rows[0].size(); ++c) law[rows[0][c]] = rows[1][c];
    for (const char* name : {"sigma_max", "Wcr_peak", "J_b_prime", "G_b"}) {
        const std::string fitted =
            json_field(j, std::string("\"fitted_criteria\":\\{[^}]*\"") + name + "\":([-0-9.e]+)");
        EXPECT_EQ(fitted, law[name]) << name;
        const std::string difference = json_field(
            j, std::string("\"criteria_differences\":\\{[^}]*\"") + name + "\":([-0-9.e]+)");
        const std::string of_measured = json_field(
            j, std::string("\"measured_criteria\":\\{[^}]*\"") + name + "\":([-0-9.e]+)");
        ASSERT_FALSE(difference.empty()) << name;
        EXPECT_NEAR(quarnel::read_number(difference),
                    quarnel::read_number(fitted) / quarnel::read_number(of_measured) - 1, 1e-15)
            << name;
    }
}

// Two values the curve cannot tell apart: no standard errors, and the table,
// the JSON and the summary say so.
TEST_F(FitCommand, values_the_curve_cannot_tell_apart_are_told_everywhere) {
    const std::vector<std::string> both = {"--fit", "Pmax=0.5:5", "--fit", "Vf=0.001:0.1"};
    std::vector<std::string> args = both;
    args.insert(args.end(), {"--summary", path("summary.csv")});
    Outcome o = fit(args);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(std::regex_search(o.output, std::regex("name +value +text +SE +95 % interval\n")))
        << o.output;
    EXPECT_TRUE(std::regex_search(o.output, std::regex("\n  Pmax +\\S+ +\\S+ +- +-\n")))
        << o.output;
    EXPECT_TRUE(contains(o.output, "Criteria            measured     fitted law   difference\n"))
        << o.output;
    EXPECT_TRUE(contains(o.output, "\n  G_b (J/m2)        ")) << o.output;
    EXPECT_TRUE(contains(o.output, "Each start's end, RMSE MPa: ")) << o.output;
    EXPECT_TRUE(contains(o.output, "Warnings:\n  - The curve cannot tell Pmax and Vf apart"))
        << o.output;
    const std::vector<std::vector<std::string>> rows = csv_rows(contents(path("summary.csv")));
    ASSERT_EQ(rows.size(), 2u);
    std::map<std::string, std::string> cells;
    for (std::size_t c = 0; c < rows[0].size(); ++c) cells[rows[0][c]] = rows[1][c];
    const std::vector<std::string> added = {"rmse",
                                            "r2",
                                            "local_scatter",
                                            "Pmax",
                                            "Pmax_se",
                                            "Pmax_low_95",
                                            "Pmax_high_95",
                                            "Vf",
                                            "Vf_se",
                                            "Vf_low_95",
                                            "Vf_high_95",
                                            "correlation_Pmax_Vf",
                                            "measured_sigma_max",
                                            "measured_Wcr_peak",
                                            "measured_J_b_prime",
                                            "measured_G_b",
                                            "sigma_max_difference",
                                            "Wcr_peak_difference",
                                            "J_b_prime_difference",
                                            "G_b_difference",
                                            "warnings",
                                            "orientation_weight_error"};
    // After the criteria's 7 columns and the 2 that say how they were formed.
    ASSERT_EQ(rows[0].size(), 9 + added.size());
    for (std::size_t c = 0; c < added.size(); ++c) EXPECT_EQ(rows[0][9 + c], added[c]);
    EXPECT_EQ(cells["Pmax_se"], "");
    EXPECT_EQ(cells["correlation_Pmax_Vf"], "");
    EXPECT_FALSE(cells["rmse"].empty());
    EXPECT_TRUE(contains(cells["warnings"], "The curve cannot tell Pmax and Vf apart"))
        << cells["warnings"];

    args = both;
    args.insert(args.end(), {"--json", "--quiet"});
    o = fit(args);
    EXPECT_TRUE(contains(o.output, "\"standard_errors\":{\"Pmax\":null,\"Vf\":null}")) << o.output;
    EXPECT_TRUE(contains(o.output, "\"undetermined\":[[\"Pmax\",\"Vf\"]]")) << o.output;
    EXPECT_TRUE(contains(o.output, "\"warnings\":[\"The curve cannot tell Pmax and Vf apart"))
        << o.output;
}

TEST_F(FitCommand, a_json_lines_summary_has_the_fit_columns_as_numbers_and_text) {
    const Outcome o = fit({"--fit", "Pmax=0.5:5", "--summary", path("summary.jsonl")});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string line = contents(path("summary.jsonl"));
    EXPECT_TRUE(
        std::regex_search(line, std::regex("\"G_b\":[-0-9.e]+,\"criteria_openings\":[0-9]+,"
                                           "\"criteria_change\":[-0-9.e]+,\"rmse\":[-0-9.e]+,")))
        << line;
    EXPECT_TRUE(std::regex_search(line, std::regex("\"Pmax_se\":[-0-9.e]+,"))) << line;
    EXPECT_TRUE(std::regex_search(line, std::regex("\"measured_G_b\":[-0-9.e]+,"))) << line;
    EXPECT_TRUE(std::regex_search(line, std::regex("\"warnings\":\"[^\"]*\","
                                                   "\"orientation_weight_error\":[-0-9.e]+\\}\n$")))
        << line;
}

// A lab file: two metadata lines, a header, and the curve in columns 2 and 4
// of four, with decimal commas; the points keep their lines.
TEST_F(FitCommand, columns_and_skip_read_a_lab_file) {
    std::string lab = "Specimen: B3; 28 d\nMachine 1\ntime (s);COD (mm);F (N);sigma (MPa)\n";
    const std::vector<std::string> lines = lines_of(contents(path("curve.csv")));
    for (std::size_t l = 2; l < lines.size(); ++l) {
        const std::vector<std::string> cells = split(lines[l], ";");
        std::string w = cells[0];
        std::replace(w.begin(), w.end(), '.', ',');
        std::string sigma = cells[1];
        std::replace(sigma.begin(), sigma.end(), '.', ',');
        lab += std::to_string(l) + ";" + w + ";n/a;" + sigma + "\n";
    }
    write("lab.csv", lab);
    Outcome o =
        batch({"fit", path("lab.csv"), "--fit", "Pmax=0.5:5", "--columns", "2,4", "--skip", "2",
               "--starts", "1", "--max-evaluations", "25", "--csv", path("lab-out.csv")});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.output, "Fitted 1 value to 12 points of")) << o.output;
    const Outcome plain = fit({"--fit", "Pmax=0.5:5"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto same_law = [](const std::string& output) {
        return output.substr(output.find("The same law:"));
    };
    EXPECT_EQ(same_law(o.output), same_law(plain.output));
    const std::vector<std::vector<std::string>> rows = csv_rows(contents(path("lab-out.csv")));
    ASSERT_EQ(rows.size(), 13u);
    EXPECT_EQ(rows[1][0], "4");  // after the two skipped lines and the header

    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        // "Machine 1" is the first line with a number, so no header.
        {{"--columns", "2,4"}, "lab.csv: line 2: expected at least 4 values"},
        {{"--columns", "2,3", "--skip", "2"},
         "lab.csv: line 4, column 3: the stress \"n/a\" is not a number"},
        {{"--skip", "2"}, "lab.csv: line 4: expected two values"},
        {{"--columns", "2,4", "--skip", "40"},
         "the file holds 15 lines, none after the 40 skipped"},
        {{"--columns", "2"},
         "--columns takes W,S, the column numbers (from 1) of the opening and "
         "the stress, not \"2\""},
        {{"--columns", "2,"}, "--columns takes W,S"},
        {{"--columns", "0,4"}, "--columns W,S must be at least 1"},
        {{"--skip", "-1"}, "--skip must be at least 0"},
    };
    for (const auto& [args, message] : cases) {
        std::vector<std::string> all = {"fit", path("lab.csv"), "--fit", "Pmax=0.5:5"};
        all.insert(all.end(), args.begin(), args.end());
        o = batch(all);
        EXPECT_EQ(o.status, 2) << args[0] << " " << args[1];
        EXPECT_TRUE(contains(o.err, message)) << o.err;
    }
}

TEST_F(FitCommand, until_fits_the_early_points_and_the_csv_marks_them) {
    const Outcome o = fit({"--fit", "Pmax=0.5:5", "--until", "1", "--csv", path("points.csv")});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.output, "Fitted 1 value to 8 points (of 12) of")) << o.output;
    const std::string csv = contents(path("points.csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 13);
    EXPECT_TRUE(contains(csv, ",9,")) << csv;  // beyond --until, still written
    EXPECT_EQ(count_of(csv, ",no\n"), 4u);     // 2, 6, 3.5 and 9 mm
}

TEST_F(FitCommand, sigint_stops_the_fit_with_the_best_so_far_and_writes_nothing) {
    Process fit(quarnel_batch,
                {"fit", path("curve.csv"), "--fit", "Pmax=0.2:5", "--fit", "delta_max=0.01:1",
                 "--starts", "400", "--max-evaluations", "1000000", "-o", path("never.p-d")},
                path("out.txt"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // well into the fit
    fit.signal(SIGINT);
    const Outcome o = fit.wait();
    ASSERT_NE(o.status, -1) << "ended by a signal";
    EXPECT_EQ(o.status, 130);
    const std::string& message = o.err;
    EXPECT_TRUE(contains(message, "stopped by SIGINT after ")) << message;
    EXPECT_TRUE(contains(message, "nothing was written.")) << message;
    EXPECT_TRUE(std::regex_search(message, std::regex("best so far \\(RMSE \\S+ MPa\\): "
                                                      "Pmax=\\S+ delta_max=\\S+;")))
        << message;
    EXPECT_FALSE(fs::exists(path("never.p-d")));
}

}  // namespace

namespace {

// Fits whose figures are undefined or whose limits leave no time: R2 is said
// to be undefined rather than printed as nan, the first start is evaluated
// whatever the time limit, and a stress no fit can square names its line.
TEST_F(FitCommand, undefined_r2_a_tiny_time_limit_and_huge_stresses_are_told_as_they_are) {
    write("flat.csv", "0.1,1\n0.2,1\n0.3,1\n0.4,1\n");
    Outcome o = batch({"fit", path("flat.csv"), "--fit", "Pmax=0.5:5", "--starts", "1",
                       "--max-evaluations", "5"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.output, "R2 undefined (the measured stresses are all equal)"))
        << o.output;
    o = batch({"fit", path("flat.csv"), "--fit", "Pmax=0.5:5", "--json", "--starts", "1",
               "--max-evaluations", "5"});
    EXPECT_TRUE(contains(o.output, "\"r2\":null")) << o.output;

    o = fit({"--fit", "Pmax=0.5:5", "--max-time", "1e-9"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.output, "1 evaluations")) << o.output;

    write("huge.csv", "0.1,1\n0.2,1e300\n0.3,1\n");
    o = batch({"fit", path("huge.csv"), "--fit", "Pmax=0.5:5"});
    EXPECT_EQ(o.status, 2) << o.err;
    EXPECT_TRUE(contains(o.err, "line 2: the stress")) << o.err;
}

TEST_F(FitCommand, a_runaway_argument_is_echoed_cut_short) {
    const std::string runaway(100000, '9');
    const Outcome o = fit({"--fit", "Pmax=" + runaway + "x:2"});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(contains(o.err, "is not a decimal number")) << o.err.substr(0, 300);
    EXPECT_LT(o.err.size(), 300u);
}

}  // namespace
