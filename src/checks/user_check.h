#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::checks {

// Up to four lines of the host's choice, each searched as a peak or a
// valley of second - first resampled to 0.01 nm over 190.00 .. 800.00 nm.
std::int32_t DoUserDefinedWavelengthCheck(std::int32_t display, const CalibrationRecord* calibration,
                                          const double* first, const double* second,
                                          UserCheckList* lines);

}  // namespace lumitra::checks
