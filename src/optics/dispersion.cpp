#include "optics/dispersion.h"

#include <cmath>

#include "numeric/truncation.h"

namespace lumitra::optics {
namespace {
constexpr double kPi = 3.141592653589793;
constexpr double kGroovesPerMm = 430;
constexpr double kNmPerMm = 1000000;
constexpr double kIncidenceDeg = 6.0;
constexpr double kArrayTiltDeg = 27.97374;
constexpr double kFocalDistanceMm = 85.6875;
constexpr double kReferenceOffsetMm = 26.5913;
constexpr double kDiodePitchMm = 0.05;
constexpr double kReferenceElement = 10.0;
constexpr double kOffsetOverFocal = 0.31032881108679794;  // 26.5913 / 85.6875
constexpr double kPitchOverFocal = 0.0005835156819839533; // 0.05 / 85.6875
constexpr double kIncidenceRad = 0.10471975511965977;     // DegToRad(6.0)
constexpr double kTwoPi = 6.283185307179586;
constexpr double kDegreesPerTurn = 360.0;
}  // namespace

double DegToRad(double degrees) { return degrees * kPi / 180; }

double RadToDeg(double radians) { return radians * 180 / kPi; }

double WavelengthToPosition(double wavelength) {
    const double tilt = DegToRad(kArrayTiltDeg);
    const double incidence = std::sin(DegToRad(kIncidenceDeg));
    const double beta = std::asin(incidence + wavelength * kGroovesPerMm / kNmPerMm);
    const double x = std::tan(tilt - beta) * kFocalDistanceMm;
    return (kReferenceOffsetMm - x) / kDiodePitchMm + kReferenceElement;
}

double RoundToHundredth(double x) { return numeric::TruncateToInt32(x * 100) / 100.0; }

void PositionToWavelength(double position, double slope, double modelPosition,
                          double measuredPosition, double* wavelength) {
    const double q = (position - measuredPosition) / slope + modelPosition;
    const double u = kOffsetOverFocal - (q - kReferenceElement) * kPitchOverFocal;
    const double theta = kArrayTiltDeg - RadToDeg(std::atan(u));
    *wavelength = (std::sin(DegToRad(theta)) - std::sin(DegToRad(kIncidenceDeg))) /
                  kGroovesPerMm * kNmPerMm;
}

namespace {
// One loop for both element types of the table builders.
template <typename Entry, typename Convert>
void BuildTable(Entry* out, std::int32_t* count, double slope, double modelPosition,
                double measuredPosition, std::int16_t first, std::int16_t last,
                std::int16_t steps, Convert convert) {
    *count = 0;
    if (first > last) return;
    const auto elements = static_cast<std::uint16_t>(last - first + 1);
    std::int32_t written = 0;
    for (std::uint16_t n = 0; n < elements; ++n) {
        const int element = first + n;
        for (int j = 0; j < steps; ++j) {
            const double position =
                static_cast<double>(j) / static_cast<double>(steps) + element;
            double wavelength;
            PositionToWavelength(position, slope, modelPosition, measuredPosition, &wavelength);
            out[written++] = convert(wavelength);
        }
    }
    *count = written;
}
}  // namespace

void BuildWavelengthTable(std::int32_t* table, std::int32_t* count, double slope,
                          double modelPosition, double measuredPosition, std::int16_t first,
                          std::int16_t last, std::int16_t steps) {
    BuildTable(table, count, slope, modelPosition, measuredPosition, first, last, steps,
               [](double wavelength) { return numeric::TruncateToInt32(wavelength * 100); });
}

void BuildWavelengthArray(double* array, std::int32_t* count, double slope, double modelPosition,
                          double measuredPosition, std::int16_t first, std::int16_t last,
                          std::int16_t steps) {
    BuildTable(array, count, slope, modelPosition, measuredPosition, first, last, steps,
               [](double wavelength) { return wavelength; });
}

DispersionParameters DecodeCalibration(const CalibrationRecord& record) {
    if (record.position1 == 0 && record.position2 == 0) return kDefaultDispersion;
    return DecodeCalibratedRecord(record);
}

DispersionParameters DecodeCalibratedRecord(const CalibrationRecord& record) {
    const double m1 = RoundToHundredth(WavelengthToPosition(record.wavelength1 / 100.0));
    const double m2 = RoundToHundredth(WavelengthToPosition(record.wavelength2 / 100.0));
    const double p1 = record.position1 * 0.015625;
    const double p2 = 0.015625 * record.position2;
    return {(p2 - p1) / (m2 - m1), m2, p2};
}

double CalibratedPosition(double wavelength, double modelPosition, double measuredPosition,
                          double slope) {
    return (RoundToHundredth(WavelengthToPosition(wavelength)) - modelPosition) * slope +
           measuredPosition;
}

double NominalElementOf(double wavelength) {
    const double s = std::sin(kIncidenceRad);
    const double b = std::asin(s + wavelength * kGroovesPerMm / kNmPerMm) / kTwoPi;
    const double d = b * kDegreesPerTurn;
    const double h = (kArrayTiltDeg - d) / kDegreesPerTurn;
    const double angle = (h + h) * kPi;
    const double p =
        (kReferenceOffsetMm - std::tan(angle) * kFocalDistanceMm) / kDiodePitchMm +
        kReferenceElement;
    return numeric::TruncateToInt32(p);
}

}  // namespace lumitra::optics
