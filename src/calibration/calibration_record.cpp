#include "calibration/calibration_record.h"

#include "optics/dispersion.h"

namespace lumitra::calibration {

std::int32_t MakeCalibrationRecord(std::uint16_t position1, std::uint16_t position2,
                                   CalibrationRecord* record) {
    *record = CalibrationRecord{kSecondLineWavelength, position1, kAnchorLineWavelength, position2};

    // The parameters DecodeCalibration derives from the new record.
    using namespace optics;
    const double x1 = position1 * 0.015625;
    const double x2 = position2 * 0.015625;
    const double m1 = RoundToHundredth(WavelengthToPosition(360.8));
    const double m2 = RoundToHundredth(WavelengthToPosition(656.1));
    const double slope = (x2 - x1) / (m2 - m1);
    // A NaN position passes both tests, as the comparisons are written.
    if (CalibratedPosition(190.0, m2, x2, slope) < 3.0) return E_CALIBRATION_RANGE;
    if (CalibratedPosition(800.0, m2, x2, slope) > 510.0) return E_CALIBRATION_RANGE;
    return S_OK;
}

}  // namespace lumitra::calibration
