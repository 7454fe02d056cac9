// The fine grid of the calibration and the lamp-line checks: 64 sub-steps
// per element. Fine index k stands for position 1 + k/64 (element 1 is
// index 0), that is k + 64 in the 1/64-element units of a record.
#pragma once

#include <cstdint>

namespace lumitra::calibration {

inline constexpr std::int32_t kFineSteps = 64;
// Values of the fine form of a 512-element spectrum: (512 + 1) * 64, of
// which indices 0 .. 512*64 are defined.
inline constexpr std::int32_t kFineCount = 512 * kFineSteps + kFineSteps;
// Room the callers allocate for one fine array (515 * 64 values).
inline constexpr std::int32_t kFineAllocation = 515 * kFineSteps;
// Fine index to record position.
inline constexpr std::int32_t kFineToRecord = kFineSteps;

// Resamples `count` element values onto the fine grid: each value is cut to
// thousandths, a clamped spline is laid through them and evaluated 64 times
// per element, and the truncated values are divided back by 1000. `fine`
// receives count*64 + 64 values (the last 63 are 0). Returns S_OK,
// E_OUTOFMEMORY or the status of the spline interpolation; the fine array
// is written only on success.
std::int32_t ResampleToFineGrid(std::int16_t count, const double* spectrum, double* fine);

}  // namespace lumitra::calibration
