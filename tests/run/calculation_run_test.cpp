#include "run/calculation_run.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "run/input_fields.h"
#include "run/live_charts.h"
#include "tests/support/files.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

// Records every call a chart receives, as text.
class RecordingChart final : public ChartSurface {
  public:
    std::vector<std::string> calls;
    void clear() override { calls = {"clear"}; }
    void set_scale(double l, double t, double r, double b) override {
        calls.push_back("scale " + text(l) + " " + text(t) + " " + text(r) + " " + text(b));
    }
    void line(double x1, double y1, double x2, double y2, Rgb c) override {
        calls.push_back("line " + text(x1) + " " + text(y1) + " " + text(x2) + " " + text(y2) +
                        " " + colour(c));
    }
    void line_to(double x, double y, Rgb c) override {
        calls.push_back("line_to " + text(x) + " " + text(y) + " " + colour(c));
    }
    void point(double x, double y, Rgb c) override {
        calls.push_back("point " + text(x) + " " + text(y) + " " + colour(c));
    }

  private:
    static std::string text(double x) {
        std::ostringstream s;
        s.precision(17);
        s << x;
        return s.str();
    }
    static std::string colour(Rgb c) {
        return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
    }
};

// A window that records what the run does to it.
class RecordingWindow final : public RunWindow {
  public:
    FieldTexts texts = default_field_texts();
    std::int16_t model_value = 1;
    std::string file;
    std::vector<std::string> statuses;
    std::map<ResultField, std::string> fields;
    std::vector<std::string> messages;
    int yields = 0;
    int stop_after_yields = -1;  // the program "ends" at this yield
    bool start_enabled = true;
    bool chooser_enabled = true;
    int yields_with_chooser = 0;
    RecordingChart load, fiber;

    InputSet input_texts() const override { return inputs_of_fields(texts); }
    std::string data_file_text() const override { return file; }
    std::int16_t model() const override { return model_value; }
    void show_status(const std::string& t) override { statuses.push_back(t); }
    bool yield() override {
        ++yields;
        yields_with_chooser += chooser_enabled;
        return yields != stop_after_yields;
    }
    void set_field(ResultField f, const std::string& t) override { fields[f] = t; }
    void set_start_enabled(bool e) override { start_enabled = e; }
    void set_chooser_enabled(bool e) override { chooser_enabled = e; }
    ChartSurface& load_chart() override { return load; }
    ChartSurface& fiber_chart() override { return fiber; }
    void show_message(const std::string& title, const std::string& text) override {
        messages.push_back(title + "|" + text);
    }
    // Each notice with the status shown when it came.
    std::vector<std::pair<std::string, std::string>> notices;
    void show_notice(const std::string& text) override {
        notices.emplace_back(statuses.empty() ? "" : statuses.back(), text);
    }
    ClockReading clock() const override { return {2026, 12, 6, 14, 5, 9}; }
};

class CalculationRun : public quarnel_test::TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        window_.file = path("run.p-d");
    }

    RunOutcome run() { return run_calculation(window_, inputs_, tables_); }
    std::string file_contents() const { return quarnel_test::contents(window_.file); }
    std::size_t file_lines() const {
        const std::string c = file_contents();
        return static_cast<std::size_t>(std::count(c.begin(), c.end(), '\n'));
    }
    void expect_reset_fields() {
        EXPECT_EQ(window_.fields[ResultField::Text18], "0");
        EXPECT_EQ(window_.fields[ResultField::Text19], "0");
        EXPECT_EQ(window_.fields[ResultField::Text21], "0");
        EXPECT_EQ(window_.fields[ResultField::Text22], "");
        EXPECT_EQ(window_.fields[ResultField::Text23], "");
    }

    RecordingWindow window_;
    CalculationInputs inputs_;
    FiberTables tables_;
};

