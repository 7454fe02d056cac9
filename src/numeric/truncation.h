// Conversion from double to int32 by truncation toward zero, as the x86
// conversion instruction (cvttsd2si) performs it: values whose truncation
// does not fit (and NaN) give INT32_MIN. Defining it here
// keeps every build identical and free of undefined conversions.
#pragma once

#include <cstdint>

namespace lumitra::numeric {

inline std::int32_t TruncateToInt32(double value) noexcept {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

}  // namespace lumitra::numeric
