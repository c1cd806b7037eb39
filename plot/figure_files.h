#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plot/figure.h"

namespace quarnel {

// A CSV file as the commands write it: a header row, then rows of cells
// (quoted cells may hold commas, quotes and line feeds).
struct CsvTable {
    std::string path;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    std::vector<int> lines;  // each row's line in the file, from 1

    // The column's position; -1 when there is none.
    int column(const std::string& name) const;
};

// Throws std::invalid_argument naming the file and the line.
CsvTable parse_csv(const std::string& path, const std::string& text);

// What a command's file holds, told by its header.
enum class FileKind {
    steps,          // a single run's --csv
    mix_steps,      // a mix's --csv
    curves,         // a sweep's --curves
    sweep_summary,  // a sweep's --summary
    fit_points,     // a fit's --csv
    fit_summary,    // a fit's --summary
    law_summary,    // a single run's or a mix's --summary
};
std::optional<FileKind> file_kind(const CsvTable& table);

// The files a figure is drawn from, each kind at most once, and a parameter
// file (--save-params) for the title.
struct FigureSources {
    std::map<FileKind, CsvTable> tables;
    std::map<std::string, std::string> params;  // NAME=TEXT
};

// NAME=TEXT lines, # comment lines and blank lines skipped; throws
// std::invalid_argument naming the line.
std::map<std::string, std::string> parse_params(const std::string& path, const std::string& text);

enum class FigureKind { law, sweep, map, fit, mix };
std::optional<FigureKind> figure_kind_named(const std::string& name);
const char* figure_kind_name(FigureKind kind);

// The kind the files call for: a sweep's summary over two varied names with
// both indices gives a map, with curves a family of curves; a fit's points a
// fit; a mix's steps a mix; a run's steps a law. Throws std::invalid_argument
// saying what is missing.
FigureKind default_figure_kind(const FigureSources& sources);

// What the command line adds to the files.
struct FigureExtras {
    std::optional<double> sigma_fc;
    std::optional<double> J_tip;
    std::optional<std::pair<double, double>> margins;
};

// The figure of that kind from the files; throws std::invalid_argument
// naming the file, the line or the column at fault.
Figure figure_from_files(FigureKind kind, const FigureSources& sources, const FigureExtras& extras);

// A law's title line: the model and the main inputs, from field texts by
// member name ("model" 1 or 2).
std::string law_title(const std::map<std::string, std::string>& texts);

}  // namespace quarnel
