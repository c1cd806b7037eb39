#include "drawn_strengths.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "reference_model.h"

namespace quarnel::reference {

std::vector<DrawnStep> drawn_strength_run(const CalculationInputs& in,
                                          const std::vector<double>& openings, int most_fibers,
                                          std::uint64_t seed) {
    Tables t;
    build_tables(in, t);
    const double m = in.weibull_m;
    double largest = 0;
    for (int j = 1; j <= 90; j++) {
        for (int i = 1; i <= 90; i++) largest = std::max(largest, cell_weight(in, i, j));
    }
    std::mt19937_64 rng(seed);
    std::vector<double> var_P(openings.size(), 0), var_N(openings.size(), 0);
    std::vector<DrawnStep> out(openings.size());
    std::vector<double> strength;
    std::vector<char> intact;
    for (int k = 0; k <= 100; k++) {
        for (int j = 1; j <= 90; j++) {
            for (int i = 1; i <= 90; i++) {
                int c = (i - 1) + 90 * ((j - 1) + 90 * k);
                float lb = t.lb[c], P1 = t.P1[c], d1 = t.delta1[c];
                if (!(lb > 0)) continue;  // no fiber of the cell reaches the crack
                double count = cell_weight(in, i, j) * (double)in.fiber_number_coefficient;
                int n = std::max(1, (int)std::ceil(most_fibers * cell_weight(in, i, j) / largest));
                double scale = rupture_load_of(in, i, j);
                strength.resize(n);
                intact.assign(n, 1);
                for (double& x : strength) {
                    // u in (0, 1], so that -log(u) is finite.
                    double u = (double)((rng() >> 11) + 1) * 0x1p-53;
                    x = scale * std::pow(-std::log(u), 1 / m);
                }
                for (std::size_t s = 0; s < openings.size(); s++) {
                    double Wcr = openings[s];
                    if (Wcr >= lb) break;  // pulled out, for this and every later opening
                    double load;
                    if (Wcr <= d1) {
                        load = Wcr * (float)((double)P1 / (double)d1);
                    } else {
                        load = P1 + (float)(-(double)P1 / ((double)lb - (double)d1)) * (Wcr - d1);
                    }
                    int left = 0;
                    for (int f = 0; f < n; f++) {
                        if (intact[f] && load > strength[f]) intact[f] = 0;
                        left += intact[f];
                    }
                    double share = (double)left / n;
                    double var = n > 1 ? share * (1 - share) / (n - 1) : 0.25;
                    out[s].P += load * share * count;
                    out[s].N_eff += share * count;
                    var_P[s] += (load * count) * (load * count) * var;
                    var_N[s] += count * count * var;
                }
            }
        }
    }
    for (std::size_t s = 0; s < openings.size(); s++) {
        out[s].P_error = std::sqrt(var_P[s]);
        out[s].N_eff_error = std::sqrt(var_N[s]);
    }
    return out;
}

}  // namespace quarnel::reference
