#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/fit_command.h"
#include "study/criteria.h"
#include "study/fit.h"
#include "study/measured_curve.h"

namespace quarnel {

// The fitted law's criteria beside the measured curve's: the law on the
// "Division" scheme, or why it has none.
struct CriteriaComparison {
    CurveCriteria measured;
    std::optional<LawCriteria> fitted;
    std::string not_fitted;  // why there are no fitted criteria
};

// The summary's columns after the fitted law's criteria, and their cells.
struct FitColumns {
    std::vector<std::string> columns;
    std::vector<std::string> cells;
    std::vector<bool> numeric;
};

// The measured points beside the fitted stress (`steps` at the openings in
// `order`); the message of a failure.
std::optional<std::string> write_points_csv(const std::string& path,
                                            const std::vector<MeasuredPoint>& points,
                                            const std::vector<StepValues>& steps,
                                            const std::vector<std::size_t>& order,
                                            const std::optional<double>& until);
// The result as a table for a reader, and as one JSON object.
std::string result_table(const FitRequest& q, const FitResult& r, const CriteriaComparison& cc,
                         std::size_t points, std::size_t all_points);
std::string result_json(const FitRequest& q, const FitResult& r, const CriteriaComparison& cc);
FitColumns fit_columns(const FitRequest& q, const FitResult& r, const CriteriaComparison& cc);
// The fitted law's summary: its criteria's columns, then the fit's.
std::optional<std::string> write_fit_summary(const std::string& path, const LawCriteria& criteria,
                                             const MatrixProperties& matrix,
                                             const CriteriaSettings& settings,
                                             const FitColumns& fit);

}  // namespace quarnel
