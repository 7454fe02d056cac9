#include "optics/element_lookup.h"

#include <utility>

#include "numeric/wrapping_int.h"

namespace lumitra::optics {

std::uint16_t NearestElement(std::int32_t target, const std::int32_t* table,
                             std::int32_t n) noexcept {
    std::int32_t best = INT32_MAX;
    std::uint16_t index = 0;
    // The signed difference is compared before taking its magnitude: every
    // entry below the target replaces the index while the walk passes it,
    // and the first entry at least as near above it wins a tie.
    for (std::int32_t i = 0; i < n; ++i) {
        // Differences of wavelengths as the detector tools form them: 32-bit
        // and wrapping.
        const std::int32_t d = numeric::WrapSub(table[i], target);
        if (d <= best) {
            best = numeric::WrapAbs(d);
            index = static_cast<std::uint16_t>(i);
        }
    }
    return index;
}

ElementRange ElementRangeOf(std::int32_t wavelength1, std::int32_t wavelength2,
                            const std::int32_t* table, std::int32_t n) noexcept {
    ElementRange range;
    if (wavelength1 == wavelength2) {
        range.first = range.last = NearestElement(wavelength1, table, n);
        return range;
    }
    // Only the outer ends are clamped onto the table.
    if (wavelength1 < table[0]) wavelength1 = table[0];
    if (wavelength2 > table[n - 1]) wavelength2 = table[n - 1];

    for (std::int32_t i = 0; i + 1 < n; ++i) {
        if (table[i] <= wavelength1 && wavelength1 <= table[i + 1]) {
            range.first = static_cast<std::uint16_t>(table[i] == wavelength1 ? i : i + 1);
            break;
        }
    }
    for (std::int32_t i = 0; i + 1 < n; ++i) {
        if (table[i] <= wavelength2 && wavelength2 <= table[i + 1]) {
            range.last = static_cast<std::uint16_t>(table[i + 1] == wavelength2 ? i + 1 : i);
            break;
        }
    }
    if (static_cast<std::int16_t>(range.first) > static_cast<std::int16_t>(range.last))
        std::swap(range.first, range.last);
    return range;
}

}  // namespace lumitra::optics
