// Studies: sweeps of default runs with Vf varied on one and two threads, and
// the criteria of a law against the run that computes it.
#include <benchmark/benchmark.h>

#include <functional>
#include <string>

#include "engine/input_table.h"
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

}  // namespace
}  // namespace quarnel

BENCHMARK_MAIN();
