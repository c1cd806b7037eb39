#pragma once

// The statistics of a probabilistic study: per criterion its moments,
// quantiles and rank correlations with the sampled inputs, and the
// probabilities that the mix hardens. Refused runs are counted and left out;
// a computed run without a criterion's value is left out of that criterion.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "study/criteria.h"

namespace quarnel {

// The quantile p of sorted values, linear between order statistics: with h =
// (n - 1) p, x[floor h] + (h - floor h) (x[floor h + 1] - x[floor h]), from
// 0 (Hyndman and Fan's type 7, numpy's and R's default). NaN when empty.
double sorted_quantile(const std::vector<double>& sorted, double p);

// The ranks of the values from 1, ties given the mean of the ranks they share.
std::vector<double> average_ranks(const std::vector<double>& values);

// Spearman's rank correlation: Pearson's correlation of the average ranks.
// NaN for fewer than 2 pairs or when either side is constant.
double spearman(const std::vector<double>& x, const std::vector<double>& y);

// A probability estimated from hits of count, with the 95 % Wilson score
// interval; NaN when count is 0.
struct ProbabilityEstimate {
    std::string name;  // the verdict: strain_hardening, strain_hardening_margin
    std::size_t count = 0;
    std::size_t hits = 0;
    double probability = 0;
    double low = 0;
    double high = 0;
};
ProbabilityEstimate wilson_estimate(std::size_t hits, std::size_t count);

struct CriterionStatistics {
    std::string name;
    std::size_t count = 0;  // the runs that have the criterion
    double mean = 0;
    double sd = 0;  // the sample standard deviation (n - 1); NaN for fewer than 2
    double q05 = 0;
    double q50 = 0;
    double q95 = 0;
    std::vector<double> spearman;  // with each sampled input, in their order
};

struct SampleStatistics {
    std::size_t runs = 0;     // every run added
    std::size_t refused = 0;  // left out of every statistic
    std::vector<std::string> inputs;
    std::vector<CriterionStatistics> criteria;
    std::vector<ProbabilityEstimate> probabilities;  // the verdicts there are
};

// The criteria a study's statistics cover, with the matrix properties each
// run has: sigma_max, P_max, Wcr_peak, ratio_initial, ratio_at_peak,
// J_b_prime, G_b, then psh_strength and psh_energy when present.
std::vector<std::string> statistics_criteria(const MatrixProperties& matrix);

// A criterion's value in a run's criteria by its name; NaN when missing.
double criterion_value(const LawCriteria& criteria, const std::string& name);

// Gathers the runs of a study in any order and gives their statistics.
class SampleTally {
  public:
    // `hardening` and `margin` say whether the runs have those verdicts.
    SampleTally(std::vector<std::string> inputs, std::vector<std::string> criteria, bool hardening,
                bool margin);
    void add_refused() { ++refused_; }
    // A computed run: its sampled inputs, its criteria in the tally's order
    // (NaN where it has none), its verdicts (none when it has no criteria).
    void add(const std::vector<double>& inputs, const std::vector<double>& criteria,
             std::optional<bool> hardening, std::optional<bool> margin);
    // A computed run from its criteria.
    void add(const std::vector<double>& inputs, const LawCriteria& criteria);
    std::size_t runs() const { return computed_ + refused_; }
    SampleStatistics statistics() const;

  private:
    std::vector<std::string> input_names_;
    std::vector<std::string> criterion_names_;
    bool hardening_ = false;
    bool margin_ = false;
    std::size_t computed_ = 0;
    std::size_t refused_ = 0;
    std::vector<std::vector<double>> inputs_;    // [input][computed run]
    std::vector<std::vector<double>> criteria_;  // [criterion][computed run]
    std::size_t hardening_count_ = 0;
    std::size_t hardening_hits_ = 0;
    std::size_t margin_count_ = 0;
    std::size_t margin_hits_ = 0;
};

}  // namespace quarnel
