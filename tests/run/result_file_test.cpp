#include "run/result_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "run/input_fields.h"
#include "tests/support/files.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

const ClockReading clock_at_1405 = {2026, 12, 6, 14, 5, 9};

CalculationInputs default_inputs(std::int16_t model = 1) {
    return read_calculation_inputs(default_input_texts(), model);
}

TEST(ResultHeader, first_line_names_time_date_and_model) {
    const std::string start = "Bridging Law (bi-linear) calculated at 14:05:09 on 12-06-2026";
    EXPECT_EQ(result_header_line(1, default_inputs(1), clock_at_1405), start + ", Constant model");
    EXPECT_EQ(result_header_line(1, default_inputs(2), clock_at_1405),
              start + ", Function lb model (P and \x83\xC2)");
}

TEST(ResultHeader, lines_two_to_five_show_the_default_inputs) {
    const CalculationInputs in = default_inputs();
    EXPECT_EQ(result_header_line(2, in, clock_at_1405),
              "  Sectional area of matrix (mm2)=2500,  Fiber volume fraction=0.01,  Fiber "
              "effective strength (MPa)=774");
    EXPECT_EQ(result_header_line(3, in, clock_at_1405),
              "    Af(mm2)=0.19635, Lf(mm)=30,  Snubbing coef.=0.5+0*lb, 0.5+0*lb, Strength "
              "degr.=0.3");
    EXPECT_EQ(result_header_line(4, in, clock_at_1405),
              "  Orientation intensity, X-Y=1, Z-X=1,  Principal orientation angle, X-Y=0, Z-X=0");
    EXPECT_EQ(result_header_line(5, in, clock_at_1405),
              "  Crack angle, X-Y=0, Z-X=0, Total fiber = 127.3237, Coefficient of fiber Number = "
              "1.26063");
}

TEST(ResultHeader, negative_fp1_is_left_out_but_negative_fd1_is_written) {
    CalculationInputs in = default_inputs();
    in.fp1 = -0.01f;
    EXPECT_EQ(result_header_line(3, in, clock_at_1405),
              "    Af(mm2)=0.19635, Lf(mm)=30,  Snubbing coef.=0.5, 0.5+0*lb, Strength degr.=0.3");
    in.fp1 = 0;
    in.fd1 = -0.1f;
    EXPECT_NE(result_header_line(3, in, clock_at_1405).find("0.5+-0.1*lb,"), std::string::npos);
}

TEST(ResultHeader, table_heading_is_76_characters_in_77_bytes) {
    const std::string heading = result_header_line(6, default_inputs(), clock_at_1405);
    EXPECT_EQ(
        heading,
        " Step          Wcr(mm)      P(N)          \x83\xD0(MPa)       Effective fiber ratio");
    EXPECT_EQ(heading.size(), 77u);
}

TEST(ResultRow, step_zero_fills_fourteen_character_zones) {
    const std::string row = result_row(0, 0, 0, 0, 0.61234);
    EXPECT_EQ(row, " 0" + std::string(12, ' ') + "0.00000" + std::string(7, ' ') + "0.00" +
                       std::string(10, ' ') + "0.00000" + std::string(7, ' ') + "0.61234");
    EXPECT_EQ(row.size(), 63u);
}

TEST(ResultRow, wide_fields_keep_the_next_field_on_a_zone_boundary) {
    EXPECT_EQ(result_row(12345, 0.015, 1234.5, 0.5, 0.5).substr(0, 35),
              " 12345        0.01500       1234.50");
    // "10000000000.00" ends exactly on a boundary: a blank, then the next zone.
    EXPECT_EQ(result_row(-1, 0, 1e10, 2, 0).substr(0, 63),
              "-1            0.00000       10000000000.00" + std::string(14, ' ') + "2.00000");
}

using ResultFileOnDisk = quarnel_test::TempFolderTest;
using quarnel_test::contents;

