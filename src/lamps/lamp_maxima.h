// Value at a reference wavelength and maximum within a band of a lamp
// spectrum, for the deuterium and the tungsten lamp. The spectrum comes on
// the 1-nm display grid, or per diode element with its wavelength table.
#pragma once

#include <cstdint>

#include "numeric/cubic_spline.h"

namespace lumitra::lamps {

// One lamp's reference point and band, in display-grid indices (190 + i nm)
// and in 0.01 nm (both ends included).
struct LampBand {
    std::int32_t referenceIndex;
    std::int32_t firstIndex;
    std::int32_t lastIndex;
    std::int32_t firstWavelength;
    std::int32_t lastWavelength;
};
// 230 nm; 200.00 .. 260.00 nm.
inline constexpr LampBand kDeuteriumBand{40, 10, 70, 20000, 26000};
// 600 nm; 400.00 .. 800.00 nm.
inline constexpr LampBand kTungstenBand{410, 210, 610, 40000, 80000};

// Knots the element form accepts: a spline needs three, its knot table
// holds 1024.
inline constexpr std::int32_t kMinElementKnots = numeric::kCubicSplineMinKnots;
inline constexpr std::int32_t kMaxElementKnots = 1024;

struct LampMaxima {
    double reference = 0.0;
    double maximum = -2147483648.0;        // start value: no point in the band above it
    std::int32_t maximumWavelength = -1;  // 0.01 nm; -1 with the start value
};

// Display-grid spectrum of 611 values.
LampMaxima DisplayGridMaxima(const LampBand& band, const double* spectrum) noexcept;

// n values at strictly increasing wavelengths (0.01 nm), 3 <= n <= 1024.
// The reference value is the rounded clamped spline of the truncated
// spectrum on the display grid; the maximum is taken over the measured
// points. Statuses: S_OK (*maxima set), E_OUTOFMEMORY, E_FAIL (n < 3 or
// wavelengths not increasing); *maxima is written only on S_OK.
std::int32_t ElementMaxima(const LampBand& band, const std::int32_t* wavelengths, std::int32_t n,
                           const double* spectrum, LampMaxima* maxima) noexcept;

}  // namespace lumitra::lamps
