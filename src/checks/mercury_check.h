#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::checks {

// Deuterium lines 486.0 and 656.1 nm and the mercury lines 253.7 (first
// mercury spectrum), 404.7, 435.8 and 546.1 nm (second) in entries 0 to 5.
// The export has checked every pointer but the background.
std::int32_t DoWavelengthCheckD2Hg(double tolerance, const CalibrationRecord& calibration,
                                   const double* background, const double* d2, const double* hg1,
                                   const double* hg2, WavelengthCheckResult* result);

}  // namespace lumitra::checks
