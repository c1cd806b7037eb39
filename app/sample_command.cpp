#include "sample_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <thread>

#include "app/sample_report.h"
#include "app/study_runner.h"
#include "run/result_file.h"
#include "study/sample_statistics.h"

namespace quarnel {

namespace {

constexpr const char* program = "quarnel-batch sample: ";

std::string help_footer() {
    return "\nNAME is any numeric input name of quarnel-batch (see quarnel-batch --help),\n"
           "fiberN.NAME for a type of a mix of --fiber types, or the matrix's sigma_fc\n"
           "and J_tip. DIST is normal:MEAN:SD, lognormal:MEAN:COV, uniform:LOW:HIGH,\n"
           "weibull:SCALE:MODULUS or truncnormal:MEAN:SD:LOW:HIGH. A sampled value the\n"
           "input refuses (a negative length from a normal tail) makes a refused run;\n"
           "truncnormal and lognormal avoid them.\n"
           "\nExit status:\n"
           "  0    every run was computed and every output written\n"
           "  2    usage error; nothing is written\n"
           "  3    an output failed; standard error says what each file holds\n"
           "  4    some runs were refused (their rows say why); the others were computed\n" +
           shared_exit_status_help();
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

void setup_sample_command(CLI::App& app, SampleOptions& o) {
    describe_command(app,
                     "Computes the bridging law for every run of a sample of inputs drawn from "
                     "distributions, in parallel, and the statistics of their criteria.",
                     help_footer());
    add_repeated_option(app, "--dist", o.distributions,
                        "NAME=DIST: an input and its distribution (repeatable)", true);
    add_repeated_option(app, "--correlate", o.correlations,
                        "NAME1,NAME2=RHO: correlate two sampled inputs through a Gaussian copula, "
                        "-1 < RHO < 1 (repeatable)",
                        false);
    add_repeated_option(app, "--fiber", o.fibers,
                        "A fiber type's NAME=TEXT file (repeatable): sample mixes of the types, "
                        "a type's inputs as fiberN.NAME",
                        false);
    add_text_option(app, "--runs", o.runs,
                    "Runs to draw, 1 to " + std::to_string(max_sample_runs) + " (default 1000)");
    add_text_option(app, "--seed", o.seed,
                    "Seed of the random streams, a whole number (default 1): the same seed gives "
                    "the same samples everywhere");
    add_text_option(app, "--method", o.method,
                    "mc (default): independent draws; lhs: Latin hypercube; sobol: a randomly "
                    "shifted Sobol sequence");
    SharedOptionSet set;
    set.csv = false;
    set.help = {
        {"--summary",
         "One row per run: sampled values, status, message and criteria (CSV; JSON Lines when "
         "the name ends in .jsonl)"},
        {"--json", "One JSON object per run on standard output"},
        {"--quiet", "No progress, no final count and no statistics on the terminal"},
        {"assignments", "NAME=TEXT for every run"},
    };
    add_shared_options(app, o.shared, set);
    add_text_option(app, "--stats", o.stats,
                    "The statistics of the criteria (CSV; JSON when the name ends in .json)");
    add_text_option(app, "--jobs", o.jobs,
                    "Threads to compute on, 1 to 256 (default: the machine's cores)");
    add_text_option(app, "--curves", o.curves,
                    "Every step of every run: run,n,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio");
    add_text_option(app, "--files", o.files,
                    "Folder for run-00001.p-d (the classic result file) and run-00001.params");
}

SampleRequest read_sample_options(const SampleOptions& o, const InputFileReader& read_file) {
    SampleRequest r;
    r.options = o.shared;
    r.stats = o.stats;
    r.curves = o.curves;
    r.files = o.files;
    r.jobs = o.jobs.empty()
                 ? static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 256u))
                 : static_cast<int>(option_count(o.jobs, "--jobs", 1, 256));
    SampleDesign& design = r.design;
    design.runs = o.runs.empty() ? 1000 : option_count(o.runs, "--runs", 1, max_sample_runs);
    design.seed = o.seed.empty() ? 1
                                 : option_count(o.seed, "--seed", 0,
                                                std::numeric_limits<std::uint64_t>::max());
    if (!o.method.empty()) {
        try {
            design.method = parse_sample_method(o.method);
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--method: ") + e.what());
        }
    }

