#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::checks {

// Deuterium lines 486.0 and 656.1 nm and, with a holmium spectrum, the
// holmium-oxide bands 287.6 and 360.8 nm (entries 0 to 3 of the result).
// The export has checked calibration, d2 and result.
std::int32_t DoWavelengthCheckD2Ho(double tolerance, const CalibrationRecord& calibration,
                                   const double* d2Background, const double* d2,
                                   const double* hoBackground, const double* ho,
                                   WavelengthCheckResult* result);

}  // namespace lumitra::checks
