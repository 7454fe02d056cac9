// The largest of a series of signal voltages, as a whole number.
#pragma once

#include <cstdint>

namespace lumitra::lamps {

// Starts at -2147483648.0 and takes every value strictly above the maximum
// so far (a NaN never replaces it); the result is truncated toward zero.
std::int32_t MaxVoltage(const double* values, std::int32_t count) noexcept;

}  // namespace lumitra::lamps
