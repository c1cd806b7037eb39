// The text-to-number rule on arbitrary bytes: always a number (finite, an
// infinity or a signed zero), never "not a number", and no undefined
// behaviour on the way.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/text_to_number.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double x = quarnel::read_number(text);
    if (std::isnan(x)) std::abort();
    // The same text always reads the same.
    const double again = quarnel::read_number(text);
    if (!(again == x) || std::signbit(again) != std::signbit(x)) std::abort();
    return 0;
}
