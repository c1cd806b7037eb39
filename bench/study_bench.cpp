// Studies: sweeps of default runs with Vf varied on one and two threads, the
// criteria of a law against the run that computes it, and the converged
// criteria against a default run of the same inputs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <string>

#include "engine/input_table.h"
#include "study/converged_criteria.h"
#include "study/criteria.h"
#include "study/law_run.h"
#include "study/sweep.h"

namespace quarnel {
namespace {

constexpr std::size_t sweep_runs = 200;

// 200 default runs with Vf from 0.005 to 0.03, each with its criteria, on
// range(0) threads; real time, since the threads share the work.
void sweep_of_Vf(benchmark::State& state) {
    const InputSet base = default_input_texts();
    const int jobs = static_cast<int>(state.range(0));
    const std::function<LawCriteria(std::size_t, LawScratch&)> compute = [&](std::size_t r,
                                                                             LawScratch& s) {
        InputSet inputs = base;
        inputs["Vf"] = 0.005 + 0.025 * static_cast<double>(r) / (sweep_runs - 1);
        return law_criteria(compute_law(inputs, std::nullopt, s).steps);
    };
    double sum = 0;
    const std::function<bool(LawCriteria &&)> consume = [&](LawCriteria&& c) {
        sum += c.sigma_max;
        return true;
    };
    for (auto _ : state) {
        run_in_order<LawCriteria, LawScratch>(sweep_runs, jobs, compute, consume, nullptr);
    }
    benchmark::DoNotOptimize(sum);
    state.counters["runs_per_s"] = benchmark::Counter(
        static_cast<double>(sweep_runs * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(sweep_of_Vf)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// One default run, model setting included, and the criteria of its steps.
void default_run(benchmark::State& state) {
    const InputSet inputs = default_input_texts();
    FiberTables tables;
    for (auto _ : state) benchmark::DoNotOptimize(compute_law(inputs, std::nullopt, tables));
}
BENCHMARK(default_run)->Unit(benchmark::kMicrosecond);

void criteria_of_default_run(benchmark::State& state) {
    const std::vector<StepValues> steps = compute_law(default_input_texts(), std::nullopt).steps;
    const MatrixProperties matrix{3.2, 12.0};
    for (auto _ : state) benchmark::DoNotOptimize(law_criteria(steps, matrix));
}
BENCHMARK(criteria_of_default_run)->Unit(benchmark::kMicrosecond);

// The default inputs (range 0 = 0), and a PVA-like fiber in a mortar (1).
InputSet criteria_inputs(std::int64_t set) {
    InputSet inputs = default_input_texts();
    if (set == 1) {
        inputs["Vf"] = 0.02;
        inputs["Lf"] = 12.0;
        inputs["Af"] = 0.0314;
        inputs["Pmax"] = 4.0;
        inputs["delta_max"] = 0.2;
        inputs["sigma_fu"] = 1600.0;
    }
    return inputs;
}

// Processor time in seconds: on a machine whose cores other work shares, the
// ratio of two costs is steadier in it than in real time.
double processor_seconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// The fastest of a few default runs (Division 30, 61 steps, model setting
// included), in processor seconds.
double default_run_seconds(const InputSet& inputs) {
    double fastest = 1e9;
    for (int i = 0; i < 20; ++i) {
        FiberTables tables;
        const double start = processor_seconds();
        benchmark::DoNotOptimize(compute_law(inputs, std::nullopt, tables));
        fastest = std::min(fastest, processor_seconds() - start);
    }
    return fastest;
}

// The converged criteria of a law from its inputs alone, their own model
// setting included (range 1 = 0), or with the model setting of a run that
// computed the law before (1), as a single run has it. The counter
// per_default_run is the processor time of the fastest of them against the
// fastest default run of the same inputs, measured in the same process just
// before.
void converged_criteria(benchmark::State& state) {
    const InputSet inputs = criteria_inputs(state.range(0));
    const bool run_before = state.range(1) == 1;
    const double default_run = default_run_seconds(inputs);
    LawScratch kept;
    if (run_before) compute_law(inputs, std::nullopt, kept);
    double fastest = 1e9;
    LawCriteria c;
    for (auto _ : state) {
        LawScratch fresh;
        const double start = processor_seconds();
        c = converged_law_criteria(inputs, {}, {}, run_before ? kept : fresh);
        fastest = std::min(fastest, processor_seconds() - start);
    }
    state.counters["per_default_run"] = fastest / default_run;
    state.counters["default_run_ms"] = default_run * 1e3;
    state.counters["openings"] = static_cast<double>(c.openings);
    state.counters["laws"] = c.laws;
}
BENCHMARK(converged_criteria)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"pva_like", "run_before"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quarnel

BENCHMARK_MAIN();
