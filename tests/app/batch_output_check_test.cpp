// The batch command over a few hundred parameter sets drawn with a fixed
// seed, extreme ones among them: an accepted run writes only finite numbers
// to its result file, CSV and JSON; a refused run leaves every named output
// as it was.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/text.h"

namespace {

using namespace quarnel_test;

const Program batch{QUARNEL_BATCH};

// A number token as the outputs write them, whole and finite.
bool finite_number(const std::string& token) {
    std::size_t at = token.empty() || token[0] != '-' ? 0 : 1;
    const auto digits = [&] {
        const std::size_t from = at;
        while (at < token.size() && std::isdigit(static_cast<unsigned char>(token[at]))) ++at;
        return at > from;
    };
    if (!digits()) return false;
    if (at < token.size() && token[at] == '.' && (++at, !digits())) return false;
    if (at < token.size() && (token[at] == 'e' || token[at] == 'E')) {
        ++at;
        if (at < token.size() && (token[at] == '+' || token[at] == '-')) ++at;
        if (!digits()) return false;
    }
    return at == token.size() && std::isfinite(std::strtod(token.c_str(), nullptr));
}

bool mentions_nan_or_inf(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("nan") != std::string::npos || lower.find("inf") != std::string::npos;
}

// Rows of the result file: after five header lines and the table heading,
// each line holds the step and four numbers. A negative Division has no
// steps and leaves the heading alone.
void expect_finite_result_file(const std::string& file, const std::string& args) {
    EXPECT_FALSE(mentions_nan_or_inf(file)) << args;
    const std::vector<std::string> lines = split(file, "\r\n");
    ASSERT_GE(lines.size(), 7u) << args;
    for (std::size_t i = 6; i + 1 < lines.size(); ++i) {
        std::istringstream row(lines[i]);
        std::string token;
        int count = 0;
        while (row >> token) {
            EXPECT_TRUE(finite_number(token)) << args << ": row " << lines[i];
            ++count;
        }
        EXPECT_EQ(count, 5) << args << ": row " << lines[i];
    }
    EXPECT_EQ(lines.back(), "") << args << ": the file ends with CR LF";
}

void expect_finite_csv(const std::string& csv, const std::string& args) {
    EXPECT_FALSE(mentions_nan_or_inf(csv)) << args;
    const std::vector<std::string> lines = split(csv, "\n");
    ASSERT_GE(lines.size(), 2u) << args;
    EXPECT_EQ(lines[0], "step,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio") << args;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> fields = split(lines[i], ",");
        EXPECT_EQ(fields.size(), 5u) << args << ": " << lines[i];
        for (const std::string& f : fields) {
            EXPECT_TRUE(finite_number(f)) << args << ": " << lines[i];
        }
    }
}

void expect_finite_json(const std::string& json, const std::string& args) {
    EXPECT_FALSE(mentions_nan_or_inf(json)) << args;
    for (const std::string& line : split(json, "\n")) {
        if (line.empty()) continue;
        ASSERT_TRUE(line.size() >= 2 && line.front() == '{' && line.back() == '}')
            << args << ": " << line;
        // "name":number members separated by commas.
        int members = 0;
        for (const std::string& member : split(line.substr(1, line.size() - 2), ",")) {
            const std::size_t colon = member.find("\":");
            EXPECT_TRUE(member.size() > 2 && member[0] == '"' && colon != std::string::npos)
                << args << ": " << line;
            if (colon == std::string::npos) continue;
            EXPECT_TRUE(finite_number(member.substr(colon + 2))) << args << ": " << line;
            ++members;
        }
        EXPECT_EQ(members, 7) << args << ": " << line;
    }
}

