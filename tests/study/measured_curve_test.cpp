#include "study/measured_curve.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quarnel {
namespace {

std::vector<MeasuredPoint> points_of(const std::string& text) {
    auto read = read_measured_curve(text);
    if (const auto* refusal = std::get_if<CurveRefusal>(&read)) {
        ADD_FAILURE() << "refused: " << curve_refusal_text(*refusal);
        return {};
    }
    return std::get<std::vector<MeasuredPoint>>(read);
}

CurveRefusal refusal_of(const std::string& text) {
    auto read = read_measured_curve(text);
    if (const auto* refusal = std::get_if<CurveRefusal>(&read)) return *refusal;
    ADD_FAILURE() << "accepted: " << text;
    return {};
}

void expect_points(const std::string& text, const std::vector<std::pair<double, double>>& want) {
    const std::vector<MeasuredPoint> got = points_of(text);
    ASSERT_EQ(got.size(), want.size()) << text;
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].opening, want[i].first) << text << " point " << i;
        EXPECT_EQ(got[i].stress, want[i].second) << text << " point " << i;
    }
}

TEST(MeasuredCurve, every_separator) {
    expect_points("0.1,2.5\n0.2,3\n", {{0.1, 2.5}, {0.2, 3}});
    expect_points("0.1;2.5\n0.2;3\n", {{0.1, 2.5}, {0.2, 3}});
    expect_points("0.1\t2.5\n0.2\t3\n", {{0.1, 2.5}, {0.2, 3}});
    expect_points("0.1 2.5\n0.2   3\n", {{0.1, 2.5}, {0.2, 3}});
    expect_points("  0.1 ,  2.5  \n0.2, 3", {{0.1, 2.5}, {0.2, 3}});  // blanks around values
    expect_points("0.1 ; 2.5\n0.2\t 3 \n", {{0.1, 2.5}, {0.2, 3}});
    expect_points("1e-3,-2E-2\n+.5,5.\n", {{1e-3, -2e-2}, {0.5, 5}});
}

TEST(MeasuredCurve, decimal_comma_where_the_separator_is_not_a_comma) {
    expect_points("0,1;2,5\n", {{0.1, 2.5}});
    expect_points("0,1\t2,5\n", {{0.1, 2.5}});
    expect_points("0,1 2,5\n", {{0.1, 2.5}});
    expect_points("0,1 2\n", {{0.1, 2}});  // one comma, inside a value: blanks separate
    expect_points("0,5;1\n", {{0.5, 1}});
    // One comma between two values is the separator.
    expect_points("1,2\n", {{1, 2}});
}

TEST(MeasuredCurve, header_comments_blank_lines_line_ends_and_byte_order_mark) {
    const std::vector<MeasuredPoint> p = points_of(
        "\xEF\xBB\xBF# a test\r\n\r\nw (mm), sigma (MPa)\r\n  # comment\r\n0.1,2\r\n\r\n0.3,4");
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].line, 5);
    EXPECT_EQ(p[0].opening, 0.1);
    EXPECT_EQ(p[1].line, 7);
    EXPECT_EQ(p[1].stress, 4);
    expect_points("Wcr_mm;sigma_MPa\n0,1;2\n", {{0.1, 2}});
    expect_points("opening stress\n1 2\n", {{1, 2}});
}

TEST(MeasuredCurve, openings_unsorted_repeated_and_zero_kept_in_file_order) {
    expect_points("0.3,1\n0.1,2\n0.3,1.5\n0,0\n-0,0.5\n",
                  {{0.3, 1}, {0.1, 2}, {0.3, 1.5}, {0, 0}, {0, 0.5}});
    const std::vector<MeasuredPoint> p = points_of("-0,1\n");
    ASSERT_EQ(p.size(), 1u);
    EXPECT_FALSE(std::signbit(p[0].opening));  // -0 is the opening 0
}

TEST(MeasuredCurve, values_read_as_the_nearest_double) {
    const std::vector<MeasuredPoint> p = points_of("0.1,0.3\n");
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].opening, 0.1);
    EXPECT_EQ(p[0].stress, 0.3);
    expect_points("1e-400,1\n", {{0, 1}});  // below the range: 0
}

