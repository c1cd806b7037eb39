#include "fit_curves.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "study/law_run.h"

namespace quarnel::testing {

std::uint64_t TestNumbers::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double TestNumbers::uniform() {
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

ModelCurve model_curve(const InputSet& inputs, int points, double max_opening, double noise,
                       std::uint64_t seed) {
    TestNumbers numbers(seed);
    std::vector<double> openings;
    for (int i = 0; i < points - 1; ++i) {
        const double t = (i + 0.2 + 0.6 * numbers.uniform()) / (points - 1);
        openings.push_back(max_opening * t * t);
    }
    for (std::size_t i = openings.size(); i > 1; --i) {
        std::swap(openings[i - 1], openings[numbers.next() % i]);
    }
    openings.push_back(openings[openings.size() / 2]);
    std::vector<std::size_t> order(openings.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return openings[a] < openings[b]; });
    std::vector<double> sorted;
    for (const std::size_t i : order) sorted.push_back(openings[i]);
    const LawRun law = compute_law(inputs, sorted);
    if (law.refused()) throw std::invalid_argument("model_curve: refused inputs");
    ModelCurve curve;
    curve.openings = openings;
    curve.stresses.resize(openings.size());
    for (std::size_t s = 0; s < order.size(); ++s) curve.stresses[order[s]] = law.steps[s].sigma;
    for (double& y : curve.stresses) y *= 1 + noise * (2 * numbers.uniform() - 1);
    return curve;
}

ModelCurve with_added_noise(ModelCurve curve, double share, std::uint64_t seed) {
    double peak = 0;
    for (const double y : curve.stresses) peak = std::max(peak, y);
    TestNumbers numbers(seed);
    for (double& y : curve.stresses) {
        const double u = 1 - numbers.uniform();
        const double z =
            std::sqrt(-2 * std::log(u)) * std::cos(6.283185307179586 * numbers.uniform());
        y += share * peak * z;
    }
    return curve;
}

}  // namespace quarnel::testing