TEST_F(CalculationRun, default_run_walks_through_every_stage) {
    const RunOutcome outcome = run();
    ASSERT_EQ(outcome.end, RunEnd::finished);
    EXPECT_EQ(outcome.rows, 61);

    std::vector<std::string> expected = {"Starting...", "Parameter setting...", "Model setting..."};
    for (int k = 0; k <= 100; ++k) expected.push_back("Model setting " + std::to_string(k) + "%");
    for (int n = 0; n <= 60; ++n) expected.push_back("Calculating for Step " + std::to_string(n));
    expected.push_back("Finish");
    EXPECT_EQ(window_.statuses, expected);
    // Resets, parameters, model setting (1 + 101), two charts, three per step, finish.
    EXPECT_EQ(window_.yields, 1 + 1 + 1 + 101 + 2 + 3 * 61 + 1);
    EXPECT_TRUE(window_.start_enabled);
    EXPECT_TRUE(window_.chooser_enabled);
    EXPECT_EQ(window_.yields_with_chooser, 1);  // only the one after "Finish"
    EXPECT_EQ(file_lines(), 67u);
    EXPECT_EQ(inputs_.data_file_name, window_.file);
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_TRUE(window_.notices.empty());

    // The fields show the last step; the peak stays though later loads are smaller.
    EXPECT_EQ(window_.fields[ResultField::Text22], "Wcr=15(mm)");
    EXPECT_EQ(window_.fields[ResultField::Text23], "\xCF\x83=0.000(MPa)");
    EXPECT_EQ(window_.fields[ResultField::Text21], "0.00000");
    EXPECT_EQ(window_.fields[ResultField::Text18].size(), 6u);  // "0.2131": kN, four places
    EXPECT_NE(window_.fields[ResultField::Text18], "0.0000");
}

TEST_F(CalculationRun, charts_are_prepared_and_grow_one_mark_per_step) {
    window_.texts["Text20"] = "2";
    ASSERT_EQ(run().end, RunEnd::finished);
    const std::vector<std::string>& load = window_.load.calls;
    ASSERT_EQ(load.size(), 1u + 1 + 2 + 5);
    EXPECT_EQ(load[1].rfind("scale -0.75 ", 0), 0u) << load[1];
    EXPECT_EQ(load[2], "line -0.75 0 15.75 0 128,128,128");
    EXPECT_EQ(load[4].rfind("point 0 0 0,0,255", 0), 0u) << load[4];
    EXPECT_EQ(load[5].rfind("line_to ", 0), 0u);
    const std::vector<std::string>& fiber = window_.fiber.calls;
    ASSERT_EQ(fiber.size(), 1u + 1 + 1 + 11 + 5);
    EXPECT_EQ(fiber[1], "scale -0.75 1 15.75 0");
    EXPECT_EQ(fiber[2], "line 0 1 0 0 128,128,128");
    EXPECT_EQ(fiber[3], "line -0.75 0 15.75 0 200,200,200");
    EXPECT_EQ(fiber[13], "line -0.75 1 15.75 1 200,200,200");
    EXPECT_NE(fiber[14].find("10,70,10"), std::string::npos);
}

TEST_F(CalculationRun, negative_division_writes_only_the_header) {
    window_.texts["Text20"] = "-5";
    ASSERT_EQ(run().end, RunEnd::finished);
    for (const std::string& s : window_.statuses)
        EXPECT_EQ(s.find("Calculating"), std::string::npos);
    EXPECT_EQ(window_.statuses.back(), "Finish");
    EXPECT_EQ(file_lines(), 6u);
}

TEST_F(CalculationRun, a_file_that_cannot_be_created_ends_on_the_error_path) {
    std::vector<std::pair<std::string, std::string>> cases = {
        {"", "(52)"}, {(dir_ / "missing" / "run.p-d").string(), "(76)"}};
    if (geteuid() != 0) {
        const fs::path locked = dir_ / "locked.p-d";
        write("locked.p-d", "kept");
        fs::permissions(locked, fs::perms::owner_read);
        cases.push_back({locked.string(), "(70)"});
    }
    for (const auto& [file, code] : cases) {
        window_ = RecordingWindow{};
        window_.file = file;
        EXPECT_EQ(run().end, RunEnd::file_error) << file;
        EXPECT_EQ(window_.statuses.back(), "");
        ASSERT_EQ(window_.messages.size(), 1u);
        EXPECT_EQ(window_.messages[0],
                  "Error|This output data file has been opened by another application. " + code);
        expect_reset_fields();
        EXPECT_FALSE(window_.start_enabled);
        EXPECT_TRUE(window_.chooser_enabled);
        EXPECT_EQ(window_.load.calls.size(), 4u);  // cleared, scaled, two axes: no curve
        EXPECT_EQ(window_.fiber.calls.size(), 14u);
    }
}