TEST_F(ResultFileOnDisk, writes_header_and_rows_with_crlf_line_ends) {
    const CalculationInputs in = default_inputs(2);
    ResultFile file;
    ASSERT_FALSE(file.open(path("run.p-d")));
    ASSERT_FALSE(file.write_header(in, clock_at_1405));
    for (int n = 0; n <= 2; ++n) ASSERT_FALSE(file.write_step_row(n, 0.1 * n, 10.0 * n, n, 0.5));
    EXPECT_FALSE(file.close());
    EXPECT_FALSE(file.is_open());

    std::string expected;
    for (int line = 1; line <= 6; ++line) {
        expected += result_header_line(line, in, clock_at_1405) + "\r\n";
    }
    for (int n = 0; n <= 2; ++n) expected += result_row(n, 0.1 * n, 10.0 * n, n, 0.5) + "\r\n";
    const std::string written = contents(path("run.p-d"));
    EXPECT_EQ(written, expected);

    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 9);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\r'), 9);
    EXPECT_NE(written.find("(P and \x83\xC2)\r\n"), std::string::npos);
    EXPECT_NE(written.find("\x83\xD0(MPa)"), std::string::npos);
}

TEST_F(ResultFileOnDisk, opening_again_replaces_the_whole_content) {
    {
        ResultFile first;
        ASSERT_FALSE(first.open(path("run.p-d")));
        ASSERT_FALSE(first.write_header(default_inputs(), clock_at_1405));
    }
    ResultFile second;
    ASSERT_FALSE(second.open(path("run.p-d")));
    ASSERT_FALSE(second.write_step_row(0, 0, 0, 0, 0));
    ASSERT_FALSE(second.close());
    EXPECT_EQ(contents(path("run.p-d")), result_row(0, 0, 0, 0, 0) + "\r\n");
}

TEST_F(ResultFileOnDisk, open_failures_give_a_code_per_cause) {
    EXPECT_EQ(file_error_message(76),
              "This output data file has been opened by another application. (76)");
    ResultFile file;
    const struct {
        std::string path;
        int code;
    } cases[] = {
        {"", file_error::invalid_name},
        {path(std::string(300, 'x')), file_error::invalid_name},
        {path("run") + std::string(1, '\0') + ".p-d", file_error::invalid_name},
        {path("missing/run.p-d"), file_error::path_not_found},
        {dir_.string(), file_error::path_access},
    };
    for (const auto& c : cases) {
        const auto failure = file.open(c.path);
        ASSERT_TRUE(failure) << c.path;
        EXPECT_EQ(failure->code, c.code) << c.path;
        EXPECT_FALSE(failure->description.empty());
        EXPECT_FALSE(file.is_open());
    }
    EXPECT_FALSE(fs::exists(path("run")));
}

TEST_F(ResultFileOnDisk, read_only_file_is_refused_and_left_unchanged) {
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
    write("locked.p-d", "keep");
    fs::permissions(path("locked.p-d"), fs::perms::owner_read);
    ResultFile file;
    const auto failure = file.open(path("locked.p-d"));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, file_error::permission_denied);
    EXPECT_EQ(contents(path("locked.p-d")), "keep");
}

// Writes under a file size limit that falls inside a line, as a disk filling
// up does, and gives the failure.
template <typename Write>
std::optional<FileFailure> write_with_size_limit(rlim_t limit, Write write) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = limit;
    std::optional<FileFailure> failure;
    if (setrlimit(RLIMIT_FSIZE, &limited) == 0) failure = write();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);
    return failure;
}

