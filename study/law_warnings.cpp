#include "law_warnings.h"

#include <cmath>
#include <optional>
#include <stdexcept>

#include "engine/input_checks.h"
#include "engine/input_table.h"
#include "engine/orientation_check.h"

namespace quarnel {

namespace {

std::optional<CalculationInputs> read_law(const InputSet& inputs) {
    try {
        return read_calculation_inputs(with_default_texts(inputs));
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

}  // namespace

std::vector<std::string> law_warnings(const InputSet& inputs) {
    const std::optional<CalculationInputs> in = read_law(inputs);
    // "Division" is left unchecked: a mix computes most types at openings
    // given by another, and the warnings do not depend on it.
    if (!in || check_calculation_inputs(*in, OpeningScheme::given)) return {};
    return orientation_weight_warnings(*in);
}

double law_orientation_weight_error(const InputSet& inputs) {
    const std::optional<CalculationInputs> in = read_law(inputs);
    return in ? orientation_weight_error(*in) : std::nan("");
}

double mix_orientation_weight_error(const std::vector<InputSet>& fibers, const InputSet& shared) {
    double largest = 0;
    for (InputSet fiber : fibers) {
        fiber.insert(shared.begin(), shared.end());
        const double error = law_orientation_weight_error(fiber);
        if (std::isnan(error)) return error;
        if (error > largest) largest = error;
    }
    return largest;
}

}  // namespace quarnel