TEST_F(CalculationRun, refused_inputs_end_before_the_file_is_touched) {
    window_.texts["Text6"] = "0";
    EXPECT_EQ(run().end, RunEnd::refused);
    EXPECT_FALSE(fs::exists(window_.file));
    EXPECT_EQ(window_.statuses.back(), "");
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_NE(window_.messages[0].find("\"Length (mm)\" must be greater than 0."),
              std::string::npos);
    EXPECT_TRUE(window_.start_enabled);
    EXPECT_TRUE(window_.chooser_enabled);
}

// Orientation weights that miss 1 are told in one notice, once the inputs
// are accepted and before the model setting, and the run goes on as before.
TEST_F(CalculationRun, a_narrow_density_gives_one_notice_and_the_run_goes_on) {
    window_.texts["Text10"] = "1e4";
    window_.texts["Text12"] = "1e4";
    window_.texts["Text20"] = "2";
    ASSERT_EQ(run().end, RunEnd::finished);
    ASSERT_EQ(window_.notices.size(), 1u);
    EXPECT_EQ(window_.notices[0].first, "Parameter setting...");
    const std::string& notice = window_.notices[0].second;
    EXPECT_EQ(notice.rfind("x-y plane: its 90 orientation weights sum to 0.716312", 0), 0u);
    EXPECT_NE(notice.find(".\n\nz-x plane: its 90 orientation weights sum to 0.716312"),
              std::string::npos)
        << notice;
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(window_.statuses.back(), "Finish");
    EXPECT_EQ(window_.yields, 1 + 1 + 1 + 101 + 2 + 3 * 5 + 1);

    window_ = RecordingWindow{};
    window_.file = path("refused.p-d");
    window_.texts["Text10"] = "1e4";
    window_.texts["Text6"] = "0";
    EXPECT_EQ(run().end, RunEnd::refused);
    EXPECT_TRUE(window_.notices.empty());
}

TEST_F(CalculationRun, a_failing_row_closes_the_file_and_says_it_is_incomplete) {
    // A file size limit makes the writes fail after the header and a few rows.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 600;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const RunOutcome outcome = run();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);

    ASSERT_EQ(outcome.end, RunEnd::write_error);
    EXPECT_GT(outcome.rows, 0);
    EXPECT_LT(outcome.rows, 61);
    EXPECT_EQ(outcome.code, file_error::disk_full);
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_NE(window_.messages[0].find("is incomplete"), std::string::npos);
    EXPECT_EQ(file_lines(), 6u + static_cast<std::size_t>(outcome.rows));
    EXPECT_FALSE(window_.start_enabled);
    EXPECT_TRUE(window_.chooser_enabled);
}

TEST_F(CalculationRun, ending_the_program_stops_the_run_and_keeps_the_rows_written) {
    window_.stop_after_yields = 1 + 1 + 1 + 101 + 2 + 3 * 10 + 1;  // within step 10
    const RunOutcome outcome = run();
    EXPECT_EQ(outcome.end, RunEnd::stopped);
    EXPECT_EQ(outcome.rows, 10);
    EXPECT_EQ(file_lines(), 16u);
    EXPECT_TRUE(window_.messages.empty());
}

TEST(LiveCharts, ranges_of_the_default_fields) {
    FieldTexts texts = default_field_texts();
    const ChartRanges constant = chart_ranges(read_calculation_inputs(inputs_of_fields(texts), 1));
    EXPECT_EQ(constant.x_min, -0.75);
    EXPECT_EQ(constant.x_max, 15.75);
    EXPECT_NEAR(constant.sigma_max, 0.152788, 5e-7);
    EXPECT_NEAR(constant.sigma_min, -0.0152788, 5e-8);
    const ChartRanges function = chart_ranges(read_calculation_inputs(inputs_of_fields(texts), 2));
    EXPECT_NEAR(function.sigma_max, 0.258405, 5e-7);
    EXPECT_EQ(function.sigma_min, constant.sigma_min);
}

TEST(LiveCharts, degenerate_ranges_skip_that_charts_drawing) {
    FieldTexts texts = default_field_texts();
    texts["Text14"] = "0";
    RecordingChart load, fiber;
    const ChartRanges r =
        prepare_load_chart(load, read_calculation_inputs(inputs_of_fields(texts), 1));
    prepare_fiber_chart(fiber, r);
    plot_step(load, fiber, r, 0, 0, 0, 0.5);
    EXPECT_EQ(load.calls, std::vector<std::string>{"clear"});
    EXPECT_EQ(fiber.calls.size(), 1u + 1 + 1 + 11 + 1);
}

}  // namespace
}  // namespace quarnel
