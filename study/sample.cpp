#include "sample.h"

#include <boost/math/distributions/lognormal.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/uniform.hpp>
#include <boost/math/distributions/weibull.hpp>
#include <boost/random/sobol.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <stdexcept>

#include "engine/text_to_number.h"
#include "study/list_text.h"
#include "study/measured_curve.h"

namespace quarnel {

namespace {

// In double throughout: the default promotes to long double, whose width
// (and so whose last bits) differs from one platform to another.
using Policy = boost::math::policies::policy<boost::math::policies::promote_float<false>,
                                             boost::math::policies::promote_double<false>>;
using Normal = boost::math::normal_distribution<double, Policy>;
using Lognormal = boost::math::lognormal_distribution<double, Policy>;
using Uniform = boost::math::uniform_distribution<double, Policy>;
using Weibull = boost::math::weibull_distribution<double, Policy>;

struct KindInfo {
    const char* name;
    DistributionKind kind;
    const char* parameters;
    std::size_t count;
};

constexpr KindInfo kinds[] = {
    {"normal", DistributionKind::normal, "MEAN:SD", 2},
    {"lognormal", DistributionKind::lognormal, "MEAN:COV", 2},
    {"uniform", DistributionKind::uniform, "LOW:HIGH", 2},
    {"weibull", DistributionKind::weibull, "SCALE:MODULUS", 2},
    {"truncnormal", DistributionKind::truncnormal, "MEAN:SD:LOW:HIGH", 4},
};

// The location and scale of the logarithm of a value of mean m and
// coefficient of variation v.
Lognormal lognormal_of(double m, double v) {
    const double s2 = std::log1p(v * v);
    return Lognormal(std::log(m) - s2 / 2, std::sqrt(s2));
}

// A truncated normal's bounds as standard scores, and the probabilities the
// cut leaves: from the upper tail when the interval lies above the mean, so
// that an interval far in a tail keeps its digits.
struct Truncation {
    double a = 0;
    double b = 0;
    bool upper = false;
    double p_a = 0;  // cdf(a), or with `upper` the complement at a
    double p_b = 0;  // cdf(b), or with `upper` the complement at b
};

Truncation truncation(const std::vector<double>& p) {
    const Normal standard;
    Truncation t;
    t.a = (p[2] - p[0]) / p[1];
    t.b = (p[3] - p[0]) / p[1];
    t.upper = t.a > 0;
    if (t.upper) {
        t.p_a = boost::math::cdf(complement(standard, t.a));
        t.p_b = boost::math::cdf(complement(standard, t.b));
    } else {
        t.p_a = boost::math::cdf(standard, t.a);
        t.p_b = boost::math::cdf(standard, t.b);
    }
    return t;
}

}  // namespace

double Distribution::quantile(double u) const {
    const std::vector<double>& p = parameters;
    switch (kind) {
        case DistributionKind::normal:
            return boost::math::quantile(Normal(p[0], p[1]), u);
        case DistributionKind::lognormal:
            return boost::math::quantile(lognormal_of(p[0], p[1]), u);
        case DistributionKind::uniform:
            return boost::math::quantile(Uniform(p[0], p[1]), u);
        case DistributionKind::weibull:
            return boost::math::quantile(Weibull(p[1], p[0]), u);
        case DistributionKind::truncnormal: {
            const Normal standard;
            const Truncation t = truncation(p);
            double z;
            if (t.upper) {
                z = boost::math::quantile(complement(standard, t.p_a - u * (t.p_a - t.p_b)));
            } else {
                z = boost::math::quantile(standard, t.p_a + u * (t.p_b - t.p_a));
            }
            // Rounding must not carry a value past a bound.
            return std::clamp(p[0] + p[1] * z, p[2], p[3]);
        }
    }
    return 0;
}

double Distribution::cdf(double x) const {
    const std::vector<double>& p = parameters;
    switch (kind) {
        case DistributionKind::normal:
            return boost::math::cdf(Normal(p[0], p[1]), x);
        case DistributionKind::lognormal:
            return x <= 0 ? 0 : boost::math::cdf(lognormal_of(p[0], p[1]), x);
        case DistributionKind::uniform:
            return boost::math::cdf(Uniform(p[0], p[1]), std::clamp(x, p[0], p[1]));
        case DistributionKind::weibull:
            return x <= 0 ? 0 : boost::math::cdf(Weibull(p[1], p[0]), x);
        case DistributionKind::truncnormal: {
            if (x <= p[2]) return 0;
            if (x >= p[3]) return 1;
            const Normal standard;
            const Truncation t = truncation(p);
            const double z = (x - p[0]) / p[1];
            if (t.upper)
                return (t.p_a - boost::math::cdf(complement(standard, z))) / (t.p_a - t.p_b);
            return (boost::math::cdf(standard, z) - t.p_a) / (t.p_b - t.p_a);
        }
    }
    return 0;
}

double Distribution::mean() const {
    const std::vector<double>& p = parameters;
    switch (kind) {
        case DistributionKind::normal:
        case DistributionKind::lognormal:
            return p[0];
        case DistributionKind::uniform:
            return (p[0] + p[1]) / 2;
        case DistributionKind::weibull:
            return boost::math::mean(Weibull(p[1], p[0]));
        case DistributionKind::truncnormal: {
            const Normal standard;
            const Truncation t = truncation(p);
            const double mass = t.upper ? t.p_a - t.p_b : t.p_b - t.p_a;
            return p[0] + p[1] *
                              (boost::math::pdf(standard, t.a) - boost::math::pdf(standard, t.b)) /
                              mass;
        }
    }
    return 0;
}

double Distribution::standard_deviation() const {
    const std::vector<double>& p = parameters;
    switch (kind) {
        case DistributionKind::normal:
            return p[1];
        case DistributionKind::lognormal:
            return p[0] * p[1];
        case DistributionKind::uniform:
            return (p[1] - p[0]) / std::sqrt(12.0);
        case DistributionKind::weibull:
            return boost::math::standard_deviation(Weibull(p[1], p[0]));
        case DistributionKind::truncnormal: {
            const Normal standard;
            const Truncation t = truncation(p);
            const double mass = t.upper ? t.p_a - t.p_b : t.p_b - t.p_a;
            const double da = boost::math::pdf(standard, t.a);
            const double db = boost::math::pdf(standard, t.b);
            // The bounds' scores times their densities; an infinite score has none.
            const double ta = std::isfinite(t.a) ? t.a * da : 0;
            const double tb = std::isfinite(t.b) ? t.b * db : 0;
            const double shift = (da - db) / mass;
            return p[1] * std::sqrt(1 + (ta - tb) / mass - shift * shift);
        }
    }
    return 0;
}

Distribution parse_distribution(const std::string& text) {
    const std::vector<std::string> parts = split(text, ':');
    const KindInfo* info = nullptr;
    for (const KindInfo& k : kinds) {
        if (parts[0] == k.name) info = &k;
    }
    if (!info) {
        throw std::invalid_argument(
            "\"" + parts[0] +
            "\" is not a distribution: normal:MEAN:SD, lognormal:MEAN:COV, uniform:LOW:HIGH, "
            "weibull:SCALE:MODULUS or truncnormal:MEAN:SD:LOW:HIGH");
    }
    const std::string form = std::string(info->name) + ":" + info->parameters;
    if (parts.size() != info->count + 1) {
        throw std::invalid_argument(std::string(info->name) + " takes " + form + ", not \"" + text +
                                    "\"");
    }
    const std::vector<std::string> names = split(info->parameters, ':');
    Distribution d;
    d.kind = info->kind;
    for (std::size_t i = 0; i < info->count; ++i) {
        const std::optional<double> value = read_decimal_number(parts[i + 1]);
        if (!value || !std::isfinite(*value)) {
            throw std::invalid_argument(form + ": " + names[i] + " \"" + parts[i + 1] +
                                        "\" is not a finite decimal number");
        }
        d.parameters.push_back(*value);
    }
    const std::vector<double>& p = d.parameters;
    const auto above_zero = [&](std::size_t i) {
        if (!(p[i] > 0)) throw std::invalid_argument(form + ": " + names[i] + " must be above 0");
    };
    switch (d.kind) {
        case DistributionKind::normal:
            above_zero(1);
            break;
        case DistributionKind::lognormal:
            above_zero(0);
            above_zero(1);
            break;
        case DistributionKind::uniform:
            if (!(p[0] < p[1])) throw std::invalid_argument(form + ": LOW must be below HIGH");
            break;
        case DistributionKind::weibull:
            above_zero(0);
            above_zero(1);
            break;
        case DistributionKind::truncnormal: {
            above_zero(1);
            if (!(p[2] < p[3])) throw std::invalid_argument(form + ": LOW must be below HIGH");
            const Truncation t = truncation(p);
            const double mass = t.upper ? t.p_a - t.p_b : t.p_b - t.p_a;
            if (!(mass > 0) || !std::isfinite(t.a) || !std::isfinite(t.b)) {
                throw std::invalid_argument(form +
                                            ": [LOW, HIGH] holds no probability of the "
                                            "normal distribution in double precision");
            }
            break;
        }
    }
    // The derived parameters must be numbers too (a vast COV, scale or mean).
    if (!std::isfinite(d.mean()) || !std::isfinite(d.standard_deviation())) {
        throw std::invalid_argument(form + ": its mean or standard deviation is not finite");
    }
    return d;
}

SampledInput parse_sampled_input(const std::string& argument) {
    const auto eq = argument.find('=');
    if (eq == std::string::npos) {
        throw std::invalid_argument("\"" + argument + "\" is not NAME=DISTRIBUTION");
    }
    SampledInput input;
    input.name = trimmed(argument.substr(0, eq));
    if (input.name.empty()) {
        throw std::invalid_argument("\"" + argument + "\" names no input before the \"=\"");
    }
    try {
        input.distribution = parse_distribution(trimmed(argument.substr(eq + 1)));
    } catch (const std::invalid_argument& e) {
        throw std::invalid_argument(input.name + ": " + e.what());
    }
    return input;
}

InputCorrelation parse_correlation(const std::string& argument) {
    InputCorrelation c;
    c.text = argument;
    const auto eq = argument.find('=');
    const std::vector<std::string> names =
        split(argument.substr(0, eq == std::string::npos ? 0 : eq), ',');
    if (eq == std::string::npos || names.size() != 2 || names[0].empty() || names[1].empty()) {
        throw std::invalid_argument("\"" + argument + "\" is not NAME1,NAME2=RHO");
    }
    c.first = names[0];
    c.second = names[1];
    const std::string rho = trimmed(argument.substr(eq + 1));
    const std::optional<double> value = read_decimal_number(rho);
    if (!value || !(*value > -1 && *value < 1)) {
        throw std::invalid_argument(c.first + "," + c.second +
                                    ": RHO must be a decimal number above -1 and below 1, not \"" +
                                    rho + "\"");
    }
    if (c.first == c.second) {
        throw std::invalid_argument(c.first + "," + c.second +
                                    ": an input is not correlated with itself");
    }
    c.rho = *value;
    return c;
}

SampleMethod parse_sample_method(const std::string& text) {
    if (text == "mc") return SampleMethod::mc;
    if (text == "lhs") return SampleMethod::lhs;
    if (text == "sobol") return SampleMethod::sobol;
    throw std::invalid_argument("\"" + text + "\" is not mc, lhs or sobol");
}

double unit_interval(std::uint64_t bits) {
    return (static_cast<double>(bits >> 11) + 0.5) * 0x1p-53;
}

std::vector<std::vector<double>> draw_uniforms(SampleMethod method, std::size_t inputs,
                                               std::size_t runs, std::uint64_t seed) {
    std::vector<std::vector<double>> u(inputs, std::vector<double>(runs));
    std::mt19937_64 generator(seed);
    switch (method) {
        case SampleMethod::mc:
            // Run by run, so that a smaller sample of the same seed is the
            // first runs of a larger one.
            for (std::size_t r = 0; r < runs; ++r) {
                for (std::size_t i = 0; i < inputs; ++i) u[i][r] = unit_interval(generator());
            }
            break;
        case SampleMethod::lhs:
            for (std::size_t i = 0; i < inputs; ++i) {
                std::vector<std::uint64_t> stratum(runs);
                std::iota(stratum.begin(), stratum.end(), std::uint64_t{0});
                for (std::size_t k = runs; k > 1; --k) {
                    std::swap(stratum[k - 1], stratum[uniform_index(generator, k)]);
                }
                const double n = static_cast<double>(runs);
                for (std::size_t r = 0; r < runs; ++r) {
                    const double x =
                        (static_cast<double>(stratum[r]) + unit_interval(generator())) / n;
                    // The last stratum's top can round to 1.
                    u[i][r] = std::min(x, 1 - 0x1p-53);
                }
            }
            break;
        case SampleMethod::sobol: {
            // Debian's Boost has no scrambled Sobol sequence: a random
            // digital shift of each coordinate keeps its balance and makes
            // the seed matter.
            std::vector<std::uint64_t> shift(inputs);
            for (std::uint64_t& s : shift) s = generator();
            // Boost's sequence starts after the point 0, which completes its
            // nets: with it, every 2^k runs fill each interval of width 2^-k.
            boost::random::sobol sequence(inputs);
            for (std::size_t r = 0; r < runs; ++r) {
                for (std::size_t i = 0; i < inputs; ++i) {
                    const std::uint64_t bits = r == 0 ? 0 : sequence();
                    u[i][r] = unit_interval(bits ^ shift[i]);
                }
            }
            break;
        }
    }
    return u;
}

CholeskyResult cholesky(const std::vector<double>& m, std::size_t n) {
    CholeskyResult result;
    result.lower.assign(n * n, 0);
    std::vector<double>& l = result.lower;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j <= i; ++j) {
            double sum = m[i * n + j];
            for (std::size_t k = 0; k < j; ++k) sum -= l[i * n + k] * l[j * n + k];
            if (i == j) {
                if (!(sum > 0)) {
                    result.ok = false;
                    result.failed_row = i;
                    return result;
                }
                l[i * n + i] = std::sqrt(sum);
            } else {
                l[i * n + j] = sum / l[j * n + j];
            }
        }
    }
    return result;
}

