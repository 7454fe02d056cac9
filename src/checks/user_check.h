#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::checks {

// What a request may hold: 1 .. 4 lines, an option of 0 .. 3.
inline constexpr std::int16_t kUserCheckMaxLines = 4;
inline constexpr std::int16_t kUserCheckMaxOption = 3;

// Up to four lines of the host's choice, each searched as a peak or a
// valley of second - first resampled to 0.01 nm over 190.00 .. 800.00 nm.
// The export has checked the pointers, the line count and the option.
std::int32_t DoUserDefinedWavelengthCheck(std::int32_t display,
                                          const CalibrationRecord& calibration, const double* first,
                                          const double* second, UserCheckList& lines);

}  // namespace lumitra::checks
