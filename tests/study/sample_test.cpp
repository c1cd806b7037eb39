#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "study/sample.h"
#include "study/sample_statistics.h"

namespace {

using namespace quarnel;

// The standard normal's distribution function, from the C library rather
// than Boost, so that the samples are held to an independent definition.
double phi(double z) {
    return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

std::vector<double> drawn(const std::string& dist, std::size_t runs, SampleMethod method,
                          std::uint64_t seed = 7) {
    SampleDesign design;
    design.inputs = {parse_sampled_input("x=" + dist)};
    design.runs = runs;
    design.method = method;
    design.seed = seed;
    return draw_samples(design)[0];
}

double mean_of(const std::vector<double>& x) {
    return std::accumulate(x.begin(), x.end(), 0.0) / static_cast<double>(x.size());
}

double sd_of(const std::vector<double>& x) {
    const double m = mean_of(x);
    double s = 0;
    for (const double v : x) s += (v - m) * (v - m);
    return std::sqrt(s / static_cast<double>(x.size() - 1));
}

// The share of the sample at most x.
double share_below(const std::vector<double>& sample, double x) {
    return static_cast<double>(
               std::count_if(sample.begin(), sample.end(), [&](double v) { return v <= x; })) /
           static_cast<double>(sample.size());
}

struct Expected {
    std::string dist;
    double mean;
    double sd;
    // The distribution function by its definition, at three points.
    std::vector<std::pair<double, double>> cdf;  // x, F(x)
};

std::vector<Expected> definitions() {
    const double ln_s2 = std::log1p(0.3 * 0.3);
    const double ln_mu = std::log(10.0) - ln_s2 / 2;
    const auto lognormal_at = [&](double x) {
        return std::make_pair(x, phi((std::log(x) - ln_mu) / std::sqrt(ln_s2)));
    };
    const auto weibull_at = [](double x) {
        return std::make_pair(x, 1 - std::exp(-std::pow(x / 1600, 5.0)));
    };
    // truncnormal:2:1:1.5:4 by its density's integral.
    const double a = -0.5;
    const double b = 2;
    const double mass = phi(b) - phi(a);
    const auto pdf = [](double z) {
        return std::exp(-z * z / 2) / std::sqrt(2 * std::numbers::pi);
    };
    const double t_mean = 2 + (pdf(a) - pdf(b)) / mass;
    const double t_var =
        1 + (a * pdf(a) - b * pdf(b)) / mass - std::pow((pdf(a) - pdf(b)) / mass, 2);
    const auto trunc_at = [&](double x) { return std::make_pair(x, (phi(x - 2) - phi(a)) / mass); };
    return {
        {"normal:0.02:0.004",
         0.02,
         0.004,
         {{0.02 - 1.6448536269514722 * 0.004, 0.05}, {0.02, 0.5}, {0.02 + 0.004, phi(1)}}},
        {"lognormal:10:0.3", 10, 3, {lognormal_at(6), lognormal_at(9.6), lognormal_at(15)}},
        {"uniform:-1:3", 1, 4 / std::sqrt(12.0), {{-0.8, 0.05}, {1.2, 0.55}, {2.9, 0.975}}},
        {"weibull:1600:5",
         1600 * std::tgamma(1.2),
         1600 * std::sqrt(std::tgamma(1 + 2 / 5.0) - std::pow(std::tgamma(1.2), 2)),
         {weibull_at(900), weibull_at(1500), weibull_at(2000)}},
        {"truncnormal:2:1:1.5:4",
         t_mean,
         std::sqrt(t_var),
         {trunc_at(1.6), trunc_at(2.2), trunc_at(3.5)}},
    };
}

// Each distribution's sample against its definition: the mean within 5
// standard errors, the SD within 5 of its own (from the fourth moment, taken
// as at most 3 times that of a normal), and the share below three points
// within 5 binomial standard errors; for every method.
TEST(Sample, moments_and_distribution_functions_match_the_definitions) {
    const std::size_t n = 20000;
    for (const SampleMethod method : {SampleMethod::mc, SampleMethod::lhs, SampleMethod::sobol}) {
        for (const Expected& e : definitions()) {
            SCOPED_TRACE(e.dist + " method " + std::to_string(static_cast<int>(method)));
            const std::vector<double> x = drawn(e.dist, n, method);
            const double root_n = std::sqrt(static_cast<double>(n));
            EXPECT_NEAR(mean_of(x), e.mean, 5 * e.sd / root_n);
            EXPECT_NEAR(sd_of(x), e.sd, 5 * e.sd * std::sqrt(3.0 / 2) / root_n);
            for (const auto& [at, p] : e.cdf) {
                EXPECT_NEAR(share_below(x, at), p, 5 * std::sqrt(p * (1 - p) / n) + 1.0 / n)
                    << "at " << at;
            }
        }
    }
}

TEST(Sample, the_distributions_own_moments_and_quantiles_agree_with_the_definitions) {
    for (const Expected& e : definitions()) {
        SCOPED_TRACE(e.dist);
        const Distribution d = parse_distribution(e.dist);
        EXPECT_NEAR(d.mean(), e.mean, 1e-9 * std::abs(e.mean) + 1e-12);
        EXPECT_NEAR(d.standard_deviation(), e.sd, 1e-9 * e.sd);
        for (const auto& [at, p] : e.cdf) {
            EXPECT_NEAR(d.cdf(at), p, 1e-12);
            EXPECT_NEAR(d.quantile(p), at, 1e-9 * std::max(1.0, std::abs(at)));
        }
    }
    // A truncated normal far in its upper tail keeps its values inside its bounds.
    const Distribution tail = parse_distribution("truncnormal:0:1:8:9");
    for (const double u : {1e-12, 0.5, 1 - 1e-12}) {
        EXPECT_GE(tail.quantile(u), 8);
        EXPECT_LE(tail.quantile(u), 9);
    }
    EXPECT_GT(tail.quantile(0.5), 8.05);
    EXPECT_LT(tail.quantile(0.5), 8.1);
}

// The stream is std::mt19937_64's, whose 10000th output from the default
// seed the C++ standard fixes, made a double by the stated formula.
TEST(Sample, uniforms_come_from_the_standard_stream_by_an_exact_formula) {
    EXPECT_EQ(unit_interval(0), 0x1p-54);
    EXPECT_EQ(unit_interval(~std::uint64_t{0}), 1 - 0x1p-54);
    const auto u = draw_uniforms(SampleMethod::mc, 1, 10000, 5489);
    EXPECT_EQ(u[0][9999], unit_interval(9981545732273789042ull));
    // A smaller sample of the same seed is the first runs of a larger one.
    const auto small = draw_uniforms(SampleMethod::mc, 3, 10, 11);
    const auto large = draw_uniforms(SampleMethod::mc, 3, 50, 11);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(std::equal(small[i].begin(), small[i].end(), large[i].begin()));
    }
    EXPECT_NE(draw_uniforms(SampleMethod::mc, 1, 1, 12)[0][0], small[0][0]);
}

// A Latin hypercube puts one run in each of N equal strata of every input; a
// shifted Sobol sequence of 2^k runs one in each dyadic interval of width
// 2^-k; the seed changes both.
TEST(Sample, lhs_and_sobol_fill_their_strata_once) {
    for (const SampleMethod method : {SampleMethod::lhs, SampleMethod::sobol}) {
        const std::size_t n = 1024;
        const auto u = draw_uniforms(method, 4, n, 3);
        for (const auto& column : u) {
            std::set<std::size_t> strata;
            for (const double x : column) {
                ASSERT_GT(x, 0);
                ASSERT_LT(x, 1);
                strata.insert(static_cast<std::size_t>(x * static_cast<double>(n)));
            }
            EXPECT_EQ(strata.size(), n);
        }
        // The strata of different inputs are paired at random.
        EXPECT_NEAR(spearman(u[0], u[1]), 0, 4 / std::sqrt(static_cast<double>(n)));
        EXPECT_NE(draw_uniforms(method, 4, n, 4)[2], u[2]);
        EXPECT_EQ(draw_uniforms(method, 4, n, 3)[2], u[2]);
    }
}

TEST(Sample, uniform_index_is_within_bounds_and_reaches_every_value) {
    std::mt19937_64 generator(5);
    std::vector<int> seen(7, 0);
    for (int i = 0; i < 7000; ++i) ++seen[uniform_index(generator, 7)];
    for (const int count : seen) EXPECT_NEAR(count, 1000, 150);
}

// The copula's rank correlation is 6/pi asin(rho/2) (Gaussian copula), within
// 4 standard errors of the sample's Spearman coefficient; an input outside
// every pair keeps exactly the values it has without the copula.
TEST(Sample, the_copula_gives_the_rank_correlation_of_its_rho) {
    SampleDesign design;
    design.inputs = {parse_sampled_input("A=normal:1:0.1"), parse_sampled_input("B=weibull:3:2"),
                     parse_sampled_input("C=uniform:0:1")};
    design.runs = 5000;
    design.seed = 21;
    const auto independent = draw_samples(design);
    for (const double rho : {0.7, -0.4}) {
        design.correlations = {parse_correlation("A,B=" + std::to_string(rho))};
        const auto x = draw_samples(design);
        const double expected = 6 / std::numbers::pi * std::asin(rho / 2);
        EXPECT_NEAR(spearman(x[0], x[1]), expected, 4 / std::sqrt(5000.0)) << rho;
        EXPECT_NEAR(spearman(x[0], x[2]), 0, 4 / std::sqrt(5000.0));
        EXPECT_EQ(x[2], independent[2]);
        // The margins keep their distributions.
        EXPECT_NEAR(mean_of(x[0]), 1, 5 * 0.1 / std::sqrt(5000.0));
    }
}

std::string refusal(const SampleDesign& design) {
    try {
        check_sample_design(design);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "";
}

TEST(Sample, refuses_designs_naming_the_input_and_the_rule) {
    const auto message = [](const std::string& argument) {
        try {
            parse_sampled_input(argument);
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(message("Vf=gauss:1:2"),
              "Vf: \"gauss\" is not a distribution: normal:MEAN:SD, lognormal:MEAN:COV, "
              "uniform:LOW:HIGH, weibull:SCALE:MODULUS or truncnormal:MEAN:SD:LOW:HIGH");
    EXPECT_EQ(message("Vf=normal:1"), "Vf: normal takes normal:MEAN:SD, not \"normal:1\"");
    EXPECT_EQ(message("Vf=normal:1:0"), "Vf: normal:MEAN:SD: SD must be above 0");
    EXPECT_EQ(message("Lf=lognormal:-1:0.2"), "Lf: lognormal:MEAN:COV: MEAN must be above 0");
    EXPECT_EQ(message("Lf=uniform:2:2"), "Lf: uniform:LOW:HIGH: LOW must be below HIGH");
    EXPECT_EQ(message("Lf=weibull:1:0x2"),
              "Lf: weibull:SCALE:MODULUS: MODULUS \"0x2\" is not a finite decimal number");
    EXPECT_NE(message("Lf=truncnormal:0:1:50:60").find("holds no probability"), std::string::npos);
    EXPECT_EQ(message("=normal:1:1"), "\"=normal:1:1\" names no input before the \"=\"");

    SampleDesign design;
    design.runs = 10;
    EXPECT_EQ(refusal(design), "a sample needs at least one input to sample");
    design.inputs = {parse_sampled_input("A=normal:1:0.1"), parse_sampled_input("B=normal:1:0.1"),
                     parse_sampled_input("C=normal:1:0.1")};
    design.correlations = {parse_correlation("A,D=0.5")};
    EXPECT_EQ(refusal(design), "A,D: D is not a sampled input");
    design.correlations = {parse_correlation("A,B=0.5"), parse_correlation("B,A=0.2")};
    EXPECT_EQ(refusal(design), "B,A: correlated twice");
    // Each pair is possible alone; together no three inputs can have them.
    design.correlations = {parse_correlation("A,B=0.6"), parse_correlation("B,C=0.6"),
                           parse_correlation("A,C=-0.6")};
    EXPECT_EQ(refusal(design),
              "A,C=-0.6: with the other correlations the correlation matrix is not positive "
              "definite (no inputs can be correlated so)");
    design.correlations.pop_back();
    EXPECT_EQ(refusal(design), "");
    EXPECT_THROW(parse_correlation("A,B=1"), std::invalid_argument);
    EXPECT_THROW(parse_correlation("A,A=0.5"), std::invalid_argument);
    EXPECT_THROW(parse_correlation("A=0.5"), std::invalid_argument);
    EXPECT_THROW(parse_sample_method("halton"), std::invalid_argument);
}

TEST(Sample, cholesky_factors_a_positive_definite_matrix_and_names_the_row_that_fails) {
    const std::vector<double> m = {4, 2, 2, 3};
    const CholeskyResult c = cholesky(m, 2);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.lower, (std::vector<double>{2, 0, 1, std::sqrt(2.0)}));
    const CholeskyResult bad = cholesky({1, 0.9, 0.9, 0.9, 1, 0.9, 0.9, 0.9, 1}, 3);
    EXPECT_TRUE(bad.ok);
    const CholeskyResult worse = cholesky({1, 0.9, -0.9, 0.9, 1, 0.9, -0.9, 0.9, 1}, 3);
    EXPECT_FALSE(worse.ok);
    EXPECT_EQ(worse.failed_row, 2u);
}

}  // namespace
