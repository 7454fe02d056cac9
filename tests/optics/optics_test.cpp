// The grating model and the calibration record on their worked values, and
// the table fields against printf. (The exported tables and lookups are in
// the export catalogue.)
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "optics/dispersion.h"
#include "optics/table_comparison.h"

namespace lumitra::optics {
namespace {

TEST(Dispersion, WorkedValues) {
    const auto d = kDefaultDispersion;
    auto wavelengthAt = [&](double position) {
        double w = 0;
        PositionToWavelength(position, d.slope, d.modelPosition, d.measuredPosition, &w);
        return w;
    };
    struct Case {
        const char* what;
        double value, expected, tolerance;
    };
    const Case cases[] = {
        {"model position of 656.1 nm", WavelengthToPosition(656.1), 385.035056, 1e-6},
        {"model position of 190 nm", WavelengthToPosition(190.0), 9.98836, 1e-5},
        {"model position of 360.8 nm", WavelengthToPosition(360.8), 148.5972, 1e-4},
        {"model position of 486.0 nm", WavelengthToPosition(486.0), 248.7986, 1e-4},
        {"model position of 800 nm", WavelengthToPosition(800.0), 502.2044, 1e-4},
        {"the default model position", RoundToHundredth(WavelengthToPosition(656.1)), 385.03, 0},
        {"cut to 0.01, positive", RoundToHundredth(385.0350), 385.03, 0},
        {"cut to 0.01, toward zero", RoundToHundredth(-1.239), -1.23, 0},
        {"cut to 0.01, not rounded", RoundToHundredth(2.999), 2.99, 0},
        {"element 1, uncalibrated", wavelengthAt(1.0), 181.598, 1e-3},
        {"element 383, uncalibrated", wavelengthAt(383.0), 656.093, 1e-3},
        {"element 512, uncalibrated", wavelengthAt(512.0), 814.294, 1e-3},
        {"656.1 nm, uncalibrated", CalibratedPosition(656.1, d.modelPosition, d.measuredPosition, d.slope), 383.0, 0},
        {"190 nm, uncalibrated", CalibratedPosition(190.0, d.modelPosition, d.measuredPosition, d.slope), 7.90649, 1e-5},
        {"nominal element of 656.1 nm", NominalElementOf(656.1), 385.0, 0},
        {"nominal element of 190 nm", NominalElementOf(190.0), 9.0, 0},
        {"nominal element of 360.8 nm", NominalElementOf(360.8), 148.0, 0},
        {"degrees", RadToDeg(DegToRad(27.97374)), 27.97374, 1e-12},
    };
    for (const auto& c : cases) EXPECT_NEAR(c.value, c.expected, c.tolerance) << c.what;
}

TEST(Dispersion, DecodesRecords) {
    struct Case {
        CalibrationRecord record;
        double slope, modelPosition, measuredPosition;
    };
    const Case cases[] = {{{36080, 9376, 65610, 24528}, 1.0013111, 385.03, 383.25},
                          {{12345, 0, 67890, 0}, 1.000116, 385.03, 383.0},        // both positions 0: the default
                          {{36080, 0, 65610, 24528}, 1.6209186, 385.03, 383.25},  // one 0: calibrated
                          {{65610, 24528, 36080, 9376}, 1.0013111, 148.59, 146.5}};
    for (const auto& c : cases) {
        const auto d = DecodeCalibration(c.record);
        EXPECT_NEAR(d.slope, c.slope, 1e-7) << c.record.position1;
        EXPECT_TRUE(d.modelPosition == c.modelPosition && d.measuredPosition == c.measuredPosition);
    }
}

// Table fields are the "%ld" text padded to five characters; the short path
// for five-digit wavelengths must agree with the printf form everywhere.
TEST(TableComparison, FieldsMatchPrintf) {
    const int32_t values[] = {0,      7,     19000, 99999, 100000, 123456789, -1,
                              -9999, -10000, INT32_MAX, INT32_MIN, 65535, 80000};
    for (const int32_t value : values) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "%5ld", long(value));
        char field[16] = {};
        const std::size_t width = FormatTableField(value, field);
        EXPECT_EQ(std::string(field, width), expected) << value;
        EXPECT_EQ(TableFieldWidth(value), std::string(expected).size()) << value;
    }
}

}  // namespace
}  // namespace lumitra::optics
