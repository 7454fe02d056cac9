// The grating model of the polychromator and its calibration.
//
// The nominal model maps a wavelength (nm) to a model position on the diode
// array (elements, element 1 = 1.0) and back; a CalibrationRecord adds a
// linear correction from model positions to measured positions, anchored
// at its second reference line. Every expression keeps the operation order
// of the detector's firmware tools, because table entries are truncated to
// 0.01 nm afterwards and the order decides the last digit in rare cases.
#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::optics {

// Slope, model position and measured position of the linear correction.
struct DispersionParameters {
    double slope;
    double modelPosition;
    double measuredPosition;
};

// Parameters of an uncalibrated array (the 656.1 nm line at element 383.0).
inline constexpr DispersionParameters kDefaultDispersion{1.000116, 385.03, 383.0};

double DegToRad(double degrees);
double RadToDeg(double radians);
double WavelengthToPosition(double wavelength);
// x cut (not rounded) to two decimals: 385.0350 gives 385.03, -1.239 -1.23.
double RoundToHundredth(double x);
void PositionToWavelength(double position, double slope, double modelPosition,
                          double measuredPosition, double* wavelength);
// Fills (last - first + 1) * steps entries, element-major; count = entries.
void BuildWavelengthTable(std::int32_t* table, std::int32_t* count, double slope,
                          double modelPosition, double measuredPosition, std::int16_t first,
                          std::int16_t last, std::int16_t steps);
void BuildWavelengthArray(double* array, std::int32_t* count, double slope, double modelPosition,
                          double measuredPosition, std::int16_t first, std::int16_t last,
                          std::int16_t steps);
// The parameters of a record: the default dispersion when both positions
// are 0, else those of DecodeCalibratedRecord.
DispersionParameters DecodeCalibration(const CalibrationRecord& record);
// The linear correction the record's two lines give, whatever its positions.
DispersionParameters DecodeCalibratedRecord(const CalibrationRecord& record);
// Note the argument order: the slope comes last.
double CalibratedPosition(double wavelength, double modelPosition, double measuredPosition,
                          double slope);
double NominalElementOf(double wavelength);

}  // namespace lumitra::optics
