#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <thread>

#include "engine/input_table.h"
#include "engine/text_to_number.h"
#include "study/law_run.h"
#include "study/sweep.h"
#include "tests/support/bits.h"

namespace quarnel {
namespace {

bool any_name(const std::string& name) {
    return name != "nope";
}

std::vector<double> numbers_of(const std::string& argument) {
    const SweepAxis axis = parse_sweep_axis(argument, any_name);
    std::vector<double> numbers;
    for (std::size_t i = 0; i < axis.size(); ++i) numbers.push_back(axis.number(i));
    return numbers;
}

TEST(SweepAxis, lists_ranges_and_log_ranges) {
    const SweepAxis list = parse_sweep_axis("kxy = 1, 2,4", any_name);
    EXPECT_EQ(list.name, "kxy");
    EXPECT_EQ(numbers_of("kxy = 1, 2,4"), (std::vector<double>{1, 2, 4}));
    // List items stay texts, read later by the field rule as a field is.
    EXPECT_EQ(std::get<std::string>(list.value(1)), "2");
    EXPECT_EQ(numbers_of("Vf=0,5"), (std::vector<double>{0, 5}));

    const std::vector<double> range = numbers_of("Vf=0.005:0.03:11");
    ASSERT_EQ(range.size(), 11u);
    EXPECT_EQ(range.front(), 0.005);
    EXPECT_EQ(range.back(), 0.03);
    // Decimal steps keep their short texts.
    EXPECT_EQ(range, (std::vector<double>{0.005, 0.0075, 0.01, 0.0125, 0.015, 0.0175, 0.02, 0.0225,
                                          0.025, 0.0275, 0.03}));
    EXPECT_EQ(numbers_of("Vf=0.1:0.7:7"), (std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7}));
    for (std::size_t i = 1; i < range.size(); ++i) EXPECT_GT(range[i], range[i - 1]);
    EXPECT_EQ(numbers_of("crack_xy=0:60:7"), (std::vector<double>{0, 10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(numbers_of("Lf=12:30:1"), (std::vector<double>{12}));
    EXPECT_EQ(numbers_of("Lf=30:12:2"), (std::vector<double>{30, 12}));  // downwards too
    EXPECT_TRUE(std::holds_alternative<double>(parse_sweep_axis("Lf=1:2:2", any_name).value(0)));

    const std::vector<double> log = numbers_of("kxy=0.1:1000:5:log");
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log.front(), 0.1);
    EXPECT_EQ(log.back(), 1000);
    EXPECT_EQ(log[1], 1);
    EXPECT_EQ(log[2], 10);
    EXPECT_EQ(log[3], 100);
}

// The points of a range as every value was once computed up front, before
// the axis was made lazy: its doubles must stay bit for bit.
std::vector<double> eager_points(double start, double stop, std::size_t count, bool log) {
    std::vector<double> points;
    for (std::size_t i = 0; i < count; ++i) {
        double x = start;
        if (i + 1 == count && count > 1) {
            x = stop;
        } else if (i > 0) {
            const double n = static_cast<double>(count - 1);
            const double k = static_cast<double>(i);
            x = log ? start * std::pow(stop / start, k / n) : start + (stop - start) * (k / n);
            char text[32];
            std::snprintf(text, sizeof text, "%.15g", x);
            x = read_number(text);
        }
        points.push_back(x);
    }
    return points;
}

struct RangeCase {
    const char* values;
    double start;
    double stop;
    std::size_t count;
    bool log;
};

class LazyRange : public testing::TestWithParam<RangeCase> {};

TEST_P(LazyRange, gives_the_doubles_of_the_eager_points_bit_for_bit) {
    const RangeCase& c = GetParam();
    const SweepAxis axis = parse_sweep_axis(std::string("Vf=") + c.values, any_name);
    const std::vector<double> eager = eager_points(c.start, c.stop, c.count, c.log);
    ASSERT_EQ(axis.size(), eager.size());
    for (std::size_t i = 0; i < eager.size(); ++i) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(std::get<double>(axis.value(i))),
                  std::bit_cast<std::uint64_t>(eager[i]))
            << c.values << " point " << i;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(axis.number(i)),
                  std::bit_cast<std::uint64_t>(eager[i]));
    }
}