// Each field keeps its default text more often than not, so that many sets
// are accepted; the others take a value from a list of extremes.
std::string draw_arguments(std::mt19937& random) {
    static const std::vector<std::pair<std::string, std::vector<std::string>>> extremes = {
        {"Am", {"1e-45", "1e38", "7"}},
        {"Vf", {"1", "1e-10", "0.5"}},
        {"Af", {"1e-20", "1e10", "0.01"}},
        {"Lf", {"1e-45", "0.1", "1e30", "3e38"}},
        {"fp0", {"0", "-1000", "1000", "5", "-0"}},
        {"fp1", {"0.02", "-0.5", "1e10", "-1e10"}},
        {"fd0", {"0", "-1000", "1000", "5"}},
        {"fd1", {"0.01", "-0.5", "1e10"}},
        {"f_reduction", {"0", "-1000", "1000", "-50"}},
        {"sigma_fu", {"0", "3e38", "1e-30", "-5"}},
        {"crack_xy", {"15", "45", "89", "90", "135", "-30", "1e6"}},
        {"crack_zx", {"30", "90", "180", "-89", "1e9"}},
        {"kxy", {"0", "-0", "k", "1e-30", "1e-45", "3", "1e18", "1e30"}},
        {"theta_r_xy", {"45", "90", "-41", "225", "180", "1e10", "-89"}},
        {"kzx", {"0", "1e-30", "0.2", "1e18"}},
        {"theta_r_zx", {"45", "90", "-41", "270", "1"}},
        {"Pmax", {"1e37", "1e-30", "-3", "0", "3e38", "1e300"}},
        {"delta_max", {"1e-38", "-0.45", "300", "0", "1e-300", "15"}},
        {"C", {"0.45", "1e300", "-0.05", "1e-30", "1e-300"}},
        {"D", {"300", "-0.1", "-300", "0", "60", "-60", "1"}},
    };
    std::uniform_int_distribution<int> coin(0, 9);
    std::uniform_int_distribution<int> division(1, 5);
    std::string args = coin(random) < 5 ? "model=1" : "model=2 C=0.05 D=0.3";
    for (const auto& [name, values] : extremes) {
        if (coin(random) < 8) continue;
        std::uniform_int_distribution<std::size_t> pick(0, values.size() - 1);
        args += " " + name + "=" + values[pick(random)];
    }
    args += " division=" + std::to_string(coin(random) == 0 ? -division(random) : division(random));
    return args;
}

using BatchOutputCheck = BatchTest;

TEST_F(BatchOutputCheck, accepted_runs_write_only_finite_numbers_and_refused_runs_touch_nothing) {
    const std::string result = path("run.p-d");
    const std::string csv = path("run.csv");
    const std::string json = path("run.json");
    const std::string kept_result = "an earlier result\r\n";
    const std::string kept_csv = "an earlier CSV\n";
    std::mt19937 random(20261206);
    int accepted = 0;
    int refused = 0;
    for (int set = 0; set < 300; ++set) {
        const std::string args = draw_arguments(random);
        write_file(result, kept_result);
        write_file(csv, kept_csv);
        std::vector<std::string> argv = {"--quiet", "--json", "--at",  "2026-12-06 14:05:09",
                                         "-o",      result,   "--csv", csv};
        for (const std::string& a : split(args, " ")) argv.push_back(a);
        const Outcome o = Process(batch, argv, json).wait();
        const int status = o.status;
        const std::string& messages = o.err;
        if (status == 0) {
            ++accepted;
            expect_finite_result_file(contents(result), args);
            expect_finite_csv(contents(csv), args);
            expect_finite_json(contents(json), args);
        } else {
            ASSERT_EQ(status, 2) << args << ": " << messages;
            ++refused;
            EXPECT_EQ(contents(result), kept_result) << args;
            EXPECT_EQ(contents(csv), kept_csv) << args;
            EXPECT_EQ(contents(json), "") << args;
            EXPECT_NE(messages, "") << args << ": a refusal says why";
        }
        if (::testing::Test::HasFailure()) break;
    }
    // Both kinds of run are drawn often enough to be checked.
    RecordProperty("accepted", accepted);
    RecordProperty("refused", refused);
    EXPECT_GE(accepted, 50);
    EXPECT_GE(refused, 50);
}

}  // namespace
