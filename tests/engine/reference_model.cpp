#include "reference_model.h"

#include <cmath>

namespace quarnel::reference {

namespace {

const double PI = 3.141592654;

int idx(int i, int j, int k) {
    return (i - 1) + 90 * ((j - 1) + 90 * k);
}

struct Coeffs {
    double Oa, Ob, Oc;
};

Coeffs coefficients(float k, double t) {
    double S = std::sin(t) * std::sin(t);
    double den = ((double)k - 1) * S + 1;
    return {(1 - (double)k) * std::sin(2 * t) / den, ((double)k - ((double)k - 1) * S) / den,
            1 / den};
}

double density(double alpha, float k, Coeffs c) {
    return ((std::sqrt((double)k) / PI) * c.Oc) /
           ((std::cos(alpha) * std::cos(alpha) + (c.Oa * std::sin(alpha)) * std::cos(alpha)) +
            c.Ob * (std::sin(alpha) * std::sin(alpha)));
}

double theta_s_of(const CalculationInputs& in, int phi, int psi) {
    double half = PI / 2;
    double a = in.crack_xy_rad + phi * in.deg_to_rad;
    double b = in.crack_zx_rad + psi * in.deg_to_rad;
    double off;
    if (a > half) {
        a = a - half;
        off = half;
        if (b > half) b = b - half;
    } else {
        if (b > half) {
            b = b - half;
            off = half;
        } else {
            off = 0;
        }
    }
    double X = std::fabs(std::cos(b)) * std::fabs(std::cos(a));
    if (X == 1) return 0;
    return (half - std::atan(X / std::sqrt(1 - X * X))) + off;
}

}  // namespace

double cell_weight(const CalculationInputs& in, int i, int j) {
    Coeffs cxy = coefficients(in.kxy, in.theta_r_xy_rad);
    Coeffs czx = coefficients(in.kzx, in.theta_r_zx_rad);
    double wxy = density((2 * i - 91) * in.deg_to_rad, in.kxy, cxy) * in.angle_step;
    double wzx = density((2 * j - 91) * in.deg_to_rad, in.kzx, czx) * in.angle_step;
    return wxy * wzx;
}

double rupture_load_of(const CalculationInputs& in, int i, int j) {
    double ts = theta_s_of(in, 2 * i - 91, 2 * j - 91);
    return (double)in.sigma_fu * std::exp(-(double)in.f_reduction * ts) * (double)in.Af;
}

void build_tables(const CalculationInputs& in, Tables& t) {
    t.fiber_flag.assign(90 * 90 * 101, 0);
    t.lb.assign(90 * 90 * 101, 0);
    t.P1.assign(90 * 90 * 101, 0);
    t.delta1.assign(90 * 90 * 101, 0);
    for (int k = 0; k <= 100; k++) {
        float z = (float)(-((double)in.Lf / 2) * (100 - k) / 100);
        int j = 0;
        for (int psi = -89; psi <= 89; psi += in.angle_step_deg) {
            j++;
            int i = 0;
            for (int phi = -89; phi <= 89; phi += in.angle_step_deg) {
                i++;
                t.fiber_flag[idx(i, j, k)] = 1;
                double X = std::fabs(std::cos(phi * in.deg_to_rad)) *
                           std::fabs(std::cos(psi * in.deg_to_rad));
                double theta = PI / 2 - std::atan(X / std::sqrt(1 - X * X));
                double lb = (z + ((double)in.Lf / 2) * std::cos(theta)) / std::cos(theta);
                if (lb < 0 || std::isnan(lb)) lb = 0;
                t.lb[idx(i, j, k)] = (float)lb;
                double ts = theta_s_of(in, phi, psi);
                double lbs = t.lb[idx(i, j, k)];
                float fp = (float)(in.fp0 + (double)in.fp1 * lbs);
                float fd = (float)(in.fd0 + (double)in.fd1 * lbs);
                double P_base, delta_base;
                if (in.model == 1) {
                    P_base = in.Pmax;
                    delta_base = in.delta_max;
                } else {
                    P_base = in.Pmax * std::pow(lbs, in.delta_max);
                    delta_base = in.C * std::pow(lbs, in.D);
                }
                t.P1[idx(i, j, k)] = (float)(P_base * std::exp((double)fp * ts));
                t.delta1[idx(i, j, k)] = (float)(delta_base * std::exp((double)fd * ts));
            }
        }
    }
}

std::vector<double> division_openings(const CalculationInputs& in) {
    std::vector<double> out;
    double Wcr_mid;
    if (in.model == 1) {
        Wcr_mid = in.delta_max;
    } else {
        Wcr_mid = in.C * std::pow((double)(float)((double)in.Lf / 2), in.D);
    }
    short N = in.division;
    short last = (short)(2 * N);
    for (short n = 0; n <= last; n++) {
        double Wcr;
        if (n <= N) {
            Wcr = Wcr_mid * n / N;
        } else {
            Wcr = Wcr_mid + ((double)(float)((double)in.Lf / 2) - Wcr_mid) * (n - N) / N;
        }
        out.push_back(Wcr);
    }
    return out;
}

std::vector<StepValues> run_steps(const CalculationInputs& in, Tables& t) {
    return run_steps_at(in, t, division_openings(in));
}

std::vector<StepValues> run_steps_at(const CalculationInputs& in, Tables& t,
                                     const std::vector<double>& openings) {
    std::vector<StepValues> out;
    Coeffs cxy = coefficients(in.kxy, in.theta_r_xy_rad);
    Coeffs czx = coefficients(in.kzx, in.theta_r_zx_rad);
    double P_top = -999999, sigma_top = -999999;
    // Scattered strength: the largest load each cell has carried.
    const double m = in.weibull_m;
    std::vector<double> L(t.fiber_flag.size(), 0.0);
    for (int n = 0; n < (int)openings.size(); n++) {
        double Wcr = openings[n];
        double P = 0, N_eff = 0;
        for (int k = 0; k <= 100; k++) {
            int j = 0;
            for (int psi = -89; psi <= 89; psi += 2) {
                j++;
                double wzx = density(psi * in.deg_to_rad, in.kzx, czx) * in.angle_step;
                int i = 0;
                for (int phi = -89; phi <= 89; phi += 2) {
                    i++;
                    int c = idx(i, j, k);
                    if (t.fiber_flag[c] != 1) continue;
                    double wxy = density(phi * in.deg_to_rad, in.kxy, cxy) * in.angle_step;
                    double ts = theta_s_of(in, phi, psi);
                    double P_rupture = (double)in.sigma_fu *
                                       std::exp(-(double)in.f_reduction * ts) * (double)in.Af;
                    double P_fiber;
                    float lb = t.lb[c], P1 = t.P1[c], d1 = t.delta1[c];
                    if (Wcr >= lb) {
                        t.fiber_flag[c] = 0;
                        P_fiber = 0;
                    } else {
                        if (Wcr <= d1) {
                            float r = (float)((double)P1 / (double)d1);
                            P_fiber = Wcr * r;
                        } else {
                            float s = (float)(-(double)P1 / ((double)lb - (double)d1));
                            P_fiber = P1 + s * (Wcr - d1);
                        }
                        if (m <= 0 && P_fiber > P_rupture) {
                            P_fiber = 0;
                            t.fiber_flag[c] = 0;
                        }
                    }
                    if (m > 0) {
                        if (t.fiber_flag[c] == 0) continue;
                        if (P_fiber > L[c]) L[c] = P_fiber;
                        double share = std::exp(-std::pow(L[c] / P_rupture, m));
                        P = P + P_fiber * share * wxy * wzx * (double)in.fiber_number_coefficient;
                        N_eff = N_eff + wxy * wzx * (double)in.fiber_number_coefficient * share;
                        continue;
                    }
                    P = P + P_fiber * wxy * wzx * (double)in.fiber_number_coefficient;
                    N_eff =
                        N_eff + t.fiber_flag[c] * wxy * wzx * (double)in.fiber_number_coefficient;
                }
            }
        }
        double sigma = P / in.Am;
        double ratio = N_eff / in.total_fiber;
        if (P >= P_top) {
            P_top = P;
            sigma_top = sigma;
        }
        out.push_back({n, Wcr, P, sigma, N_eff, ratio, P_top, sigma_top});
    }
    return out;
}

std::vector<StepValues> run(const CalculationInputs& in) {
    Tables t;
    build_tables(in, t);
    return run_steps(in, t);
}

std::vector<StepValues> run_at(const CalculationInputs& in, const std::vector<double>& openings) {
    Tables t;
    build_tables(in, t);
    return run_steps_at(in, t, openings);
}

}  // namespace quarnel::reference