INSTANTIATE_TEST_SUITE_P(Ranges, LazyRange,
                         testing::Values(RangeCase{"0.005:0.03:11", 0.005, 0.03, 11, false},
                                         RangeCase{"0:1:3", 0, 1, 3, false},  // 1/3 to 15 digits
                                         RangeCase{"30:12:7", 30, 12, 7, false},
                                         RangeCase{"-89:89:1000", -89, 89, 1000, false},
                                         RangeCase{"1e-7:3e-7:4097", 1e-7, 3e-7, 4097, false},
                                         RangeCase{"0.1:1000:5:log", 0.1, 1000, 5, true},
                                         RangeCase{"1e-5:3e7:1001:log", 1e-5, 3e7, 1001, true},
                                         RangeCase{"2:0.02:9:log", 2, 0.02, 9, true},
                                         RangeCase{"5:5:1", 5, 5, 1, false}));

TEST(SweepAxis, a_billion_points_take_no_memory_of_their_own) {
    // Building every point would take tens of gigabytes before the first run.
    const SweepAxis axis = parse_sweep_axis("Vf=0.01:0.02:1e9", any_name);
    EXPECT_EQ(axis.size(), 1000000000u);
    EXPECT_EQ(std::get<double>(axis.value(999999999)), 0.02);
    const double n = 999999999;
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", 0.01 + (0.02 - 0.01) * (123456789 / n));
    EXPECT_EQ(axis.number(123456789), read_number(text));
}

