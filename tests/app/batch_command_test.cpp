#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string output;  // standard output and standard error together
};

Outcome batch(const std::string& arguments) {
    const std::string command = std::string(QUARNEL_BATCH) + " " + arguments + " 2>&1";
    Outcome outcome;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return outcome;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        outcome.output.append(buffer.data(), got);
    }
    const int raw = pclose(pipe);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return outcome;
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class BatchCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quarnel-batch-test-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

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
    std::size_t lines = 0;
    for (std::size_t at = file.find("\r\n"); at != std::string::npos;
         at = file.find("\r\n", at + 2)) {
        ++lines;
    }
    EXPECT_EQ(lines, 67u);
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
    {
        std::ofstream params(path("fit.txt"));
        params << "# fitted pull-out "
                  "law\nmodel=function-lb\nA=3\nB=0.45\n\nC=0.05\nD=0.3\ndivision=3\n";
    }
    const Outcome o = batch("-o " + path("fit.p-d") + " --params " + path("fit.txt") + " --csv " +
                            path("fit.csv") + " --json --quiet");
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(contents(path("fit.p-d")).find(", Function lb model (P and \x83\xC2)\r\n"),
              std::string::npos);
    const std::string csv = contents(path("fit.csv"));
    EXPECT_EQ(csv.rfind("step,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio\n0,0,0,0,", 0), 0u) << csv;
    std::size_t json_lines = 0;
    for (std::size_t at = o.output.find("{\"n\":"); at != std::string::npos;
         at = o.output.find("{\"n\":", at + 1)) {
        ++json_lines;
    }
    EXPECT_EQ(json_lines, 7u);
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
        std::ofstream(path("locked.p-d")) << "old";
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

}  // namespace
