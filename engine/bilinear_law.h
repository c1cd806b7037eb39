#pragma once

// The bi-linear pull-out law with its pull-out and rupture tests, written once
// for one opening (W = double) and for one lane per crack-opening step (W a
// vector of doubles). This header includes nothing: the translation units
// built for wider instruction sets include it.

namespace quarnel {

// One cell's law, every value widened to double from its stored width: lb,
// delta1 and P1 from the 32-bit tables, the 32-bit ratio r = P1 / delta1 and
// slope s = -P1 / (lb - delta1), and the rupture load.
struct BilinearCell {
    double lb = 0;
    double delta1 = 0;
    double P1 = 0;
    double ratio = 0;
    double slope = 0;
    double P_rupture = 0;
};

template <class W, class Mask>
struct BilinearResponse {
    W load;        // the fiber load where the cell still bridges
    Mask dropped;  // pulled out (Wcr >= lb) or ruptured (load > P_rupture)
};

// Pulled out when Wcr >= lb; otherwise Wcr r on the rising branch (Wcr <=
// delta1) or P1 + s (Wcr - delta1) on the falling one, and ruptured when that
// load is strictly above P_rupture: a load equal to it holds.
//
// Internal linkage on purpose: each instruction set's copy must stay in its
// own translation unit, never merged with another by the linker.
template <class W>
static inline auto bilinear_response(const BilinearCell& c, W Wcr) {
    using Mask = decltype(Wcr >= c.lb);
    const Mask pulled_out = Wcr >= c.lb;
    const W load = Wcr <= c.delta1 ? Wcr * c.ratio : c.P1 + c.slope * (Wcr - c.delta1);
    const Mask ruptured = load > c.P_rupture;
    return BilinearResponse<W, Mask>{load, static_cast<Mask>(pulled_out | ruptured)};
}

}  // namespace quarnel
