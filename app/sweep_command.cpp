#include "sweep_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>
#include <thread>

#include "app/study_runner.h"
#include "study/run_table.h"

namespace quarnel {

namespace {

constexpr const char* program = "quarnel-batch sweep: ";

std::string help_footer() {
    return "\nNAME is any input name of quarnel-batch (see quarnel-batch --help), model,\n"
           "division, weibull_m and orientation_weights (classic,exact) included. VALUES\n"
           "is v1,v2,... "
           "(field texts), start:stop:count (evenly spaced, both ends included) or\n"
           "start:stop:count:log (geometric, ends above 0).\n"
           "Several --vary give every combination, the first varying slowest.\n"
           "--runs FILE instead gives one run per row of a CSV whose header names the\n"
           "inputs (fiberN.NAME for a type of a mix, sigma_fc and J_tip for the matrix).\n"
           "\nExit status:\n"
           "  0    every run was computed and every output written\n"
           "  2    usage error; nothing is written\n"
           "  3    an output failed; standard error says what each file holds\n"
           "  4    some runs were refused (their rows say why); the others were computed\n" +
           shared_exit_status_help();
}

}  // namespace

void setup_sweep_command(CLI::App& app, SweepOptions& o) {
    describe_command(
        app, "Computes the bridging law for every combination of varied inputs, in parallel.",
        help_footer());
    add_repeated_option(app, "--fiber", o.fibers,
                        "A fiber type's NAME=TEXT file (repeatable): sweep over mixes of the "
                        "types, varying a type's inputs as fiberN.NAME",
                        false);
    add_repeated_option(app, "--vary", o.varied,
                        "NAME=VALUES: an input and its values (repeatable)", false);
    add_text_option(app, "--runs", o.runs,
                    "CSV of one run per row, its header naming the inputs (instead of --vary)");
    SharedOptionSet set;
    set.csv = false;
    set.help = {
        {"--summary",
         "One row per run: varied values, status, message and criteria (CSV; JSON Lines when "
         "the name ends in .jsonl)"},
        {"--json", "One JSON object per run on standard output"},
        {"--quiet", "No progress"},
        {"assignments", "NAME=TEXT for every run"},
    };
    add_shared_options(app, o.shared, set);
    app.add_flag("--zip", o.zip, "Pair the i-th values of every --vary instead of combining");
    add_text_option(app, "--jobs", o.jobs,
                    "Threads to compute on, 1 to 256 (default: the machine's cores)");
    add_text_option(app, "--curves", o.curves,
                    "Every step of every run: run,n,Wcr_mm,P_N,sigma_MPa,effective_fiber_ratio");
    add_text_option(app, "--files", o.files,
                    "Folder for run-00001.p-d (the classic result file) and run-00001.params");
}

SweepRequest read_sweep_options(const SweepOptions& o, const InputFileReader& read_file) {
    SweepRequest r;
    r.options = o.shared;
    r.curves = o.curves;
    r.files = o.files;
    r.jobs = o.jobs.empty()
                 ? static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 256u))
                 : static_cast<int>(option_count(o.jobs, "--jobs", 1, 256));
    // The table first: the matrix properties it gives each run change what
    // the shared options must hold.
    std::optional<RunTable> table;
    std::vector<std::string> per_run;
    if (!o.runs.empty()) {
        if (!o.varied.empty()) throw UsageError("--runs and --vary exclude each other");
        InputFileText file = read_file(o.runs);
        if (!file.text) throw UsageError("--runs: " + file.error);
        try {
            table = read_run_table(*file.text, o.runs, o.fibers.size());
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--runs: ") + e.what());
        }
        for (const SweepTarget& t : table->targets) per_run.push_back(t.member);
    } else if (o.varied.empty()) {
        throw UsageError("give the inputs to vary with --vary NAME=VALUES or --runs FILE");
    }
    for (const std::string& v : o.varied) {
        const std::string name = v.substr(0, v.find('='));
        for (const char* property : {"sigma_fc", "J_tip"}) {
            if (name.find(property) != std::string::npos) per_run.push_back(property);
        }
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
    SweepSpec& spec = r.spec;
    spec.base = mix ? shared_inputs_of(base.inputs.inputs()) : base.inputs.inputs();
    spec.fibers = fiber_input_sets(r.fibers);
    spec.zip = o.zip;
    spec.openings = base.openings;
    spec.matrix = base.matrix;
    spec.criteria = base.criteria;
    spec.keep_laws = !o.files.empty();
    if (table) {
        spec.axes = std::move(table->axes);
        spec.targets = std::move(table->targets);
        spec.zip = true;
        for (std::string& note : table->notes) r.notes.push_back(std::move(note));
        r.inputs.push_back({"the file of --runs", o.runs, {}});
    }
    try {
        for (const std::string& v : o.varied) {
            SweepVaried varied = parse_varied_input(v, r.fibers.size());
            // Its texts are words, not numbers read in part.
            if (varied.target.member != "orientation_weights") {
                for (std::string& note : axis_notes(varied.axis)) r.notes.push_back(note);
            }
            spec.axes.push_back(std::move(varied.axis));
            spec.targets.push_back(std::move(varied.target));
        }
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--vary ") + e.what());
    }
    finish_study_options(spec, o.shared, !o.curves.empty(), base.plot.has_value());
    return r;
}

int run_sweep_command(const SweepRequest& request) {
    StudyJob job;
    job.program = program;
    job.study = request.spec;
    job.fibers = request.fibers;
    job.notes = request.notes;
    job.inputs = request.inputs;
    job.options = request.options;
    job.at = request.at;
    job.jobs = request.jobs;
    job.curves = request.curves;
    job.files = request.files;
    return run_study(job);
}

}  // namespace quarnel
