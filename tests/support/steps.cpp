#include "steps.h"

#include <gtest/gtest.h>

#include <iomanip>

#include "bits.h"

namespace quarnel_test {

void expect_same_steps(const std::vector<quarnel::StepValues>& a,
                       const std::vector<quarnel::StepValues>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t s = 0; s < a.size(); ++s) {
        const auto same = [&](const char* name, double x, double y) {
            EXPECT_TRUE(same_bits(x, y)) << "step " << s << ", " << name << ": "
                                         << std::setprecision(17) << x << " vs " << y;
        };
        EXPECT_EQ(a[s].n, b[s].n) << "step " << s;
        same("Wcr", a[s].Wcr, b[s].Wcr);
        same("P", a[s].P, b[s].P);
        same("sigma", a[s].sigma, b[s].sigma);
        same("N_eff", a[s].N_eff, b[s].N_eff);
        same("effective_fiber_ratio", a[s].effective_fiber_ratio, b[s].effective_fiber_ratio);
        same("P_top", a[s].P_top, b[s].P_top);
        same("sigma_top", a[s].sigma_top, b[s].sigma_top);
    }
}

}  // namespace quarnel_test
