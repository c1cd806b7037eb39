#include "plot_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <stdexcept>

#include "app/command_line.h"
#include "app/process_guard.h"
#include "plot/figure.h"
#include "plot/figure_files.h"

namespace quarnel {

namespace {

constexpr const char* program = "quarnel-batch plot: ";

struct PlotCommandOptions {
    std::vector<std::string> files;
    std::string kind;
    std::string params;
    std::string sigma_fc;
    std::string J_tip;
    std::string psh_margins;
    PlotOptions plot;
    bool quiet = false;
};

std::string help_footer() {
    return "\nFILE is a file a command wrote; its header says which:\n"
           "  a run's --csv              a law: stress and effective fiber ratio, the peak\n"
           "                             marked; --sigma-fc draws the first-cracking strength,\n"
           "                             --J-tip shades J'b\n"
           "  a sweep's --curves         one curve per run; with the sweep's --summary beside\n"
           "                             it, the legend names the varied values\n"
           "  a sweep's --summary        over two varied names with psh_strength and\n"
           "                             psh_energy: the strain-hardening map (isolines at 1\n"
           "                             and at --psh-margins)\n"
           "  a fit's --csv              the measured points, the fitted law and residuals;\n"
           "                             the fit's --summary adds the values and intervals\n"
           "  a mix's --csv              the mix's law and each type's share\n"
           "--params names the run's inputs (a --save-params file) for the title line.\n"
           "\nExit status:\n"
           "  0    the figure was drawn\n"
           "  2    usage error, or files that cannot be read or that give no figure of the\n"
           "       kind; nothing is written\n"
           "  3    the figure could not be written\n";
}

void setup(CLI::App& app, PlotCommandOptions& o) {
    describe_command(app, "Draws a figure from the files quarnel-batch wrote, as --plot draws it.",
                     help_footer());
    refuse_empty(app.add_option("files", o.files, "The command's files")->required());
    add_text_option(app, "--kind", o.kind,
                    "law, sweep, map, fit or mix (default: what the files call for)");
    add_text_option(app, "--params", o.params,
                    "The run's NAME=TEXT file, for the title line (the model and main inputs)");
    add_text_option(app, "--sigma-fc", o.sigma_fc,
                    "First-cracking strength of the matrix (MPa): a law's line");
    add_text_option(app, "--J-tip", o.J_tip,
                    "Crack-tip toughness of the matrix (J/m2): a law's J'b shaded");
    add_text_option(app, "--psh-margins", o.psh_margins, "S,E: a map's isolines at the margins");
    add_plot_options(app, o.plot, true);
    app.add_flag("--quiet", o.quiet, "Say nothing when the figure is drawn");
}

FigureSources read_sources(const PlotCommandOptions& o) {
    FigureSources sources;
    for (const std::string& path : o.files) {
        InputFileText file = read_input_file(path);
        if (!file.text) throw UsageError(file.error);
        CsvTable table;
        try {
            table = parse_csv(path, *file.text);
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }
        const std::optional<FileKind> kind = file_kind(table);
        if (!kind) {
            throw UsageError(path +
                             ": its header is none of a file the commands write (a run's or a "
                             "mix's --csv, a sweep's --curves or --summary, a fit's --csv or "
                             "--summary)");
        }
        if (sources.tables.count(*kind)) {
            throw UsageError(path + ": two files of one kind (" + sources.tables.at(*kind).path +
                             " is the other)");
        }
        sources.tables.emplace(*kind, std::move(table));
    }
    if (!o.params.empty()) {
        InputFileText file = read_input_file(o.params);
        if (!file.text) throw UsageError("--params: " + file.error);
        try {
            sources.params = parse_params(o.params, *file.text);
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }
    }
    return sources;
}

int run(const PlotCommandOptions& o) {
    SharedOptions shared;
    shared.sigma_fc = o.sigma_fc;
    shared.J_tip = o.J_tip;
    shared.plot = o.plot;
    SharedValues values;
    read_shared_options(shared, read_input_file, values);
    FigureExtras extras;
    extras.sigma_fc = values.matrix.sigma_fc;
    extras.J_tip = values.matrix.J_tip;
    if (!o.psh_margins.empty()) {
        const PshMargins m = read_psh_margins(o.psh_margins);
        extras.margins = std::pair{m.strength, m.energy};
    }
    std::optional<FigureKind> kind;
    if (!o.kind.empty()) {
        kind = figure_kind_named(o.kind);
        if (!kind) {
            throw UsageError("--kind must be law, sweep, map, fit or mix, not " + quoted(o.kind));
        }
    }
    const FigureSources sources = read_sources(o);
    Figure figure;
    try {
        figure = figure_from_files(kind ? *kind : default_figure_kind(sources), sources, extras);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
    const PlotValues& plot = *values.plot;
    PlotSettings settings;
    settings.width_mm = plot.width_mm;
    settings.height_mm = plot.height_mm;
    settings.dpi = plot.dpi;
    settings.title = plot.title;
    if (const auto failure = write_figure(plot.path, figure, settings)) {
        std::cerr << program << *failure << "\n";
        return exit_file_error;
    }
    if (!o.quiet) std::cout << "Drew " << plot.path << ".\n";
    if (!standard_output_flushed(program)) return exit_file_error;
    return exit_ok;
}

}  // namespace

int plot_command_main(const std::vector<std::string>& args) {
    CLI::App app{"", "quarnel-batch plot"};
    PlotCommandOptions options;
    setup(app, options);
    if (auto end = parse_command_line(app, args, program)) return finish_command(*end, program);
    try {
        return run(options);
    } catch (const UsageError& e) {
        std::cerr << program << e.what() << "\n";
        return exit_usage;
    }
}

}  // namespace quarnel
