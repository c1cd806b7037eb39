#pragma once

#include <string>
#include <variant>
#include <vector>

#include "app/batch_command.h"
#include "study/criteria.h"
#include "study/fiber_mix.h"

namespace quarnel {

// One fiber type of a mix as its --fiber file gives it: NAME=TEXT lines as
// --params takes them, over the window's default texts.
struct FiberFile {
    std::string path;
    BatchRequest request;  // texts by member, the model, the names the file set
    // The type's inputs: every fiber input by member, and its model.
    InputSet inputs() const;
};

// Reads a fiber file. Throws BatchUsageError for a file that cannot be read,
// a line it cannot take (naming the line), or a name the fiber types share
// (Am, crack_xy, crack_zx, division), each message naming the file.
FiberFile read_fiber_file(const std::string& path,
                          const ParamsFileReader& read_file = read_params_file);

// What a `quarnel-batch mix` command line asks for.
struct MixRequest {
    std::vector<FiberFile> fibers;  // in the order of their --fiber options
    // The shared inputs (over the window's defaults), the openings, the CSV,
    // --json, --at and --quiet.
    BatchRequest shared;
    std::string summary;  // empty: no summary
    std::string files;    // folder of the types' result files; empty: none
    MatrixProperties matrix;
    // Am, crack_xy, crack_zx and division by member.
    InputSet shared_inputs() const;
};

// Reads the arguments that follow "mix". The help ends with status 0; a
// usage error, a fiber input among the shared ones (on the command line or in
// --params) or a shared input in a fiber file, with status 2.
std::variant<MixRequest, BatchParseEnd> parse_mix_request(
    const std::vector<std::string>& args, const ParamsFileReader& read_file = read_params_file);

// The name of type i's result file (from 1) in the --files folder:
// fiber-1.p-d, fiber-2.p-d, ...
std::string fiber_result_file_name(std::size_t fiber);

// A mix's refusal as the user reads it: a type's names its file and the
// field; one of a shared input or of the openings names only the field.
std::string mix_refusal_text(const MixRequest& request, const MixRefusal& refusal);

}  // namespace quarnel
