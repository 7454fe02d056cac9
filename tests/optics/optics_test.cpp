// The grating model and the calibration record: the worked values of the
// model, its inverse, and the shapes of the table builders. (The exported
// tables and lookups are in the export catalogue.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "optics/dispersion.h"
#include "optics/table_comparison.h"
#include "support/test_support.h"

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

// Up to the 0.01-element cut of the model position the two directions agree.
TEST(Dispersion, CalibratedPositionInvertsPositionToWavelength) {
    const auto d = DecodeCalibration(CalibrationRecord{36080, 9510, 65610, 24640});
    for (double position = 1.0; position <= 512.0; position += 0.37) {
        double wavelength = 0;
        PositionToWavelength(position, d.slope, d.modelPosition, d.measuredPosition, &wavelength);
        const double back = CalibratedPosition(wavelength, d.modelPosition, d.measuredPosition, d.slope);
        EXPECT_LE(std::fabs(back - position), 0.0101 * d.slope) << position;
        EXPECT_GE(std::fabs(back - position), 1e-9 * (position - d.measuredPosition)) << position;
    }
}

// Entry k: element first + k / steps, sub-step k % steps; the table holds
// the array's wavelengths truncated to 0.01 nm; nothing past the count.
TEST(Dispersion, TableBuildersShapes) {
    const auto d = kDefaultDispersion;
    const int16_t cases[][4] = {{1, 512, 1, 512}, {5, 4, 1, 0}, {1, 512, 0, 0}, {1, 512, -3, 0}, {1, 4, 4, 16}, {-2, 2, 2, 10}};
    for (const auto& c : cases) {
        std::vector<int32_t> table(512 * 4, -7);
        std::vector<double> array(512 * 4, -7.0);
        int32_t count = -1, arrayCount = -1;
        BuildWavelengthTable(table.data(), &count, d.slope, d.modelPosition, d.measuredPosition, c[0], c[1], c[2]);
        BuildWavelengthArray(array.data(), &arrayCount, d.slope, d.modelPosition, d.measuredPosition, c[0], c[1], c[2]);
        EXPECT_TRUE(count == c[3] && arrayCount == c[3] && table[size_t(c[3])] == -7) << c[0] << ".." << c[1] << "/" << c[2];
        for (int32_t k = 0; k < c[3]; ++k) {
            double expected = 0;
            PositionToWavelength(double(k % c[2]) / c[2] + (c[0] + k / c[2]), d.slope, d.modelPosition,
                                 d.measuredPosition, &expected);
            EXPECT_TRUE(test::Bits(array[size_t(k)]) == test::Bits(expected) && table[size_t(k)] == int32_t(expected * 100));
        }
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
