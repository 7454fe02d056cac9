// The three calibration entry points behind the exports. The exports have
// checked the pointers each one requires and the kind of the combined
// entry.
#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::calibration {

// Line-search methods of the two-line calibration.
inline constexpr std::int32_t kFineGridMethod = 0;  // any other value: refinement
// Kinds of the combined entry.
inline constexpr std::int32_t kTwoLineKind = 0;
inline constexpr std::int32_t kWideSlitKind = 1;

std::int32_t DoWavelengthCalibration(std::int32_t method, const double* dark1,
                                     const double* spectrum1, const double* dark2,
                                     const double* spectrum2, CalibrationRecord* record);
std::int32_t DoWavelengthCalibrationForWideSlit(const double* spectrum, CalibrationRecord* record);
std::int32_t DoWavelengthCalibrationEx(std::int32_t method, const double* spectrum1,
                                       const double* spectrum2, double* copy1, double* copy2,
                                       CalibrationRecord* record, std::int32_t kind);

}  // namespace lumitra::calibration