std::string refusal_of(const std::string& argument) {
    try {
        parse_sweep_axis(argument, any_name);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "accepted";
}

TEST(SweepAxis, malformed_specs_are_refused_with_the_name_and_the_rule) {
    const auto message = refusal_of;
    EXPECT_NE(message("nope=1,2").find("nope: unknown name"), std::string::npos);
    EXPECT_NE(message("Vf").find("NAME=VALUES"), std::string::npos);
    EXPECT_NE(message("Vf=").find("empty"), std::string::npos);
    EXPECT_NE(message("Vf=1,,2").find("empty"), std::string::npos);
    EXPECT_NE(message("Vf=0:1:0").find("at least 1"), std::string::npos);
    EXPECT_NE(message("Vf=0:1:2.5").find("whole number"), std::string::npos);
    EXPECT_NE(message("Vf=0:x:3").find("the stop \"x\""), std::string::npos);
    EXPECT_NE(message("Vf=0:1e999:3").find("not a finite number"), std::string::npos);
    EXPECT_NE(message("Vf=0:1:3:lin").find("start:stop:count"), std::string::npos);
    EXPECT_NE(message("kxy=0:10:3:log").find("above 0"), std::string::npos);
    EXPECT_NE(message("kxy=-1:10:3:log").find("above 0"), std::string::npos);
    EXPECT_EQ(message("kxy=-1:10:3:log").rfind("kxy: ", 0), 0u);
    EXPECT_EQ(message("kxy=1:10:3:log"), "accepted");
}

struct NonFiniteCase {
    const char* argument;
    const char* why;  // in the message, which also names the range
};

class NonFiniteRange : public testing::TestWithParam<NonFiniteCase> {};

// Points beyond the doubles once came out as 0 (the text of an infinity
// reads as 0) and ran as if valid.
TEST_P(NonFiniteRange, is_refused_naming_the_range) {
    const std::string argument = GetParam().argument;
    const std::string message = refusal_of(argument);
    EXPECT_NE(message.find(argument.substr(argument.find('=') + 1)), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().why), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, NonFiniteRange,
    testing::Values(NonFiniteCase{"theta_r_xy=-1.7e308:1.7e308:5", "span overflows"},
                    NonFiniteCase{"Vf=1e-320:1.7e308:4:log", "ratio of its ends overflows"},
                    NonFiniteCase{"Vf=1e300:1e-300:3:log", "underflows to 0"},
                    NonFiniteCase{"Vf=1.797693134862315e308:1.7976931348623157e308:3",
                                  "point 2 of 3 rounds to infinity"},
                    NonFiniteCase{"Vf=-1.7976931348623157e308:-1.797693134862315e308:1e9",
                                  "point 2 of 1000000000 rounds to infinity"},
                    NonFiniteCase{"Vf=1.7976931348e308:1.7976931348623157e308:1e9",
                                  "point 999999999 of 1000000000 rounds to infinity"}));

TEST(NonFiniteRange, ranges_with_finite_points_near_the_largest_double_are_taken) {
    EXPECT_EQ(refusal_of("Vf=-1.7e308:1.7e308:2"), "accepted");  // no inner point
    EXPECT_EQ(refusal_of("Vf=0:1.7e308:5"), "accepted");
    EXPECT_EQ(refusal_of("Vf=1e-150:1e150:5:log"), "accepted");
}

TEST(SweepPlan, checks_the_points_of_a_range_made_without_parsing) {
    SweepAxis made{"Vf", SweepRange{-1.7e308, 1.7e308, 5, false}};
    EXPECT_THROW(SweepPlan({made}, false), std::invalid_argument);
    made.values = SweepRange{-1.7e308, 1.7e308, 2, false};
    EXPECT_EQ(SweepPlan({made}, false).runs(), 2u);
}

TEST(SweepPlan, combinations_vary_the_first_axis_slowest_and_zip_pairs) {
    std::vector<SweepAxis> axes = {parse_sweep_axis("Vf=1,2", any_name),
                                   parse_sweep_axis("kxy=1,2,3", any_name)};
    const SweepPlan product(axes, false);
    ASSERT_EQ(product.runs(), 6u);
    EXPECT_EQ(product.value_indices(0), (std::vector<std::size_t>{0, 0}));
    EXPECT_EQ(product.value_indices(2), (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(product.value_indices(3), (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(product.value_indices(5), (std::vector<std::size_t>{1, 2}));
    EXPECT_THROW(SweepPlan(axes, true), std::invalid_argument);  // 2 and 3 values
    axes[1] = parse_sweep_axis("kxy=1,2", any_name);
    const SweepPlan zipped(axes, true);
    ASSERT_EQ(zipped.runs(), 2u);
    EXPECT_EQ(zipped.value_indices(1), (std::vector<std::size_t>{1, 1}));
    EXPECT_THROW(SweepPlan({}, false), std::invalid_argument);
}

std::string plan_refusal(const std::vector<std::string>& arguments, bool zip) {
    std::vector<SweepAxis> axes;
    for (const std::string& a : arguments) axes.push_back(parse_sweep_axis(a, any_name));
    try {
        SweepPlan(axes, zip);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "accepted";
}

// A front end puts its own words (an option's name) before these.
TEST(SweepPlan, messages_name_inputs_and_rules_not_options) {
    EXPECT_EQ(refusal_of("Vf= "), "Vf: the list of values is empty");
    EXPECT_EQ(plan_refusal({}, false), "a sweep needs at least one varied input");
    EXPECT_EQ(plan_refusal({"Vf=1,2", "kxy=1,2,3"}, true),
              "zipped lists must be of equal length, but Vf has 2 values and kxy has 3");
    EXPECT_EQ(plan_refusal({"Vf=1:2:1e5", "kxy=1:2:1e5"}, false),
              "the combinations of the varied lists exceed 1000000000 runs");
    EXPECT_EQ(plan_refusal({"Vf=1:2:1e9"}, false), "accepted");
    EXPECT_EQ(plan_refusal({"Vf=1:2:1e4", "kxy=1:2:1e5"}, false), "accepted");
}

struct NoScratch {};

TEST(RunInOrder, results_come_in_run_order_with_a_bounded_backlog) {
    for (const int jobs : {1, 2, 4}) {
        std::atomic<int> under_way{0};
        std::atomic<int> most_under_way{0};
        std::vector<std::size_t> seen;
        std::atomic<std::size_t> consumed{0};
        const std::function<std::size_t(std::size_t, NoScratch&)> compute = [&](std::size_t r,
                                                                                NoScratch&) {
            // No run starts far ahead of the ones handed over.
            EXPECT_LE(r, consumed + 2 * static_cast<std::size_t>(jobs) + 2);
            const int now = ++under_way;
            int most = most_under_way;
            while (now > most && !most_under_way.compare_exchange_weak(most, now)) {
            }
            // Uneven durations, so that later runs often finish first.
            std::this_thread::sleep_for(std::chrono::microseconds((r * 7919) % 5 * 100));
            --under_way;
            return r;
        };
        // A slow consumer: unbounded threads would race far ahead of it.
        const std::function<bool(std::size_t &&)> consume = [&](std::size_t&& r) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            seen.push_back(r);
            ++consumed;
            return true;
        };
        const std::size_t n =
            run_in_order<std::size_t, NoScratch>(60, jobs, compute, consume, nullptr);
        EXPECT_EQ(n, 60u);
        ASSERT_EQ(seen.size(), 60u);
        for (std::size_t r = 0; r < seen.size(); ++r) ASSERT_EQ(seen[r], r) << "jobs " << jobs;
        EXPECT_LE(most_under_way, jobs);
    }
}

TEST(RunInOrder, a_stop_lets_the_runs_under_way_finish_and_starts_no_more) {
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> started{0};
    std::vector<std::size_t> seen;
    const std::function<std::size_t(std::size_t, NoScratch&)> compute = [&](std::size_t r,
                                                                            NoScratch&) {
        ++started;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return r;
    };
    const std::function<bool(std::size_t &&)> consume = [&](std::size_t&& r) {
        seen.push_back(r);
        if (r == 10) stop = true;
        return true;
    };
    const std::size_t n = run_in_order<std::size_t, NoScratch>(1000, 2, compute, consume,
                                                               [&] { return stop.load(); });
    EXPECT_EQ(n, seen.size());
    EXPECT_EQ(n, started.load());  // every run started was handed over
    EXPECT_LT(n, 30u);
    for (std::size_t r = 0; r < seen.size(); ++r) ASSERT_EQ(seen[r], r);

    // A consumer that fails ends it at once.
    seen.clear();
    const std::function<bool(std::size_t &&)> failing = [&](std::size_t&& r) {
        seen.push_back(r);
        return r < 3;
    };
    EXPECT_EQ((run_in_order<std::size_t, NoScratch>(1000, 2, compute, failing, nullptr)), 4u);
    EXPECT_EQ(seen.size(), 4u);
}

bool identical(const std::vector<StepValues>& a, const std::vector<StepValues>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t n = 0; n < a.size(); ++n) {
        for (const auto& [x, y] :
             {std::pair{a[n].P, b[n].P}, std::pair{a[n].sigma, b[n].sigma},
              std::pair{a[n].effective_fiber_ratio, b[n].effective_fiber_ratio},
              std::pair{a[n].Wcr, b[n].Wcr}}) {
            if (!quarnel_test::same_bits(x, y)) return false;
        }
    }
    return true;
}

// Laws computed one after another on kept tables equal laws computed afresh,
// whichever inputs change between them.
TEST(LawScratch, kept_tables_give_the_laws_of_fresh_ones) {
    const std::vector<std::pair<std::string, InputValue>> changes = {
        {"Vf", 0.03},         {"Am", "1200"},      {"division", "12"}, {"Pmax", "2.5"},
        {"delta_max", "0.3"}, {"Lf", "20"},        {"crack_xy", "30"}, {"fp0", "0.7"},
        {"kxy", "3"},         {"sigma_fu", "400"}, {"Af", "0.1"},      {"model", 2.0},
        {"Vf", 0.01}};
    InputSet inputs = default_input_texts();
    inputs["C"] = "0.05";
    inputs["D"] = "0.3";
    LawScratch scratch;
    for (const auto& [member, value] : changes) {
        inputs[member] = value;
        const LawRun kept = compute_law(inputs, std::nullopt, scratch);
        const LawRun fresh = compute_law(inputs, std::nullopt);
        ASSERT_FALSE(fresh.refused()) << member;
        EXPECT_TRUE(identical(kept.steps, fresh.steps)) << "after changing " << member;
    }
}

}  // namespace
}  // namespace quarnel
