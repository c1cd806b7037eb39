// quarnel-batch: the single run by default, and the subcommands sweep,
// sample, mix, fit (which runs in quarnel-batch-fit beside it) and plot
// (which runs in quarnel-batch-plot).

#include <CLI/CLI.hpp>

#include <iostream>
#include <sstream>

#include "app/batch_command.h"
#include "app/fit_launcher.h"
#include "app/mix_command.h"
#include "app/plot_launcher.h"
#include "app/sample_command.h"
#include "app/sweep_command.h"

namespace {

using namespace quarnel;

// The single run's options given together with a subcommand, which would be
// lost: the first one's name.
std::string stray_option(const CLI::App& app) {
    for (const CLI::Option* option : app.get_options()) {
        if (option->count() > 0 && option->get_name() != "--help") return option->get_name();
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = program_arguments(argc, argv);
    CLI::App app{"", "quarnel-batch"};
    BatchOptions single;
    setup_batch_command(app, single);
    CLI::App* sweep_app =
        app.add_subcommand("sweep", "The law for every combination of varied inputs, in parallel");
    SweepOptions sweep;
    setup_sweep_command(*sweep_app, sweep);
    CLI::App* sample_app = app.add_subcommand(
        "sample", "The law for every run of a sample of inputs drawn from distributions");
    SampleOptions sample;
    setup_sample_command(*sample_app, sample);
    CLI::App* mix_app = app.add_subcommand("mix", "The law of a hybrid mix of fiber types");
    MixOptions mix;
    setup_mix_command(*mix_app, mix);
    CLI::App* fit_app =
        app.add_subcommand("fit", "Fit inputs to a measured bridging curve (see fit --help)");
    // Its arguments go to quarnel-batch-fit as they stand, --help among them.
    fit_app->prefix_command();
    fit_app->set_help_flag();
    CLI::App* plot_app = app.add_subcommand(
        "plot", "Draw a figure from the files a command wrote (see plot --help)");
    plot_app->prefix_command();
    plot_app->set_help_flag();

    std::string program = "quarnel-batch: ";
    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::Error& e) {
        if (sweep_app->parsed()) program = "quarnel-batch sweep: ";
        if (sample_app->parsed()) program = "quarnel-batch sample: ";
        if (mix_app->parsed()) program = "quarnel-batch mix: ";
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(e, out, err);
        const std::string error = err.str();
        return finish_command(
            {code == 0 ? exit_ok : exit_usage, out.str(), error.empty() ? "" : program + error},
            program);
    }
    if (fit_app->parsed()) {
        if (const std::string stray = stray_option(app); !stray.empty()) {
            std::cerr << "quarnel-batch: " << stray << " belongs after the subcommand's name\n";
            return exit_usage;
        }
        return launch_fit(fit_app->remaining());
    }
    if (plot_app->parsed()) {
        if (const std::string stray = stray_option(app); !stray.empty()) {
            std::cerr << "quarnel-batch: " << stray << " belongs after the subcommand's name\n";
            return exit_usage;
        }
        return launch_plot(plot_app->remaining());
    }
    try {
        if (sweep_app->parsed() || sample_app->parsed() || mix_app->parsed()) {
            program = sweep_app->parsed()    ? "quarnel-batch sweep: "
                      : sample_app->parsed() ? "quarnel-batch sample: "
                                             : "quarnel-batch mix: ";
            if (const std::string stray = stray_option(app); !stray.empty()) {
                throw UsageError(stray + " belongs after the subcommand's name");
            }
            if (sweep_app->parsed())
                return run_sweep_command(read_sweep_options(sweep, read_input_file));
            if (sample_app->parsed())
                return run_sample_command(read_sample_options(sample, read_input_file));
            return run_mix_command(read_mix_options(mix, read_input_file));
        }
        return run_batch_command(read_batch_options(single, read_input_file));
    } catch (const UsageError& e) {
        std::cerr << program << e.what() << "\n";
        return exit_usage;
    }
}
