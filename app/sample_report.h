#pragma once

// A sample's statistics as the files and lines quarnel-batch sample writes.

#include <string>

#include "study/sample_statistics.h"

namespace quarnel {

// A CSV of one row per criterion and per verdict: quantity, count, refused,
// mean, sd, q05, q50, q95, hits, probability, ci_low, ci_high, then
// spearman_NAME per sampled input; a cell that does not apply, or a value
// that is not a finite number, is empty.
std::string statistics_csv(const SampleStatistics& statistics);

// The same as one JSON object: runs, refused, inputs, criteria (by name:
// count, mean, sd, q05, q50, q95, spearman by input) and probabilities (by
// verdict: count, hits, probability, low, high); null where not finite.
std::string statistics_json(const SampleStatistics& statistics);

// The lines printed at the end of a sample.
std::string statistics_text(const SampleStatistics& statistics);

}  // namespace quarnel
