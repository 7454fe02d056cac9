// Making and range-testing a new calibration record.
#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"
#include "optics/dispersion.h"

namespace lumitra::calibration {

// Reference wavelengths of every record the calibration writes (0.01 nm),
// and the same lines in nm.
inline constexpr std::int32_t kSecondLineWavelength = 36080;  // 360.80 nm
inline constexpr std::int32_t kAnchorLineWavelength = 65610;  // 656.10 nm
inline constexpr double kSecondLine = kSecondLineWavelength / 100.0;
inline constexpr double kAnchorLine = kAnchorLineWavelength / 100.0;

// The range test of a new calibration: the low wavelength must not fall
// below the low position, nor the high one beyond the high position.
inline constexpr double kRangeLowWavelength = 190.0;
inline constexpr double kRangeLowPosition = 3.0;
inline constexpr double kRangeHighWavelength = 800.0;
inline constexpr double kRangeHighPosition = 510.0;

// Writes where `dispersion` puts the two test wavelengths into *low and
// *high; S_OK when both lie within the range (a NaN position passes, as
// the comparisons are written), else E_CALIBRATION_RANGE.
std::int32_t RangeTest(const optics::DispersionParameters& dispersion, double* low, double* high);

// Writes {36080, position1, 65610, position2} (positions in 1/64 element,
// as unsigned 16-bit values) and range-tests the dispersion it gives, the
// default one never (two positions of 0 give slope 0). Returns S_OK or
// E_CALIBRATION_RANGE; the record is written in both cases.
std::int32_t MakeCalibrationRecord(std::uint16_t position1, std::uint16_t position2,
                                   CalibrationRecord* record);

}  // namespace lumitra::calibration
