#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <thread>

#include "engine/input_table.h"
#include "study/law_run.h"
#include "study/sweep.h"
#include "tests/support/bits.h"

namespace quarnel {
namespace {

bool any_name(const std::string& name) {
    return name != "nope";
}

std::vector<double> numbers_of(const std::string& argument) {
    return parse_sweep_axis(argument, any_name).numbers;
}

TEST(SweepAxis, lists_ranges_and_log_ranges) {
    const SweepAxis list = parse_sweep_axis("kxy = 1, 2,4", any_name);
    EXPECT_EQ(list.name, "kxy");
    EXPECT_EQ(list.numbers, (std::vector<double>{1, 2, 4}));
    // List items stay texts, read later by the field rule as a field is.
    EXPECT_EQ(std::get<std::string>(list.values[1]), "2");
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
    EXPECT_TRUE(std::holds_alternative<double>(parse_sweep_axis("Lf=1:2:2", any_name).values[0]));

    const std::vector<double> log = numbers_of("kxy=0.1:1000:5:log");
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log.front(), 0.1);
    EXPECT_EQ(log.back(), 1000);
    EXPECT_EQ(log[1], 1);
    EXPECT_EQ(log[2], 10);
    EXPECT_EQ(log[3], 100);
}

TEST(SweepAxis, malformed_specs_are_refused_with_the_name_and_the_rule) {
    const auto message = [](const std::string& argument) {
        try {
            parse_sweep_axis(argument, any_name);
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_NE(message("nope=1,2").find("unknown name \"nope\""), std::string::npos);
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
    EXPECT_EQ(message("kxy=-1:10:3:log").rfind("--vary kxy: ", 0), 0u);
    EXPECT_EQ(message("kxy=1:10:3:log"), "accepted");
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