TEST(MeasuredCurve, refusals_name_the_line_and_the_reason) {
    CurveRefusal r = refusal_of("");
    EXPECT_EQ(r.line, 0);
    EXPECT_EQ(curve_refusal_text(r), "the file holds no data rows");
    r = refusal_of("# only comments\n\nw,sigma\n");
    EXPECT_EQ(r.line, 0);
    EXPECT_EQ(r.reason, "the file holds no data rows");

    r = refusal_of("w,sigma\n0.1,1\n0.2,abc\n");
    EXPECT_EQ(r.line, 3);
    EXPECT_EQ(curve_refusal_text(r), "line 3: the stress \"abc\" is not a number");
    r = refusal_of("0.1,1\nx,2\n");
    EXPECT_EQ(r.line, 2);
    EXPECT_EQ(r.reason, "the opening \"x\" is not a number");
    r = refusal_of("0.1,1\n0.2,nan\n");
    EXPECT_EQ(r.line, 2);
    EXPECT_EQ(r.reason, "the stress \"nan\" is not a finite number");
    r = refusal_of("-inf;1\n");  // numbers, so not a header
    EXPECT_EQ(r.line, 1);
    EXPECT_EQ(r.reason, "the opening \"-inf\" is not a finite number");
    r = refusal_of("0.1,1\n\n0.2,1e999\n");
    EXPECT_EQ(r.line, 3);
    EXPECT_EQ(r.reason,
              "the stress \"1e999\" is not a finite number (beyond the range of numbers)");
    r = refusal_of("0.1,1\n-0.2,1\n");
    EXPECT_EQ(r.line, 2);
    EXPECT_EQ(r.reason, "the opening -0.2 is negative");
    r = refusal_of("0.1;1;2\n");
    EXPECT_EQ(r.line, 1);
    EXPECT_EQ(r.reason, "expected two values (opening in mm, stress in MPa), found 3");
    r = refusal_of("0.1,1\n0.5\n");
    EXPECT_EQ(r.line, 2);
    EXPECT_EQ(r.reason, "expected two values (opening in mm, stress in MPa), found 1");
    r = refusal_of("0.1;\n");
    EXPECT_EQ(r.line, 1);
    EXPECT_EQ(r.reason, "the stress is empty");
    r = refusal_of("0,5;1\n0,5,1,2\n");  // two commas and no blank: one value
    EXPECT_EQ(r.line, 2);
    EXPECT_EQ(r.reason, "expected two values (opening in mm, stress in MPa), found 1");
    r = refusal_of("0.1,1mm\n");
    EXPECT_EQ(r.reason, "the stress \"1mm\" is not a number");
    r = refusal_of("0.1.2;1\n");
    EXPECT_EQ(r.reason, "the opening \"0.1.2\" is not a number");
    // Only the first line may be a header.
    r = refusal_of("w,sigma\nw,sigma\n0.1,1\n");
    EXPECT_EQ(r.line, 2);
    EXPECT_EQ(r.reason, "the opening \"w\" is not a number");
    // A first line with a number is a data row.
    r = refusal_of("0.1,sigma\n");
    EXPECT_EQ(r.line, 1);
}

// Values whose squares a fit sums are refused beyond 1e100 in magnitude, so
// that no sum of squares of differences over a file overflows.
TEST(MeasuredCurve, values_beyond_1e100_are_refused_with_the_line) {
    expect_points("1e100,1e100\n0,-1e100\n", {{1e100, 1e100}, {0, -1e100}});
    struct Case {
        const char* text;
        int line;
        const char* reason;
    };
    for (const Case& c : {
             Case{"0.1,1\n0.2,1\n\n# x\n0.3,2\n0.4,3\n0.5,1e300\n", 7,
                  "the stress 1e300 is beyond 1e100 MPa, which a fit cannot square"},
             Case{"0.1,-1.1e100\n", 1,
                  "the stress -1.1e100 is beyond -1e100 MPa, which a fit cannot square"},
             Case{"0,1;1,5e200\n", 1,
                  "the stress 1,5e200 is beyond 1e100 MPa, which a fit cannot square"},
             Case{"0.1 1\n1e101 2\n", 2, "the opening 1e101 is beyond 1e100 mm"},
         }) {
        const CurveRefusal r = refusal_of(c.text);
        EXPECT_EQ(r.line, c.line) << c.text;
        EXPECT_EQ(r.reason, c.reason) << c.text;
    }
}

TEST(MeasuredCurve, read_decimal_number) {
    EXPECT_EQ(read_decimal_number("0.25"), 0.25);
    EXPECT_EQ(read_decimal_number("-1e3"), -1000);
    EXPECT_EQ(read_decimal_number(".5"), 0.5);
    EXPECT_FALSE(read_decimal_number(""));
    EXPECT_FALSE(read_decimal_number(" 1"));
    EXPECT_FALSE(read_decimal_number("1mm"));
    EXPECT_FALSE(read_decimal_number("nan"));
    EXPECT_FALSE(read_decimal_number("1e"));
    EXPECT_TRUE(std::isinf(*read_decimal_number("1e400")));
}

