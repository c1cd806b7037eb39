#include "fit_statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

namespace quarnel {

SymmetricEigen symmetric_eigen(std::vector<std::vector<double>> a) {
    const std::size_t n = a.size();
    std::vector<std::vector<double>> v(n, std::vector<double>(n, 0.0));
    for (std::size_t i = 0; i < n; ++i) v[i][i] = 1;
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0;
        double scale = 0;
        for (std::size_t i = 0; i < n; ++i) {
            scale += a[i][i] * a[i][i];
            for (std::size_t j = i + 1; j < n; ++j) off += a[i][j] * a[i][j];
        }
        if (!(off > 1e-32 * scale)) break;
        for (std::size_t p = 0; p + 1 < n; ++p) {
            for (std::size_t q = p + 1; q < n; ++q) {
                if (a[p][q] == 0) continue;
                // The rotation that zeroes a[p][q], the smaller angle.
                const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                const double t =
                    (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1);
                const double s = t * c;
                for (std::size_t k = 0; k < n; ++k) {
                    const double akp = a[k][p];
                    const double akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (std::size_t k = 0; k < n; ++k) {
                    const double apk = a[p][k];
                    const double aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (std::size_t k = 0; k < n; ++k) {
                    const double vkp = v[k][p];
                    const double vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
        }
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return a[x][x] < a[y][y]; });
    SymmetricEigen e;
    for (const std::size_t k : order) {
        e.values.push_back(a[k][k]);
        std::vector<double> column(n);
        for (std::size_t i = 0; i < n; ++i) column[i] = v[i][k];
        e.vectors.push_back(column);
    }
    return e;
}

namespace {

constexpr double pi = 3.14159265358979323846;

// P(|T| < t) for integer degrees, by the finite sums in theta =
// atan(t / sqrt(degrees)) (Abramowitz and Stegun 26.7.3 and 26.7.4).
double t_two_sided(double theta, long degrees) {
    const double s = std::sin(theta);
    const double c2 = std::cos(theta) * std::cos(theta);
    if (degrees % 2 == 0) {
        double term = 1;
        double sum = 1;
        for (long k = 2; k < degrees; k += 2) {
            term *= c2 * static_cast<double>(k - 1) / static_cast<double>(k);
            sum += term;
        }
        return s * sum;
    }
    if (degrees == 1) return 2 * theta / pi;
    double term = std::cos(theta);
    double sum = term;
    for (long k = 3; k < degrees; k += 2) {
        term *= c2 * static_cast<double>(k - 1) / static_cast<double>(k);
        sum += term;
    }
    return 2 / pi * (theta + s * sum);
}

// The standard normal quantile, by bisection of its distribution function.
double normal_quantile(double p) {
    double low = 0;
    double high = 40;
    for (int i = 0; i < 200 && high - low > 0; ++i) {
        const double mid = low / 2 + high / 2;
        if (mid == low || mid == high) break;
        (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? low : high) = mid;
    }
    return low / 2 + high / 2;
}

}  // namespace

double student_t_quantile(double p, long degrees) {
    if (!(p >= 0.5 && p < 1) || degrees < 1) {
        throw std::invalid_argument("student_t_quantile: p must lie in [0.5, 1), degrees >= 1");
    }
    const auto nu = static_cast<double>(degrees);
    if (degrees > 10000) {
        const double z = normal_quantile(p);
        const double z2 = z * z;
        const double z3 = z2 * z;
        const double z5 = z3 * z2;
        const double z7 = z5 * z2;
        const double z9 = z7 * z2;
        return z + (z3 + z) / (4 * nu) + (5 * z5 + 16 * z3 + 3 * z) / (96 * nu * nu) +
               (3 * z7 + 19 * z5 + 17 * z3 - 15 * z) / (384 * nu * nu * nu) +
               (79 * z9 + 776 * z7 + 1482 * z5 - 1920 * z3 - 945 * z) / (92160 * nu * nu * nu * nu);
    }
    const double target = 2 * p - 1;
    double low = 0;
    double high = pi / 2;
    for (int i = 0; i < 200; ++i) {
        const double mid = low / 2 + high / 2;
        if (mid == low || mid == high) break;
        (t_two_sided(mid, degrees) < target ? low : high) = mid;
    }
    return std::sqrt(nu) * std::tan(low / 2 + high / 2);
}

FitStatistics least_squares_statistics(const std::vector<std::vector<double>>& jacobian,
                                       double sum_of_squares, const std::vector<double>& values) {
    const std::size_t n = jacobian.size();
    const std::size_t p = values.size();
    for (const std::vector<double>& row : jacobian) {
        if (row.size() != p) {
            throw std::invalid_argument("least_squares_statistics: a row's length is not p");
        }
    }
    if (n < p + 1) throw std::invalid_argument("least_squares_statistics: fewer rows than p + 1");

    // Unit columns, so that the eigenvalues compare shapes, not units.
    std::vector<double> norm(p, 0.0);
    for (const std::vector<double>& row : jacobian) {
        for (std::size_t d = 0; d < p; ++d) norm[d] += row[d] * row[d];
    }
    std::vector<std::size_t> columns;  // the values the stresses depend on
    FitStatistics s;
    s.computed = true;
    for (std::size_t d = 0; d < p; ++d) {
        norm[d] = std::sqrt(norm[d]);
        if (norm[d] > 0 && std::isfinite(norm[d])) {
            columns.push_back(d);
        } else {
            s.undetermined.push_back({d});
        }
    }
    const std::size_t q = columns.size();
    std::vector<std::vector<double>> a(q, std::vector<double>(q, 0.0));
    for (const std::vector<double>& row : jacobian) {
        for (std::size_t j = 0; j < q; ++j) {
            const double x = row[columns[j]] / norm[columns[j]];
            for (std::size_t k = j; k < q; ++k) a[j][k] += x * row[columns[k]] / norm[columns[k]];
        }
    }
    for (std::size_t j = 0; j < q; ++j) {
        for (std::size_t k = 0; k < j; ++k) a[j][k] = a[k][j];
    }
    const SymmetricEigen e = symmetric_eigen(a);

    // Near-null directions, and the values that take part in them, grouped.
    std::vector<bool> involved(p, false);
    for (const auto& group : s.undetermined) involved[group[0]] = true;
    std::vector<bool> null(q, false);
    std::vector<std::size_t> group_of(p, p);
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t k = 0; k < q; ++k) {
        null[k] = !(e.values[k] >= near_singular_ratio * e.values.back());
        if (!null[k]) continue;
        std::vector<std::size_t> members;
        for (std::size_t j = 0; j < q; ++j) {
            if (std::abs(e.vectors[k][j]) > 0.05) members.push_back(columns[j]);
        }
        // Merged with every group that shares a value.
        std::vector<std::size_t> merged;
        for (const std::size_t d : members) {
            if (group_of[d] == p) {
                merged.push_back(d);
                continue;
            }
            for (const std::size_t other : groups[group_of[d]]) merged.push_back(other);
            groups[group_of[d]].clear();
        }
        std::sort(merged.begin(), merged.end());
        merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
        for (const std::size_t d : merged) {
            group_of[d] = groups.size();
            involved[d] = true;
        }
        groups.push_back(merged);
    }
    for (auto& group : groups) {
        if (!group.empty()) s.undetermined.push_back(group);
    }
    std::sort(s.undetermined.begin(), s.undetermined.end());
    const auto rank = static_cast<std::size_t>(std::count(null.begin(), null.end(), false));
    s.degrees_of_freedom = n - rank;
    s.t_95 = student_t_quantile(0.975, static_cast<long>(s.degrees_of_freedom));
    const double s2 = sum_of_squares / static_cast<double>(s.degrees_of_freedom);

    // (J^T J)^+ = D V L^+ V^T D over the determined values; the covariance is
    // s^2 times it, and the correlations are its own, whatever s^2.
    std::vector<std::vector<double>> inverse(p, std::vector<double>(p, 0.0));
    for (std::size_t j = 0; j < q; ++j) {
        for (std::size_t k = 0; k < q; ++k) {
            double sum = 0;
            for (std::size_t m = 0; m < q; ++m) {
                if (!null[m]) sum += e.vectors[m][j] * e.vectors[m][k] / e.values[m];
            }
            inverse[columns[j]][columns[k]] = sum / (norm[columns[j]] * norm[columns[k]]);
        }
    }
    s.standard_errors.assign(p, std::nullopt);
    s.intervals_95.assign(p, std::nullopt);
    s.correlations.assign(p, std::vector<std::optional<double>>(p, std::nullopt));
    for (std::size_t j = 0; j < p; ++j) {
        if (involved[j]) continue;
        const double se = std::sqrt(s2 * inverse[j][j]);
        s.standard_errors[j] = se;
        s.intervals_95[j] = std::make_pair(values[j] - s.t_95 * se, values[j] + s.t_95 * se);
        for (std::size_t k = 0; k < p; ++k) {
            if (involved[k]) continue;
            const double r =
                j == k ? 1.0 : inverse[j][k] / std::sqrt(inverse[j][j] * inverse[k][k]);
            s.correlations[j][k] = std::clamp(r, -1.0, 1.0);
        }
    }
    return s;
}

}  // namespace quarnel
