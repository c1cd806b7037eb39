// The engine against the literal model in the same run: a full default run,
// the model setting of each pull-out model, and one step averaged over a run.
#include <benchmark/benchmark.h>

#include "engine/crack_opening_stepper.h"
#include "engine/fiber_tables.h"
#include "tests/engine/reference_model.h"

namespace quarnel {
namespace {

CalculationInputs default_inputs(std::int16_t model) {
    FieldTexts texts = default_field_texts();
    if (model == 2) {
        texts["Text14"] = "3";
        texts["Text15"] = "0.45";
        texts["Text16"] = "0.05";
        texts["Text17"] = "0.3";
    }
    return read_calculation_inputs(texts, model);
}

void full_run(benchmark::State& state) {
    const CalculationInputs in = default_inputs(static_cast<std::int16_t>(state.range(0)));
    FiberTables tables;
    SilentProgress silent;
    for (auto _ : state) {
        build_fiber_tables(in, tables, silent);
        CrackOpeningStepper stepper(in, tables);
        double last = 0;
        stepper.run(silent, [&](const StepValues& s) {
            last = s.P;
            return true;
        });
        benchmark::DoNotOptimize(last);
    }
}
BENCHMARK(full_run)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void literal_full_run(benchmark::State& state) {
    const CalculationInputs in = default_inputs(static_cast<std::int16_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(reference::run(in));
}
BENCHMARK(literal_full_run)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void model_setting(benchmark::State& state) {
    const CalculationInputs in = default_inputs(static_cast<std::int16_t>(state.range(0)));
    FiberTables tables;
    SilentProgress silent;
    for (auto _ : state) {
        build_fiber_tables(in, tables, silent);
        benchmark::DoNotOptimize(tables.P1_table.data());
    }
}
BENCHMARK(model_setting)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void literal_model_setting(benchmark::State& state) {
    const CalculationInputs in = default_inputs(static_cast<std::int16_t>(state.range(0)));
    reference::Tables tables;
    for (auto _ : state) {
        reference::build_tables(in, tables);
        benchmark::DoNotOptimize(tables.P1.data());
    }
}
BENCHMARK(literal_model_setting)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// All 61 steps of a default run per iteration; the counter "step" gives the
// mean time of one step, in seconds.
void steps_of_a_run(benchmark::State& state) {
    const CalculationInputs in = default_inputs(1);
    FiberTables tables;
    SilentProgress silent;
    build_fiber_tables(in, tables, silent);
    for (auto _ : state) {
        state.PauseTiming();
        CrackOpeningStepper stepper(in, tables);
        state.ResumeTiming();
        while (!stepper.finished()) benchmark::DoNotOptimize(stepper.step());
    }
    state.counters["step"] =
        benchmark::Counter(61 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(steps_of_a_run)->Unit(benchmark::kMillisecond);

// Preparing the compact arrays of a run (part of every run, outside the steps).
void stepper_preparation(benchmark::State& state) {
    const CalculationInputs in = default_inputs(1);
    FiberTables tables;
    SilentProgress silent;
    build_fiber_tables(in, tables, silent);
    for (auto _ : state) {
        CrackOpeningStepper stepper(in, tables);
        benchmark::DoNotOptimize(stepper.bridging_cells());
    }
}
BENCHMARK(stepper_preparation)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quarnel

BENCHMARK_MAIN();
