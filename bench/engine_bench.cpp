// The engine against the literal model in the same run: full runs of both
// pull-out models on every path of the inner pass, the law at 200 openings,
// the model setting of each model, and the whole batch process.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/bridging_law.h"
#include "engine/crack_openings.h"
#include "engine/fiber_tables.h"
#include "engine/input_table.h"
#include "engine/law_kernels.h"
#include "tests/engine/reference_model.h"

extern char** environ;

namespace quarnel {
namespace {

CalculationInputs default_inputs(std::int16_t model) {
    InputSet texts = default_input_texts();
    if (model == 2) {
        texts["Pmax"] = "3";
        texts["delta_max"] = "0.45";
        texts["C"] = "0.05";
        texts["D"] = "0.3";
    }
    return read_calculation_inputs(texts, model);
}

// The law at the openings, model setting included, on the path of range(1);
// range(0) is the model.
void law_with_model_setting(benchmark::State& state, const std::vector<double>& openings_in) {
    const kernels::Path paths[] = {kernels::Path::portable, kernels::Path::avx2,
                                   kernels::Path::avx512};
    const CalculationInputs in = default_inputs(static_cast<std::int16_t>(state.range(0)));
    const kernels::Path path = paths[state.range(1)];
    if (!kernels::path_supported(path)) {
        state.SkipWithError("path not supported here");
        return;
    }
    state.SetLabel(kernels::path_name(path));
    const std::vector<double> openings = openings_in.empty() ? division_openings(in) : openings_in;
    FiberTables tables;
    SilentProgress silent;
    for (auto _ : state) {
        build_fiber_tables(in, tables, silent);
        benchmark::DoNotOptimize(bridging_law(in, tables, openings, path));
    }
}

// Model setting and the 61 steps of "Division" 30; range(0) is the model,
// range(1) the path.
void full_run(benchmark::State& state) {
    law_with_model_setting(state, {});
}
BENCHMARK(full_run)->ArgsProduct({{1, 2}, {0, 1, 2}})->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The full run with fiber strength scattered by a Weibull law of modulus
// range(2) (0: the classic rupture), on the defaults and with fibers weak
// enough (sigma_fu 25 MPa) that many rupture; range(0) is the model, range(1)
// the path. The cost of the scatter is the ratio of a run to its modulus-0
// run.
void strength_scatter_run(benchmark::State& state) {
    const kernels::Path paths[] = {kernels::Path::portable, kernels::Path::avx2,
                                   kernels::Path::avx512};
    const bool weak = state.range(3) != 0;
    InputSet texts = default_input_texts();
    if (state.range(0) == 2) {
        texts["C"] = "0.05";
        texts["D"] = "0.3";
    }
    if (weak) texts["sigma_fu"] = "25";
    texts["weibull_m"] = std::to_string(state.range(2));
    const CalculationInputs in =
        read_calculation_inputs(texts, static_cast<std::int16_t>(state.range(0)));
    const kernels::Path path = paths[state.range(1)];
    if (!kernels::path_supported(path)) {
        state.SkipWithError("path not supported here");
        return;
    }
    state.SetLabel(std::string(kernels::path_name(path)) + (weak ? " weak" : " defaults"));
    const std::vector<double> openings = division_openings(in);
    FiberTables tables;
    SilentProgress silent;
    for (auto _ : state) {
        build_fiber_tables(in, tables, silent);
        benchmark::DoNotOptimize(bridging_law(in, tables, openings, path));
    }
}
BENCHMARK(strength_scatter_run)
    ->ArgsProduct({{1, 2}, {0, 1, 2}, {0, 5, 1000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

void literal_full_run(benchmark::State& state) {
    const CalculationInputs in = default_inputs(static_cast<std::int16_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(reference::run(in));
}
BENCHMARK(literal_full_run)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// The law at 200 openings evenly over 0 .. Lf/2, model setting included.
void law_at_200_openings(benchmark::State& state) {
    std::vector<double> openings;
    for (int n = 0; n < 200; ++n) openings.push_back(15.0 * n / 199);
    law_with_model_setting(state, openings);
}
BENCHMARK(law_at_200_openings)
    ->ArgsProduct({{1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

void model_setting(benchmark::State& state) {
    const CalculationInputs in = default_inputs(static_cast<std::int16_t>(state.range(0)));
    FiberTables tables;
    SilentProgress silent;
    for (auto _ : state) {
        build_fiber_tables(in, tables, silent);
        benchmark::DoNotOptimize(tables.P1.data());
    }
}
BENCHMARK(model_setting)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void literal_model_setting(benchmark::State& state) {
    const CalculationInputs in = default_inputs(static_cast<std::int16_t>(state.range(0)));
    reference::Tables tables;
    for (auto _ : state) {
        reference::build_tables(in, tables);
        benchmark::DoNotOptimize(tables.P1.data());
    }
}
BENCHMARK(literal_model_setting)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The whole `quarnel-batch --quiet` process on the defaults, start to exit;
// the counter peak_MB is the largest peak resident memory of its runs.
void batch_process(benchmark::State& state) {
    const std::string output = "/tmp/quarnel-bench-" + std::to_string(getpid()) + ".p-d";
    std::vector<std::string> words = {QUARNEL_BATCH, "--quiet", "-o", output};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    long peak_kB = 0;
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start quarnel-batch");
            return;
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("quarnel-batch failed");
            return;
        }
        peak_kB = std::max(peak_kB, usage.ru_maxrss);
    }
    std::remove(output.c_str());
    state.counters["peak_MB"] = static_cast<double>(peak_kB) / 1024;
}
BENCHMARK(batch_process)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
}  // namespace quarnel

BENCHMARK_MAIN();