struct LayoutCase {
    const char* name;
    std::string text;
    MeasuredLayout layout;
    std::vector<std::pair<double, double>> points;  // when read
    std::vector<int> lines;                         // the points' lines
    std::string refusal;                            // curve_refusal_text, when refused
};

void PrintTo(const LayoutCase& c, std::ostream* out) {
    *out << c.name;
}

MeasuredLayout columns(int w, int s, long skip = 0) {
    return {std::make_pair(w, s), skip};
}

MeasuredLayout skipping(long skip) {
    return {std::nullopt, skip};
}

class MeasuredLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(MeasuredLayouts, read_the_chosen_columns_after_the_skipped_lines) {
    const LayoutCase& c = GetParam();
    const auto read = read_measured_curve(c.text, c.layout);
    if (!c.refusal.empty()) {
        const auto* refusal = std::get_if<CurveRefusal>(&read);
        ASSERT_TRUE(refusal) << "accepted";
        EXPECT_EQ(curve_refusal_text(*refusal), c.refusal);
        return;
    }
    const auto* points = std::get_if<std::vector<MeasuredPoint>>(&read);
    ASSERT_TRUE(points) << curve_refusal_text(std::get<CurveRefusal>(read));
    ASSERT_EQ(points->size(), c.points.size());
    for (std::size_t i = 0; i < c.points.size(); ++i) {
        EXPECT_EQ((*points)[i].opening, c.points[i].first) << i;
        EXPECT_EQ((*points)[i].stress, c.points[i].second) << i;
        EXPECT_EQ((*points)[i].line, c.lines[i]) << i;
    }
}

// A lab file: metadata, a header, then time, opening, load and stress.
const std::string lab_file =
    "Specimen: B3, 28 d\nMachine 1 2 3\n"
    "time (s),COD (mm),load (N),stress (MPa)\n"
    "0,0.01,12,0.5\n1,0.02,30,1.25\n";

