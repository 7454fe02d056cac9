// Making and range-testing a new calibration record.
#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::calibration {

// Reference wavelengths of every record the calibration writes (0.01 nm).
inline constexpr std::int32_t kSecondLineWavelength = 36080;  // 360.80 nm
inline constexpr std::int32_t kAnchorLineWavelength = 65610;  // 656.10 nm

// Writes {36080, position1, 65610, position2} (positions in 1/64 element,
// as unsigned 16-bit values) and tests the new dispersion: 190 nm must not
// fall below position 3.0 nor 800 nm beyond 510.0. Returns S_OK or
// E_CALIBRATION_RANGE; the record is written in both cases.
std::int32_t MakeCalibrationRecord(std::uint16_t position1, std::uint16_t position2,
                                   CalibrationRecord* record);

}  // namespace lumitra::calibration