TEST_F(ResultFileOnDisk, a_row_that_fails_is_cut_off_and_the_file_ends_with_whole_rows) {
    std::string header;
    for (int line = 1; line <= 6; ++line) {
        header += result_header_line(line, default_inputs(), clock_at_1405) + "\r\n";
    }
    const std::string row = result_row(1, 0.1, 10, 1, 0.5) + "\r\n";
    ResultFile file;
    ASSERT_FALSE(file.open(path("full.p-d")));
    int rows = 0;
    const auto failure = write_with_size_limit(header.size() + 2 * row.size() + 20, [&] {
        std::optional<FileFailure> f = file.write_header(default_inputs(), clock_at_1405);
        while (!f && rows < 100) {
            f = file.write_step_row(1, 0.1, 10, 1, 0.5);
            if (!f) ++rows;
        }
        return f;
    });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, file_error::disk_full);
    EXPECT_EQ(rows, 2);
    EXPECT_TRUE(file.write_step_row(1, 0.1, 10, 1, 0.5)) << "no rows after a failure";
    EXPECT_FALSE(file.close());
    EXPECT_EQ(contents(path("full.p-d")), header + row + row);
}

TEST_F(ResultFileOnDisk, line_file_counts_whole_lines_and_keeps_them_after_a_failure) {
    LineFile csv;
    ASSERT_FALSE(csv.open(path("steps.csv")));
    const auto failure = write_with_size_limit(25, [&] {
        std::optional<FileFailure> f;
        for (int n = 0; n < 10 && !f; ++n) f = csv.write_line("0,0.125,1\n");
        return f;
    });
    ASSERT_TRUE(failure);
    EXPECT_EQ(csv.lines(), 2);
    EXPECT_FALSE(csv.close());
    EXPECT_EQ(contents(path("steps.csv")), "0,0.125,1\n0,0.125,1\n");
}

TEST(ResultFile, full_disk_is_reported_at_the_header) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no full device";
    ResultFile file;
    ASSERT_FALSE(file.open("/dev/full"));
    const auto failure = file.write_header(default_inputs(), clock_at_1405);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, file_error::disk_full);
    file.close();
    EXPECT_FALSE(file.is_open());
}

TEST(InputFields, inputs_are_read_from_the_input_fields_alone) {
    EXPECT_EQ(inputs_of_fields({{"Text14", "7"}, {"Text2", "x.p-d"}, {"Text1", "busy"}}),
              (InputSet{{"Pmax", "7"}}));
    // The window has no field for orientation_weights or weibull_m: it keeps
    // the classic weights and rupture.
    EXPECT_EQ(input_fields().size() + 2, input_table().size());
    EXPECT_EQ(field_of_member("orientation_weights"), nullptr);
    EXPECT_EQ(field_of_member("weibull_m"), nullptr);
    const CalculationInputs window =
        read_calculation_inputs(inputs_of_fields(default_field_texts()), 1);
    EXPECT_EQ(window.orientation_weights, OrientationWeights::classic);
    EXPECT_FALSE(window.has_strength_scatter());
}

TEST(InputFields, texts_read_in_part_are_listed_by_caption_in_field_order) {
    FieldTexts texts = default_field_texts();
    texts["Text14"] = "1,5";
    texts["Text6"] = " 30 mm";
    texts["Text4"] = "2%";
    texts["Text2"] = "x.p-d";
    texts["Text3"] = " 2 500 ";  // blanks are skipped, not ignored
    EXPECT_EQ(part_reading_lines(texts, 2),
              (std::vector<std::string>{"\"Fiber, Volume fraction\": \"2%\" read as 2",
                                        "\"Length (mm)\": \" 30 mm\" read as 30",
                                        "\"A\": \"1,5\" read as 1"}));
    EXPECT_EQ(part_reading_lines(texts, 1).back(), "\"Pmax (N)\": \"1,5\" read as 1");
    texts["Text4"] = std::string(100, '7') + "%";
    EXPECT_EQ(part_reading_lines(texts, 1).front(), "\"Fiber, Volume fraction\": \"" +
                                                        std::string(40, '7') +
                                                        "...\" read as 7.777777777777778e+99");
    EXPECT_TRUE(part_reading_lines(default_field_texts(), 1).empty());
}

}  // namespace
}  // namespace quarnel
