#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quarnel {

// The statistics of a least-squares fit at its optimum, by the linearisation
// of the model there: with J the Jacobian of the residuals (n points by p
// values), the covariance of the values is s^2 (J^T J)^-1 with
// s^2 = SS / (n - rank J), and a value's approximate 95 % interval is
// value -/+ t SE with t the 0.975 quantile of Student's t with n - rank J
// degrees of freedom.
//
// Values the curve cannot tell apart make J^T J singular or nearly so: the
// columns of J are scaled to unit length and J^T J's eigenvalues below
// near_singular_ratio of the largest count as none. A value with a part in
// such a direction (a component above 0.05 of its unit eigenvector) has no
// standard error, no interval and no correlations; the other values keep
// theirs (they are determined whatever the undetermined combination is).
struct FitStatistics {
    // Whether they were computed; when not, `not_computed` says why (a law
    // refused beside the optimum, a fit interrupted, none found).
    bool computed = false;
    std::string not_computed;
    std::size_t degrees_of_freedom = 0;  // n - rank J
    double t_95 = 0;                     // Student's t quantile 0.975 at those degrees
    // By value, in the order of the fitted values; none for an undetermined one.
    std::vector<std::optional<double>> standard_errors;
    std::vector<std::optional<std::pair<double, double>>> intervals_95;
    // correlations[j][k]: 1 on the diagonal of a determined value; none
    // where either value is undetermined.
    std::vector<std::vector<std::optional<double>>> correlations;
    // The values the curve cannot tell apart, in groups by their indexes;
    // a group of one is a value the stresses do not depend on.
    std::vector<std::vector<std::size_t>> undetermined;
    long evaluations = 0;  // laws computed for the Jacobian
};

// J^T J's eigenvalues (of unit columns) below this share of the largest are
// taken as 0: the finite differences give J's columns to about 1e-4 of
// themselves, so a smaller eigenvalue is their noise (|correlation| above
// about 1 - 2e-6 for two values).
constexpr double near_singular_ratio = 1e-6;

// The statistics from the Jacobian (`jacobian[i][d]`: d(residual i) /
// d(value d)), the sum of squares at the optimum and the values there.
// Throws std::invalid_argument for rows of different lengths or a Jacobian
// with fewer rows than columns plus one.
FitStatistics least_squares_statistics(const std::vector<std::vector<double>>& jacobian,
                                       double sum_of_squares, const std::vector<double>& values);

// Student's t quantile: the t with P(T <= t) = p for T with `degrees`
// degrees of freedom, for p in [0.5, 1) and degrees at least 1. Exact to
// about 1e-12 of t: the distribution function of integer degrees in closed
// form (a finite sum in the angle atan(t / sqrt(degrees))) inverted by
// bisection; beyond 10000 degrees the Cornish-Fisher expansion to degrees^-4.
double student_t_quantile(double p, long degrees);

// The eigenvalues (ascending) and unit eigenvectors (vectors[k] belongs to
// values[k]) of a symmetric matrix, by cyclic Jacobi rotations.
struct SymmetricEigen {
    std::vector<double> values;
    std::vector<std::vector<double>> vectors;
};
SymmetricEigen symmetric_eigen(std::vector<std::vector<double>> matrix);

}  // namespace quarnel
