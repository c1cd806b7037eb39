#pragma once

#include <cstdint>
#include <vector>

#include "engine/calculation_inputs.h"

namespace quarnel::testing {

// Numbers from a seed, the same on every platform (SplitMix64).
class TestNumbers {
  public:
    explicit TestNumbers(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform();  // [0, 1)

  private:
    std::uint64_t state_;
};

// A curve made by the model: the law of `inputs` at `points` uneven openings
// up to about `max_opening` mm (denser at small openings, in a shuffled
// order, the last one repeating an earlier opening), each stress multiplied
// by a factor drawn uniformly from [1 - noise, 1 + noise].
struct ModelCurve {
    std::vector<double> openings;
    std::vector<double> stresses;
};
ModelCurve model_curve(const InputSet& inputs, int points, double max_opening, double noise,
                       std::uint64_t seed);

// The curve with a normal noise of deviation `share` of its peak stress
// added to each stress (Box-Muller from `seed`), as a lab's curve scatters.
ModelCurve with_added_noise(ModelCurve curve, double share, std::uint64_t seed);

}  // namespace quarnel::testing
