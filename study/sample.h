#pragma once

// Samples of inputs drawn from distributions, for probabilistic studies.
//
// The same design gives the same doubles on every machine and whatever
// later computes the runs: every uniform number comes from the raw 64 bits
// of std::mt19937_64 (whose output the C++ standard fixes) or of Boost's
// Sobol generator, made a double by unit_interval, and every value from it
// by the distribution's quantile from Boost.Math, computed in double (no
// promotion to long double, whose width differs between platforms). The
// whole sample is drawn at once, so that run i's values never depend on how
// runs are later split among threads or machines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarnel {

enum class DistributionKind { normal, lognormal, uniform, weibull, truncnormal };

// A distribution as given: normal:MEAN:SD, lognormal:MEAN:COV (the mean and
// coefficient of variation of the value itself), uniform:LOW:HIGH,
// weibull:SCALE:MODULUS, truncnormal:MEAN:SD:LOW:HIGH (a normal cut to
// [LOW, HIGH]).
struct Distribution {
    DistributionKind kind = DistributionKind::normal;
    std::vector<double> parameters;  // in the order of the text

    // The value at probability u, 0 < u < 1.
    double quantile(double u) const;
    // The probability of a value at most x.
    double cdf(double x) const;
    double mean() const;
    double standard_deviation() const;
};

// Reads "normal:0.02:0.002" and the others. Throws std::invalid_argument
// naming the rule: an unknown name, the wrong number of parameters, a
// parameter that is not a decimal number, an SD, COV, scale or modulus not
// above 0, a MEAN of lognormal not above 0, LOW not below HIGH, or a
// truncated normal whose interval holds no probability in double precision.
Distribution parse_distribution(const std::string& text);

// An input and its distribution, from NAME=DISTRIBUTION. The message of a
// refusal starts with the name ("Vf: normal takes MEAN:SD, ..."), so that a
// front end can put the option before it.
struct SampledInput {
    std::string name;
    Distribution distribution;
};
SampledInput parse_sampled_input(const std::string& argument);

// A correlation of two sampled inputs, from NAME1,NAME2=RHO, -1 < RHO < 1.
struct InputCorrelation {
    std::string first;
    std::string second;
    double rho = 0;
    std::string text;  // as given, for messages
};
InputCorrelation parse_correlation(const std::string& argument);

enum class SampleMethod {
    mc,     // independent draws from std::mt19937_64
    lhs,    // Latin hypercube: each input's runs take one of N equal strata each
    sobol,  // Boost's Sobol sequence with a seeded random digital shift
};
// "mc", "lhs" or "sobol"; throws std::invalid_argument otherwise.
SampleMethod parse_sample_method(const std::string& text);

inline constexpr std::size_t max_sample_runs = 1000000;

struct SampleDesign {
    std::vector<SampledInput> inputs;
    std::vector<InputCorrelation> correlations;  // a Gaussian copula's, on normal scores
    SampleMethod method = SampleMethod::mc;
    std::uint64_t seed = 1;
    std::size_t runs = 0;
};

// The double in (0, 1) of 64 random bits: ((bits >> 11) + 0.5) / 2^53, so
// that neither 0 nor 1 comes out and every result is exact.
double unit_interval(std::uint64_t bits);

// A whole number below n from a generator's raw bits, without bias (the
// standard library's distributions are implementation-defined).
template <typename Generator>
std::uint64_t uniform_index(Generator& generator, std::uint64_t n) {
    const std::uint64_t rejected = (0 - n) % n;  // 2^64 mod n: the draws that would bias
    for (;;) {
        const std::uint64_t x = generator();
        if (x >= rejected) return x % n;
    }
}

// The uniform numbers of a design before its distributions: [input][run].
std::vector<std::vector<double>> draw_uniforms(SampleMethod method, std::size_t inputs,
                                               std::size_t runs, std::uint64_t seed);

// The lower triangle L (row by row, L L^T = correlation) of a symmetric
// matrix of n * n, or the first row at which it is not positive definite.
struct CholeskyResult {
    std::vector<double> lower;
    std::size_t failed_row = 0;
    bool ok = true;
};
CholeskyResult cholesky(const std::vector<double>& matrix, std::size_t n);

// Checks the design without drawing: at least one input, no input named
// twice, runs from 1 to max_sample_runs, correlations naming sampled
// inputs, no pair twice or an input with itself, and a correlation matrix
// that is positive definite (else the message names the pair that makes it
// not so). Throws std::invalid_argument.
void check_sample_design(const SampleDesign& design);

// The sampled values, [input][run]. Throws as check_sample_design.
std::vector<std::vector<double>> draw_samples(const SampleDesign& design);

}  // namespace quarnel
