#include "bits.h"

#include <bit>
#include <cstdint>

namespace quarnel_test {

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}  // namespace quarnel_test
