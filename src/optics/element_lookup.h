// Lookup of elements in a wavelength table (entries in 0.01 nm, ascending,
// index 0 first): the element nearest to a wavelength, and the elements
// that a wavelength range covers.
#pragma once

#include <cstdint>

namespace lumitra::optics {

// Index of the entry nearest to target (at equal distance the entry above
// wins), truncated to 16 bits; 0 when n < 1 (the table is not read).
std::uint16_t NearestElement(std::int32_t target, const std::int32_t* table,
                             std::int32_t n) noexcept;

struct ElementRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;
};

// first: lowest element at or above wavelength1; last: highest element at
// or below wavelength2; exchanged when first > last. Equal wavelengths give
// the nearest element twice. Reads table[0..n-1]; n >= 1 when the
// wavelengths differ.
ElementRange ElementRangeOf(std::int32_t wavelength1, std::int32_t wavelength2,
                            const std::int32_t* table, std::int32_t n) noexcept;

}  // namespace lumitra::optics
