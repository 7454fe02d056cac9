#include "calibration/calibration_record.h"

namespace lumitra::calibration {

std::int32_t RangeTest(const optics::DispersionParameters& d, double* low, double* high) {
    *low = optics::CalibratedPosition(kRangeLowWavelength, d.modelPosition, d.measuredPosition,
                                      d.slope);
    *high = optics::CalibratedPosition(kRangeHighWavelength, d.modelPosition, d.measuredPosition,
                                       d.slope);
    if (*low < kRangeLowPosition) return E_CALIBRATION_RANGE;
    if (*high > kRangeHighPosition) return E_CALIBRATION_RANGE;
    return S_OK;
}

std::int32_t MakeCalibrationRecord(std::uint16_t position1, std::uint16_t position2,
                                   CalibrationRecord* record) {
    *record = CalibrationRecord{kSecondLineWavelength, position1, kAnchorLineWavelength, position2};
    double low, high;
    return RangeTest(optics::DecodeCalibratedRecord(*record), &low, &high);
}

}  // namespace lumitra::calibration