namespace {

// The inputs that take part in a correlation, in the design's order, with
// their correlation matrix; the design checked.
struct Copula {
    std::vector<std::size_t> members;  // input indices
    std::vector<double> lower;         // Cholesky factor over the members
};

Copula copula_of(const SampleDesign& design) {
    const std::size_t n = design.inputs.size();
    if (n == 0) throw std::invalid_argument("a sample needs at least one input to sample");
    if (design.runs < 1 || design.runs > max_sample_runs) {
        throw std::invalid_argument("a sample has 1 to " + std::to_string(max_sample_runs) +
                                    " runs");
    }
    const auto index_of = [&](const std::string& name, const InputCorrelation& c) {
        for (std::size_t i = 0; i < n; ++i) {
            if (design.inputs[i].name == name) return i;
        }
        throw std::invalid_argument(c.first + "," + c.second + ": " + name +
                                    " is not a sampled input");
    };
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (design.inputs[i].name == design.inputs[j].name) {
                throw std::invalid_argument(design.inputs[i].name + ": sampled twice");
            }
        }
    }
    std::vector<std::size_t> group_of(n, n);  // an input's place among the members
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    Copula copula;
    for (const InputCorrelation& c : design.correlations) {
        const std::size_t a = index_of(c.first, c);
        const std::size_t b = index_of(c.second, c);
        if (a == b) {
            throw std::invalid_argument(c.first + "," + c.second +
                                        ": an input is not correlated with itself");
        }
        for (const auto& [x, y] : pairs) {
            if ((x == a && y == b) || (x == b && y == a)) {
                throw std::invalid_argument(c.first + "," + c.second + ": correlated twice");
            }
        }
        pairs.emplace_back(a, b);
        group_of[a] = group_of[b] = 0;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (group_of[i] == 0) {
            group_of[i] = copula.members.size();
            copula.members.push_back(i);
        }
    }
    const std::size_t m = copula.members.size();
    std::vector<double> matrix(m * m, 0);
    for (std::size_t i = 0; i < m; ++i) matrix[i * m + i] = 1;
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        const std::size_t a = group_of[pairs[p].first];
        const std::size_t b = group_of[pairs[p].second];
        matrix[a * m + b] = matrix[b * m + a] = design.correlations[p].rho;
    }
    CholeskyResult factor = cholesky(matrix, m);
    if (!factor.ok) {
        // The row that failed is the later input of some pair given; name the
        // last one given, which cannot hold with those before it.
        const std::size_t row = factor.failed_row;
        std::size_t culprit = 0;
        for (std::size_t p = 0; p < pairs.size(); ++p) {
            const std::size_t a = group_of[pairs[p].first];
            const std::size_t b = group_of[pairs[p].second];
            if ((a == row && b < row) || (b == row && a < row)) culprit = p;
        }
        const InputCorrelation& c = design.correlations[culprit];
        throw std::invalid_argument(
            c.first + "," + c.second + "=" + shortest_number_text(c.rho) +
            ": with the other correlations the correlation matrix is not positive definite (no "
            "inputs can be correlated so)");
    }
    copula.lower = std::move(factor.lower);
    return copula;
}

}  // namespace

