#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace quarnel {

// Figures are drawn by quarnel-batch-plot, beside quarnel-batch: drawing
// needs Qt, and quarnel-batch stays static and free of it.

// Hands `quarnel-batch plot ARGS` to the plot program. Returns only when the
// program cannot be started.
int launch_plot(const std::vector<std::string>& args);

// A command's --plot: the figure is drawn from the files the command writes,
// those the user named or, for the others, files in a scratch folder that
// goes when the command ends; the plot program then draws them, as
// `quarnel-batch plot` draws the same files.
class FigureHandOff {
  public:
    explicit FigureHandOff(const PlotOptions& options) : options_(options) {}
    ~FigureHandOff();
    FigureHandOff(const FigureHandOff&) = delete;
    FigureHandOff& operator=(const FigureHandOff&) = delete;

    bool wanted() const { return !options_.plot.empty(); }
    // Makes the scratch folder; the message of a failure.
    std::optional<std::string> prepare();
    // The file to write for the figure: `given` when the user named one,
    // else `name` in the scratch folder.
    std::string file(const std::string& given, const std::string& name) const;

    // Draws the figure from `inputs` (files and options of the plot
    // program) and waits for it; exit_ok, or exit_file_error with the plot
    // program's message and `program`'s note on standard error.
    int draw(const std::string& program, const std::vector<std::string>& inputs) const;

  private:
    PlotOptions options_;
    std::string folder_;
};

}  // namespace quarnel
