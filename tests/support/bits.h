#pragma once

namespace quarnel_test {

// Whether two doubles hold the same 64 bits: -0 is not 0, and a NaN is the
// same as its copy.
bool same_bits(double a, double b);

}  // namespace quarnel_test
