// Fuzz target: the batch command's reading of its arguments and of a
// parameter file, without running the calculation.
//
// The input is the arguments separated by NUL bytes; after the first pair of
// NUL bytes, the rest is the text of the parameter file that --params names.

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "app/batch_command.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find(std::string(2, '\0'));
    const std::string arguments = input.substr(0, split);
    const std::string params = split == std::string::npos ? "" : input.substr(split + 2);

    std::vector<std::string> args;
    std::size_t start = 0;
    while (start <= arguments.size() && !arguments.empty()) {
        const std::size_t end = arguments.find('\0', start);
        args.push_back(arguments.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }

    const auto read_params = [&params](const std::string&) {
        return quarnel::ParamsFileText{params, ""};
    };
    const auto parsed = quarnel::parse_batch_request(args, read_params);
    if (const auto* request = std::get_if<quarnel::BatchRequest>(&parsed)) {
        const quarnel::InputTexts& inputs = request->values.inputs;
        if (inputs.model != 1 && inputs.model != 2) __builtin_trap();
        for (const auto& [field, name] : inputs.names) {
            if (inputs.texts.count(field) == 0) __builtin_trap();
        }
        (void)quarnel::ignored_character_notes(inputs);
    } else {
        const auto& end = std::get<quarnel::BatchParseEnd>(parsed);
        if (end.status != quarnel::exit_ok && end.status != quarnel::exit_usage) __builtin_trap();
        if (end.status == quarnel::exit_usage && end.error.empty()) __builtin_trap();
    }
    return 0;
}
