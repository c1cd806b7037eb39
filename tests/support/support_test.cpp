// The helpers the other tests rely on: a helper that reads or splits wrongly
// would let those tests pass or fail for the wrong reason.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/bits.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/text.h"

namespace {

using namespace quarnel_test;

using Strings = std::vector<std::string>;

TEST(TestText, splits_lines_and_csv_cells) {
    EXPECT_EQ(split("a\r\nb\r\n", "\r\n"), (Strings{"a", "b", ""}));
    EXPECT_EQ(lines_of("a\n\nb\n"), (Strings{"a", "", "b"}));
    EXPECT_EQ(lines_of("a\nb"), (Strings{"a", "b"}));
    EXPECT_EQ(lines_of(""), Strings{});
    EXPECT_EQ(cells_of("1,\"x, \"\"y\"\"\",,z"), (Strings{"1", "x, \"y\"", "", "z"}));
    EXPECT_EQ(csv_rows("h,i\n1,2\n"), (std::vector<Strings>{{"h", "i"}, {"1", "2"}}));
    EXPECT_EQ(count_of("\r\n\r\n.\r\n", "\r\n"), 3u);
    EXPECT_EQ(count_of("aaa", "aa"), 2u);
}

TEST(TestBits, tell_signed_zeros_apart_and_a_nan_from_nothing) {
    EXPECT_TRUE(same_bits(0.1, 0.1));
    EXPECT_FALSE(same_bits(0.0, -0.0));
    EXPECT_FALSE(same_bits(1.0, 1.0 + 2.220446049250313e-16));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(same_bits(nan, nan));
}

const Program shell{"/bin/sh"};

// A script that writes to both streams and ends with status 3.
const Strings both_streams = {"-c", "printf out; printf err >&2; exit 3"};

using TestProcess = TempFolderTest;

TEST_F(TestProcess, reads_the_streams_together_apart_or_standard_output_in_a_file) {
    const Outcome through_shell = shell("-c 'printf out; printf err >&2; exit 3'");
    EXPECT_EQ(through_shell.status, 3);
    EXPECT_EQ(through_shell.output, "outerr");

    const Outcome together = Process(shell, both_streams).wait();
    EXPECT_EQ(together.status, 3);
    EXPECT_EQ(together.output, "outerr");
    EXPECT_EQ(together.err, "");

    const Outcome apart = shell.apart(both_streams);
    EXPECT_EQ(apart.status, 3);
    EXPECT_EQ(apart.output, "out");
    EXPECT_EQ(apart.err, "err");

    const Outcome to_file = Process(shell, both_streams, path("out.txt")).wait();
    EXPECT_EQ(to_file.status, 3);
    EXPECT_EQ(to_file.output, "");
    EXPECT_EQ(to_file.err, "err");
    EXPECT_EQ(contents(path("out.txt")), "out");
}

TEST_F(TestProcess, reads_more_than_a_pipe_holds_on_both_streams) {
    const Outcome big = shell.apart(
        {"-c", "head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2; head -c 100 /dev/zero"});
    EXPECT_EQ(big.status, 0);
    EXPECT_EQ(big.output.size(), 300100u);
    EXPECT_EQ(big.err.size(), 200000u);
}

TEST_F(TestProcess, a_signal_or_a_size_limit_reaches_the_program) {
    Process sleeper(shell, {"-c", "sleep 30"});
    sleeper.signal(SIGTERM);
    EXPECT_EQ(sleeper.wait().status, -1);

    const Outcome limited =
        Process(shell, {"-c", "head -c 5000 /dev/zero > " + path("big")}, Streams::together, 1000)
            .wait();
    EXPECT_NE(limited.status, 0);
    EXPECT_EQ(std::filesystem::file_size(path("big")), 1000u);
}

using TestFiles = TempFolderTest;

TEST_F(TestFiles, are_written_and_read_byte_for_byte_in_a_folder_of_the_tests_own) {
    const std::string bytes("a\r\nb\0\n\x83\xC2", 8);
    write("bytes.txt", bytes);
    EXPECT_EQ(contents(path("bytes.txt")), bytes);
    write_file(path("bytes.txt"), "c");
    EXPECT_EQ(contents(path("bytes.txt")), "c");
    EXPECT_EQ(contents(path("missing.txt")), "");
    EXPECT_EQ(dir_.filename().string().find("quarnel-test-"), 0u);
    EXPECT_NE(dir_.filename().string().find("TestFiles-are_written"), std::string::npos);
}

}  // namespace
