// The fixed display grid: 611 wavelengths 190.00 .. 800.00 nm in 1-nm steps
// (19000 + 100*i in 0.01 nm), independent of any calibration.
#pragma once

#include <cstdint>

namespace lumitra::optics {

inline constexpr std::int32_t kDisplayGridCount = 611;
inline constexpr std::int32_t kDisplayGridFirst = 19000;
inline constexpr std::int32_t kDisplayGridStep = 100;
inline constexpr std::int32_t kDisplayGridLast = 80000;

// Writes the 611 grid wavelengths into table[0..610].
inline void FillDisplayGrid(std::int32_t* table) noexcept {
    std::int32_t i = 0;
    for (std::int32_t wavelength = kDisplayGridFirst; wavelength <= kDisplayGridLast;
         wavelength += kDisplayGridStep)
        table[i++] = wavelength;
}

}  // namespace lumitra::optics
