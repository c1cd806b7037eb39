#include "sample_statistics.h"

#include <boost/math/distributions/normal.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace quarnel {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

using Policy = boost::math::policies::policy<boost::math::policies::promote_float<false>,
                                             boost::math::policies::promote_double<false>>;

double pearson(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    const double mx = std::accumulate(x.begin(), x.end(), 0.0) / n;
    const double my = std::accumulate(y.begin(), y.end(), 0.0) / n;
    double sxy = 0;
    double sxx = 0;
    double syy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    if (!(sxx > 0 && syy > 0)) return nan;
    return sxy / std::sqrt(sxx * syy);
}

}  // namespace

double sorted_quantile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return nan;
    const double h = static_cast<double>(sorted.size() - 1) * p;
    const auto below = static_cast<std::size_t>(std::floor(h));
    if (below + 1 >= sorted.size()) return sorted.back();
    const double fraction = h - static_cast<double>(below);
    return sorted[below] + fraction * (sorted[below + 1] - sorted[below]);
}

std::vector<double> average_ranks(const std::vector<double>& values) {
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    std::vector<double> ranks(values.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i + 1;
        while (j < order.size() && values[order[j]] == values[order[i]]) ++j;
        // Ranks i + 1 .. j shared: their mean.
        const double rank = (static_cast<double>(i + 1) + static_cast<double>(j)) / 2;
        for (std::size_t k = i; k < j; ++k) ranks[order[k]] = rank;
        i = j;
    }
    return ranks;
}

double spearman(const std::vector<double>& x, const std::vector<double>& y) {
    if (x.size() != y.size() || x.size() < 2) return nan;
    return pearson(average_ranks(x), average_ranks(y));
}

ProbabilityEstimate wilson_estimate(std::size_t hits, std::size_t count) {
    ProbabilityEstimate e;
    e.count = count;
    e.hits = hits;
    if (count == 0) {
        e.probability = e.low = e.high = nan;
        return e;
    }
    const double z =
        boost::math::quantile(boost::math::normal_distribution<double, Policy>(), 0.975);
    const double n = static_cast<double>(count);
    const double p = static_cast<double>(hits) / n;
    const double z2 = z * z;
    const double denominator = 1 + z2 / n;
    const double centre = (p + z2 / (2 * n)) / denominator;
    const double half = z / denominator * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n));
    e.probability = p;
    // At no hits or all hits the interval reaches 0 or 1 exactly, which
    // the rounding of centre - half would miss.
    e.low = hits == 0 ? 0 : std::max(0.0, centre - half);
    e.high = hits == count ? 1 : std::min(1.0, centre + half);
    return e;
}

std::vector<std::string> statistics_criteria(const MatrixProperties& matrix) {
    std::vector<std::string> names = {"sigma_max",     "P_max",     "Wcr_peak", "ratio_initial",
                                      "ratio_at_peak", "J_b_prime", "G_b"};
    if (matrix.sigma_fc) names.push_back("psh_strength");
    if (matrix.J_tip) names.push_back("psh_energy");
    return names;
}

double criterion_value(const LawCriteria& c, const std::string& name) {
    if (!c.available()) return nan;
    if (name == "sigma_max") return c.sigma_max;
    if (name == "P_max") return c.P_max;
    if (name == "Wcr_peak") return c.Wcr_peak;
    if (name == "ratio_initial") return c.ratio_initial;
    if (name == "ratio_at_peak") return c.ratio_at_peak;
    if (name == "J_b_prime") return c.J_b_prime;
    if (name == "G_b") return c.G_b;
    if (name == "psh_strength") return c.psh_strength.value_or(nan);
    if (name == "psh_energy") return c.psh_energy.value_or(nan);
    return nan;
}

SampleTally::SampleTally(std::vector<std::string> inputs, std::vector<std::string> criteria,
                         bool hardening, bool margin)
    : input_names_(std::move(inputs)),
      criterion_names_(std::move(criteria)),
      hardening_(hardening),
      margin_(margin),
      inputs_(input_names_.size()),
      criteria_(criterion_names_.size()) {}

void SampleTally::add(const std::vector<double>& inputs, const std::vector<double>& criteria,
                      std::optional<bool> hardening, std::optional<bool> margin) {
    ++computed_;
    for (std::size_t i = 0; i < inputs_.size(); ++i) inputs_[i].push_back(inputs.at(i));
    for (std::size_t c = 0; c < criteria_.size(); ++c) criteria_[c].push_back(criteria.at(c));
    if (hardening) {
        ++hardening_count_;
        if (*hardening) ++hardening_hits_;
    }
    if (margin) {
        ++margin_count_;
        if (*margin) ++margin_hits_;
    }
}

void SampleTally::add(const std::vector<double>& inputs, const LawCriteria& criteria) {
    std::vector<double> values;
    for (const std::string& name : criterion_names_)
        values.push_back(criterion_value(criteria, name));
    const bool available = criteria.available();
    add(inputs, values, available ? criteria.strain_hardening : std::nullopt,
        available ? criteria.strain_hardening_margin : std::nullopt);
}

SampleStatistics SampleTally::statistics() const {
    SampleStatistics s;
    s.runs = runs();
    s.refused = refused_;
    s.inputs = input_names_;
    for (std::size_t c = 0; c < criteria_.size(); ++c) {
        CriterionStatistics cs;
        cs.name = criterion_names_[c];
        // The runs with a finite value, and their inputs beside them.
        std::vector<double> values;
        std::vector<std::vector<double>> inputs(inputs_.size());
        for (std::size_t r = 0; r < criteria_[c].size(); ++r) {
            if (!std::isfinite(criteria_[c][r])) continue;
            values.push_back(criteria_[c][r]);
            for (std::size_t i = 0; i < inputs_.size(); ++i) inputs[i].push_back(inputs_[i][r]);
        }
        cs.count = values.size();
        const double n = static_cast<double>(values.size());
        // Summed as differences from the first value, so that values that
        // are all one number have exactly that mean and an SD of 0.
        double shifted = 0;
        for (const double x : values) shifted += x - values.front();
        cs.mean = values.empty() ? nan : values.front() + shifted / n;
        double squares = 0;
        for (const double x : values) squares += (x - cs.mean) * (x - cs.mean);
        cs.sd = values.size() < 2 ? nan : std::sqrt(squares / (n - 1));
        for (std::size_t i = 0; i < inputs.size(); ++i)
            cs.spearman.push_back(spearman(inputs[i], values));
        std::sort(values.begin(), values.end());
        cs.q05 = sorted_quantile(values, 0.05);
        cs.q50 = sorted_quantile(values, 0.5);
        cs.q95 = sorted_quantile(values, 0.95);
        s.criteria.push_back(std::move(cs));
    }
    if (hardening_) {
        s.probabilities.push_back(wilson_estimate(hardening_hits_, hardening_count_));
        s.probabilities.back().name = "strain_hardening";
    }
    if (margin_) {
        s.probabilities.push_back(wilson_estimate(margin_hits_, margin_count_));
        s.probabilities.back().name = "strain_hardening_margin";
    }
    return s;
}

}  // namespace quarnel
