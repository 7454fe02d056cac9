// 32-bit integer arithmetic that wraps on overflow, as the detector's
// integer code does on x86, without the undefined behaviour of signed
// overflow in C++. Every wrapping sum, difference, product and magnitude of
// the library is written with these.
#pragma once

#include <cstdint>

namespace lumitra::numeric {

inline std::int32_t WrapAdd(std::int32_t a, std::int32_t b) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

inline std::int32_t WrapSub(std::int32_t a, std::int32_t b) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

inline std::int32_t WrapMul(std::int32_t a, std::int32_t b) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// |value| as an unsigned number: exact for every value, INT32_MIN included.
inline std::uint32_t Magnitude(std::int32_t value) noexcept {
    return value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
}

// |value| in 32 bits: INT32_MIN stays INT32_MIN.
inline std::int32_t WrapAbs(std::int32_t value) noexcept {
    return static_cast<std::int32_t>(Magnitude(value));
}

}  // namespace lumitra::numeric