INSTANTIATE_TEST_SUITE_P(
    Table, MeasuredLayouts,
    ::testing::Values(
        LayoutCase{"lab_file_by_commas",
                   lab_file,
                   columns(2, 4, 2),
                   {{0.01, 0.5}, {0.02, 1.25}},
                   {4, 5},
                   ""},
        LayoutCase{"columns_in_either_order",
                   lab_file,
                   columns(4, 2, 2),
                   {{0.5, 0.01}, {1.25, 0.02}},
                   {4, 5},
                   ""},
        LayoutCase{"tabs", "a\tw\tb\ts\n7\t0.1\tx\t2\n", columns(2, 4), {{0.1, 2}}, {2}, ""},
        LayoutCase{
            "semicolons_and_decimal_commas", "1;0,1;9;2,5\n", columns(2, 4), {{0.1, 2.5}}, {1}, ""},
        LayoutCase{
            "blanks_and_decimal_commas", "1 0,1 9 2,5\n", columns(2, 4), {{0.1, 2.5}}, {1}, ""},
        LayoutCase{"one_column_of_more", "5,0.2,3\n", columns(2, 3), {{0.2, 3}}, {1}, ""},
        LayoutCase{"the_same_column_twice", "0.2,3\n", columns(1, 1), {{0.2, 0.2}}, {1}, ""},
        LayoutCase{"skipped_lines_may_hold_anything",
                   "1,2,3\n#\n\nx\n0.1,2\n",
                   skipping(4),
                   {{0.1, 2}},
                   {5},
                   ""},
        LayoutCase{"a_header_after_the_skipped_lines",
                   "meta\nw,s\n0.1,2\n",
                   skipping(1),
                   {{0.1, 2}},
                   {3},
                   ""},
        LayoutCase{"skip_0_is_the_plain_file", "w,s\n0.1,2\n", skipping(0), {{0.1, 2}}, {2}, ""},
        LayoutCase{"too_few_values",
                   lab_file + "2,0.03,40\n",
                   columns(2, 4, 2),
                   {},
                   {},
                   "line 6: expected at least 4 values (the opening in column 2, the stress "
                   "in column 4), found 3"},
        LayoutCase{"a_stress_not_a_number",
                   lab_file + "2,0.03,40,x\n",
                   columns(2, 4, 2),
                   {},
                   {},
                   "line 6, column 4: the stress \"x\" is not a number"},
        LayoutCase{"an_opening_not_finite",
                   "1,inf,3\n",
                   columns(2, 3),
                   {},
                   {},
                   "line 1, column 2: the opening \"inf\" is not a finite number"},
        LayoutCase{"a_negative_opening",
                   "9;-0.1;1\n",
                   columns(2, 3),
                   {},
                   {},
                   "line 1, column 2: the opening -0.1 is negative"},
        LayoutCase{"a_stress_beyond_the_limit",
                   "9 0.1 1 -2e100\n",
                   columns(2, 4),
                   {},
                   {},
                   "line 1, column 4: the stress -2e100 is beyond -1e100 MPa, which a fit "
                   "cannot square"},
        LayoutCase{"an_empty_stress",
                   "9,0.1,,1\n",
                   columns(2, 3),
                   {},
                   {},
                   "line 1, column 3: the stress is empty"},
        // Without columns the file has two, and the messages name no column.
        LayoutCase{"metadata_not_skipped",
                   "Specimen B3\nw,s\n0.1,2\n",
                   skipping(0),
                   {},
                   {},
                   "line 2: the opening \"w\" is not a number"},
        LayoutCase{"three_values_without_columns",
                   "x\n0.5,1\n0.1,2,3\n",
                   skipping(1),
                   {},
                   {},
                   "line 3: expected two values (opening in mm, stress in MPa), found 1"},
        LayoutCase{"too_few_for_the_opening",
                   "0.5,1\n",
                   columns(3, 1),
                   {},
                   {},
                   "line 1: expected at least 3 values (the opening in column 3, the stress "
                   "in column 1), found 2"},
        LayoutCase{"every_line_skipped",
                   "a\nb\n",
                   skipping(2),
                   {},
                   {},
                   "the file holds 2 lines, none after the 2 skipped"},
        LayoutCase{"more_skipped_than_held",
                   "a\n",
                   skipping(5),
                   {},
                   {},
                   "the file holds 1 line, none after the 5 skipped"},
        LayoutCase{"nothing_after_the_header",
                   "a\nw,s\n# c\n",
                   skipping(1),
                   {},
                   {},
                   "the file holds no data rows"}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST(MeasuredLayoutsChecked, columns_count_from_1_and_skip_from_0) {
    EXPECT_THROW(read_measured_curve("0,1\n", columns(0, 2)), std::invalid_argument);
    EXPECT_THROW(read_measured_curve("0,1\n", skipping(-1)), std::invalid_argument);
}

// A triangle from (0, 0): up to 2 MPa at 0.2 mm, down to 0 at 0.4 mm. The
// area to the peak is 0.2 MPa mm, the whole area 0.4 MPa mm.
TEST(MeasuredCurveCriteria, trapezoids_from_the_origin_in_opening_order) {
    const CurveCriteria c = measured_curve_criteria({0.4, 0.1, 0.2}, {0, 1, 2});
    EXPECT_EQ(c.sigma_max, 2);
    EXPECT_EQ(c.Wcr_peak, 0.2);
    EXPECT_NEAR(c.J_b_prime, (2 * 0.2 - 0.2) * 1000, 1e-10);
    EXPECT_NEAR(c.G_b, 0.4 * 1000, 1e-10);
    // A first point away from 0 is joined to the origin: 0.5 * 1 * 0.1.
    const CurveCriteria first = measured_curve_criteria({0.1}, {1});
    EXPECT_NEAR(first.G_b, 0.05 * 1000, 1e-12);
    EXPECT_NEAR(first.J_b_prime, 0.05 * 1000, 1e-12);
}

TEST(MeasuredCurveCriteria, a_tie_takes_the_later_peak_and_repeats_add_no_width) {
    // Peaks of 2 at 0.1 and 0.3: the later. The repeated 0.3 adds nothing
    // and, given first, is not the peak: 0.3 with 2 comes later.
    const CurveCriteria c = measured_curve_criteria({0.1, 0.3, 0.2, 0.3}, {2, 1.5, 1, 2});
    EXPECT_EQ(c.sigma_max, 2);
    EXPECT_EQ(c.Wcr_peak, 0.3);
    // 0.1 * 2 / 2 + 0.1 * 3 / 2 + 0.1 * 2.5 / 2 + 0 = 0.375 MPa mm.
    EXPECT_NEAR(c.G_b, 375, 1e-10);
    EXPECT_NEAR(c.J_b_prime, (2 * 0.3 - 0.375) * 1000, 1e-10);
    EXPECT_TRUE(std::isnan(measured_curve_criteria({}, {}).G_b));
}

}  // namespace
}  // namespace quarnel
