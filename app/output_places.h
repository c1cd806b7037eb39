#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quarnel {

// A file a command writes or reads, named for messages ("--csv", "the
// result file"). A folder of outputs names the files it writes in it through
// `holds` (a file name within the folder); for a file, `holds` is empty.
struct Place {
    std::string what;
    std::string path;
    std::function<bool(const std::string& name)> holds;
};

// Whether two names denote one file: by identity where both exist, by their
// normalised absolute paths otherwise. Devices such as /dev/null take any
// number of writers.
bool same_file(const std::string& a, const std::string& b);

// Whether standard output is the file `path` names.
bool is_standard_output(const std::string& path);

// Why the outputs cannot be written as given, or none: two outputs naming one
// file, an output naming an input, standard output being an output's or an
// input's file, or a file inside a folder of outputs that the folder writes
// too. Empty paths are left out.
std::optional<std::string> output_place_fault(const std::vector<Place>& outputs,
                                              const std::vector<Place>& inputs);

// Creates a folder of outputs (and its parents); why it cannot be, or none.
// Called before any output file is created, so that a folder that cannot be
// made leaves every other output untouched.
std::optional<std::string> make_output_folder(const std::string& path);

}  // namespace quarnel
