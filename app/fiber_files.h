#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "study/fiber_mix.h"

namespace quarnel {

// One fiber type of a mix as its --fiber file gives it: NAME=TEXT lines as
// --params takes them, over the window's default texts.
struct FiberFile {
    std::string path;
    InputTexts inputs;
};

// Reads a fiber file. Throws UsageError for a file that cannot be read, a
// line it cannot take (naming the line), or a name the fiber types share
// (Am, crack_xy, crack_zx, division), each message naming the file.
FiberFile read_fiber_file(const std::string& path, const InputFileReader& read_file);

// The types' inputs as compute_mix takes them, in order.
std::vector<InputSet> fiber_input_sets(const std::vector<FiberFile>& fibers);

// Refuses shared inputs that hold an input of a fiber type (a name given on
// the command line or in --params, or a model); `where` names their source.
void check_shared_names(const InputTexts& shared, bool model_given, const std::string& where);

// A mix's refusal as the user reads it: a type's names its file and the
// field; one of a shared input or of the openings names only the field.
std::string mix_refusal_text(const std::vector<FiberFile>& fibers, const MixRefusal& refusal);

}  // namespace quarnel
