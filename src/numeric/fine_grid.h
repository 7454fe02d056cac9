// The fine grid of the calibration and the lamp-line checks: 64 sub-steps
// per element. Fine index k stands for position 1 + k/64 (element 1 is
// index 0), that is k + 64 in the 1/64-element units of a record.
#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::numeric {

inline constexpr std::int32_t kFineSteps = 64;
// Values of the fine form of a 512-element spectrum: (512 + 1) * 64, of
// which indices 0 .. 512*64 are defined.
inline constexpr std::int32_t kLastDefinedFineIndex = LUMITRA_ELEMENT_COUNT * kFineSteps;
inline constexpr std::int32_t kFineCount = kLastDefinedFineIndex + kFineSteps;
// Room the callers allocate for one fine array (515 * 64 values).
inline constexpr std::int32_t kFineAllocation = (LUMITRA_ELEMENT_COUNT + 3) * kFineSteps;
// Fine index to record position.
inline constexpr std::int32_t kFineToRecord = kFineSteps;

// Element values enter the spline as whole thousandths in 32-bit integers;
// larger magnitudes than this do not fit.
inline constexpr double kFineScale = 1000.0;
inline constexpr double kFineValueLimit = INT32_MAX / kFineScale;

// The low-frequency filter of the fine-grid calibration and the holmium
// check: ten elements on either side, which leaves narrow lines on a flat
// base.
inline constexpr std::int32_t kLineFilterHalfWidth = 10 * kFineSteps;

// A line's base is taken this many elements on either side of its peak.
inline constexpr std::int32_t kBaselineElements = 20;
inline constexpr std::int32_t kBaselineSpan = kBaselineElements * kFineSteps;

// Position in elements of fine index k.
inline double PositionOfFineIndex(std::int32_t k) { return k * 0.015625 + 1.0; }

// Resamples `count` element values onto the fine grid: each value is cut to
// thousandths, a clamped spline is laid through them and evaluated 64 times
// per element, and the truncated values are divided back by 1000. `fine`
// receives count*64 + 64 values (the last 63 are 0). Returns S_OK,
// E_OUTOFMEMORY or the status of the spline interpolation; the fine array
// is written only on success.
std::int32_t ResampleToFineGrid(std::int16_t count, const double* spectrum, double* fine);

}  // namespace lumitra::numeric