void check_sample_design(const SampleDesign& design) {
    (void)copula_of(design);
}

std::vector<std::vector<double>> draw_samples(const SampleDesign& design) {
    const Copula copula = copula_of(design);
    std::vector<std::vector<double>> u =
        draw_uniforms(design.method, design.inputs.size(), design.runs, design.seed);
    // The correlated inputs through their normal scores; the others keep
    // their uniform numbers exactly.
    const std::size_t m = copula.members.size();
    if (m > 0) {
        const Normal standard;
        std::vector<double> z(m);
        for (std::size_t r = 0; r < design.runs; ++r) {
            for (std::size_t i = 0; i < m; ++i) {
                z[i] = boost::math::quantile(standard, u[copula.members[i]][r]);
            }
            for (std::size_t i = m; i-- > 0;) {
                double sum = 0;
                for (std::size_t k = 0; k <= i; ++k) sum += copula.lower[i * m + k] * z[k];
                // Kept inside (0, 1): a score far in a tail rounds to 0 or 1.
                u[copula.members[i]][r] =
                    std::clamp(boost::math::cdf(standard, sum), 0x1p-54, 1 - 0x1p-53);
            }
        }
    }
    std::vector<std::vector<double>> values(design.inputs.size(), std::vector<double>(design.runs));
    for (std::size_t i = 0; i < design.inputs.size(); ++i) {
        const Distribution& d = design.inputs[i].distribution;
        for (std::size_t r = 0; r < design.runs; ++r) values[i][r] = d.quantile(u[i][r]);
    }
    return values;
}

}  // namespace quarnel
