// The range test of new calibration records.
#include <gtest/gtest.h>

#include "calibration/calibration_record.h"

namespace lumitra::calibration {
namespace {

TEST(MakeCalibrationRecord, RangeTestAndRecordAlwaysWritten) {
    // {36080, 9510, 65610, 24640} passes (190 nm at 10.0035, 800 nm at
    // 502.153); both positions moved together pass from -448 to +502.
    struct Case {
        int shift;
        int32_t status;
    };
    const Case cases[] = {{0, S_OK},      {-448, S_OK},  {502, S_OK}, {-449, E_CALIBRATION_RANGE},
                          {503, E_CALIBRATION_RANGE}, {-2000, E_CALIBRATION_RANGE},
                          {3000, E_CALIBRATION_RANGE}};
    for (const auto& c : cases) {
        CalibrationRecord record{1, 2, 3, 4};
        const auto p1 = static_cast<uint16_t>(9510 + c.shift);
        const auto p2 = static_cast<uint16_t>(24640 + c.shift);
        EXPECT_EQ(MakeCalibrationRecord(p1, p2, &record), c.status) << c.shift;
        EXPECT_EQ(record.wavelength1, 36080);
        EXPECT_EQ(record.position1, p1);
        EXPECT_EQ(record.wavelength2, 65610);
        EXPECT_EQ(record.position2, p2);
    }
}

TEST(MakeCalibrationRecord, EqualPositionsGiveSlopeZero) {
    // Both test wavelengths fall on the one position.
    CalibrationRecord record{};
    EXPECT_EQ(MakeCalibrationRecord(20000, 20000, &record), S_OK);  // element 312.5
    EXPECT_EQ(MakeCalibrationRecord(192, 192, &record), S_OK);      // exactly 3.0
    EXPECT_EQ(MakeCalibrationRecord(191, 191, &record), E_CALIBRATION_RANGE);
    EXPECT_EQ(MakeCalibrationRecord(32640, 32640, &record), S_OK);  // exactly 510.0
    EXPECT_EQ(MakeCalibrationRecord(32641, 32641, &record), E_CALIBRATION_RANGE);
    // Positions are unsigned 16-bit and zero-extended.
    EXPECT_EQ(MakeCalibrationRecord(65535, 65535, &record), E_CALIBRATION_RANGE);
    EXPECT_EQ(record.position1, 65535);
}

}  // namespace
}  // namespace lumitra::calibration