    // The sampled names first: a sampled matrix property changes what the
    // shared options must hold.
    std::vector<SweepTarget> targets;
    std::vector<std::string> per_run;
    try {
        for (const std::string& text : o.distributions) {
            SampledInput input = parse_sampled_input(text);
            const SweepTarget target = sweep_target(input.name, o.fibers.size());
            if (target.member == "model" || target.member == "orientation_weights") {
                throw std::invalid_argument(input.name +
                                            ": takes no distribution: it is a choice, "
                                            "not a number");
            }
            for (std::size_t b = 0; b < targets.size(); ++b) {
                if (targets[b].fiber == target.fiber && targets[b].member == target.member) {
                    throw std::invalid_argument(input.name + ": sampled twice" +
                                                (design.inputs[b].name == input.name
                                                     ? ""
                                                     : ", also as " + design.inputs[b].name));
                }
            }
            if (is_matrix_property(target.member)) per_run.push_back(target.member);
            design.inputs.push_back(std::move(input));
            targets.push_back(target);
        }
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--dist ") + e.what());
    }
    try {
        for (const std::string& text : o.correlations)
            design.correlations.push_back(parse_correlation(text));
        check_sample_design(design);
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--correlate ") + e.what());
    }

    SharedValues base;
    const bool mix = !o.fibers.empty();
    if (mix) base.inputs.model = 0;
    read_shared_options(o.shared, read_file, base, per_run);
    if (mix) {
        check_shared_names(base.inputs, base.inputs.model != 0, "the command line");
        for (const std::string& path : o.fibers)
            r.fibers.push_back(read_fiber_file(path, read_file));
        base.inputs.model = 1;
    }
    r.at = base.at;
    r.notes = ignored_character_notes(base.inputs);
    SweepSpec& study = r.study;
    study.base = mix ? shared_inputs_of(base.inputs.inputs()) : base.inputs.inputs();
    study.fibers = fiber_input_sets(r.fibers);
    study.zip = true;
    study.openings = base.openings;
    study.matrix = base.matrix;
    study.criteria = base.criteria;
    study.keep_laws = !o.files.empty();
    std::vector<std::vector<double>> values = draw_samples(design);
    for (std::size_t i = 0; i < design.inputs.size(); ++i) {
        study.axes.push_back({design.inputs[i].name, std::move(values[i])});
        study.targets.push_back(targets[i]);
    }
    finish_study_options(study, o.shared, !o.curves.empty(), base.plot.has_value());
    return r;
}

int run_sample_command(const SampleRequest& request) {
    StudyJob job;
    job.program = program;
    job.study = request.study;
    job.fibers = request.fibers;
    job.notes = request.notes;
    job.options = request.options;
    job.at = request.at;
    job.jobs = request.jobs;
    job.curves = request.curves;
    job.files = request.files;

    const SweepSpec& study = request.study;
    const MatrixProperties matrix = sweep_matrix(study);
    std::vector<std::string> names;
    for (const SweepAxis& axis : study.axes) names.push_back(axis.name);
    SampleTally tally(names, statistics_criteria(matrix), matrix.sigma_fc && matrix.J_tip,
                      matrix.sigma_fc && matrix.J_tip && study.criteria.psh_margins);
    LineFile stats;
    bool stats_written = false;

    StudyExtras extras;
    extras.outputs = {{"--stats", request.stats, {}}};
    extras.open = [&]() -> std::optional<std::string> {
        if (request.stats.empty()) return std::nullopt;
        if (const auto f = stats.open(request.stats)) {
            return "cannot create " + request.stats + ": " + f->description;
        }
        return std::nullopt;
    };
    extras.written = [&](const SweepRunResult& run) {
        if (run.refused()) return tally.add_refused();
        std::vector<double> inputs;
        for (std::size_t a = 0; a < study.axes.size(); ++a)
            inputs.push_back(study.axes[a].number(run.at[a]));
        tally.add(inputs, run.criteria);
    };
    // The statistics of the runs written, all of them or those before a stop.
    extras.finish = [&]() -> std::optional<std::string> {
        if (!stats.is_open()) return std::nullopt;
        const SampleStatistics s = tally.statistics();
        std::optional<FileFailure> f = stats.write_line(
            ends_with(request.stats, ".json") ? statistics_json(s) : statistics_csv(s));
        const std::optional<FileFailure> closing = stats.close();
        if (!f) f = closing;
        if (f) return "writing " + request.stats + " failed: " + f->description;
        stats_written = true;
        return std::nullopt;
    };
    extras.held = [&]() -> std::vector<std::string> {
        if (request.stats.empty()) return {};
        if (!stats_written) return {request.stats + " holds no statistics"};
        return {request.stats + " holds the statistics of " + std::to_string(tally.runs()) +
                (tally.runs() == 1 ? " run" : " runs")};
    };
    extras.report = [&](std::FILE* out) {
        std::fputs(statistics_text(tally.statistics()).c_str(), out);
    };
    return run_study(job, extras);
}

}  // namespace quarnel
