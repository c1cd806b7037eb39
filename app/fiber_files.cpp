#include "fiber_files.h"

namespace quarnel {

FiberFile read_fiber_file(const std::string& path, const InputFileReader& read_file) {
    InputFileText file = read_file(path);
    if (!file.text) throw UsageError("--fiber: " + file.error);
    FiberFile fiber;
    fiber.path = path;
    assign_params_text(path, std::move(*file.text), fiber.inputs);
    for (const auto& [member, name] : fiber.inputs.names) {
        if (is_shared_mix_input(member)) {
            throw UsageError(path + ": \"" + name +
                             "\" is shared by every fiber type of a mix; give it on the command "
                             "line or with --params");
        }
    }
    return fiber;
}

std::vector<InputSet> fiber_input_sets(const std::vector<FiberFile>& fibers) {
    std::vector<InputSet> sets;
    for (const FiberFile& f : fibers) sets.push_back(fiber_inputs_of(f.inputs.inputs()));
    return sets;
}

void check_shared_names(const InputTexts& shared, bool model_given, const std::string& where) {
    for (const auto& [member, name] : shared.names) {
        if (!is_shared_mix_input(member)) {
            throw UsageError(where + ": \"" + name +
                             "\" is an input of one fiber type; give it in its --fiber file");
        }
    }
    if (model_given) {
        throw UsageError(where +
                         ": \"model\" is an input of one fiber type; give it in its --fiber file");
    }
}

std::string mix_refusal_text(const std::vector<FiberFile>& fibers, const MixRefusal& r) {
    const std::string message = refusal_message(r.refusal, r.model);
    if (r.fiber == 0 || r.fiber > fibers.size() || r.refusal.member.empty() ||
        is_shared_mix_input(r.refusal.member)) {
        return message;
    }
    const FiberFile& f = fibers[r.fiber - 1];
    const auto given = f.inputs.names.find(r.refusal.member);
    const std::string name = given != f.inputs.names.end() ? given->second : r.refusal.member;
    return f.path + " (fiber " + std::to_string(r.fiber) + "), " + name + ": " + message;
}

}  // namespace quarnel
