// The grating model against the figures of the detector documentation and
// against its own inverse.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "optics/dispersion.h"
#include "support/ulps.h"

namespace lumitra::optics {
namespace {

TEST(Dispersion, ModelPositionsOfReferenceLines) {
    struct Case {
        double wavelength, position, tolerance;
    };
    // Documented to the digits given; the tolerance is the last digit's.
    const Case cases[] = {{656.1, 385.035056, 1e-6}, {190.0, 9.98836, 1e-5},
                          {360.8, 148.5972, 1e-4},   {486.0, 248.7986, 1e-4},
                          {800.0, 502.2044, 1e-4}};
    for (const auto& c : cases)
        EXPECT_NEAR(WavelengthToPosition(c.wavelength), c.position, c.tolerance) << c.wavelength;
    EXPECT_EQ(RoundToHundredth(WavelengthToPosition(656.1)), 385.03);
}

TEST(Dispersion, RoundToHundredthTruncatesTowardZero) {
    const double cases[][2] = {{385.0350, 385.03}, {-1.239, -1.23}, {2.999, 2.99}, {0.0, 0.0}};
    for (const auto& c : cases) EXPECT_EQ(RoundToHundredth(c[0]), c[1]) << c[0];
}

TEST(Dispersion, DefaultParametersPlaceTheArrayEnds) {
    const auto d = kDefaultDispersion;
    double w = 0;
    PositionToWavelength(1.0, d.slope, d.modelPosition, d.measuredPosition, &w);
    EXPECT_NEAR(w, 181.598, 1e-3);
    PositionToWavelength(383.0, d.slope, d.modelPosition, d.measuredPosition, &w);
    EXPECT_NEAR(w, 656.093, 1e-3);
    PositionToWavelength(512.0, d.slope, d.modelPosition, d.measuredPosition, &w);
    EXPECT_NEAR(w, 814.294, 1e-3);
    EXPECT_EQ(CalibratedPosition(656.1, d.modelPosition, d.measuredPosition, d.slope), 383.0);
    EXPECT_NEAR(CalibratedPosition(190.0, d.modelPosition, d.measuredPosition, d.slope), 7.90649,
                1e-5);
}

TEST(Dispersion, DecodesRecords) {
    const auto calibrated = DecodeCalibration(CalibrationRecord{36080, 9376, 65610, 24528});
    EXPECT_NEAR(calibrated.slope, 1.0013111, 1e-7);
    EXPECT_EQ(calibrated.modelPosition, 385.03);
    EXPECT_EQ(calibrated.measuredPosition, 383.25);

    const auto uncalibrated = DecodeCalibration(CalibrationRecord{12345, 0, 67890, 0});
    EXPECT_EQ(uncalibrated.slope, 1.000116);
    EXPECT_EQ(uncalibrated.modelPosition, 385.03);
    EXPECT_EQ(uncalibrated.measuredPosition, 383.0);

    // One position 0 is a calibration, not the default.
    const auto half = DecodeCalibration(CalibrationRecord{36080, 0, 65610, 24528});
    EXPECT_EQ(half.measuredPosition, 383.25);
    EXPECT_NE(half.slope, 1.000116);
}

TEST(Dispersion, NominalElements) {
    EXPECT_EQ(NominalElementOf(656.1), 385.0);
    EXPECT_EQ(NominalElementOf(190.0), 9.0);
    EXPECT_EQ(NominalElementOf(360.8), 148.0);
}

TEST(Dispersion, CalibratedPositionInvertsPositionToWavelength) {
    // Up to the 0.01-element cut of the model position, the two directions
    // agree: converting back lands within 0.01 element times the slope.
    const auto d = DecodeCalibration(CalibrationRecord{36080, 9510, 65610, 24640});
    for (double position = 1.0; position <= 512.0; position += 0.37) {
        double wavelength = 0;
        PositionToWavelength(position, d.slope, d.modelPosition, d.measuredPosition, &wavelength);
        const double back =
            CalibratedPosition(wavelength, d.modelPosition, d.measuredPosition, d.slope);
        EXPECT_LE(std::fabs(back - position), 0.0101 * d.slope) << position;
    }
}

TEST(Dispersion, TableBuildersShapes) {
    const auto d = kDefaultDispersion;
    std::vector<int32_t> table(512 * 4, -7);
    int32_t count = -1;
    struct Case {
        int16_t first, last, steps;
        int32_t expectedCount;
    };
    const Case cases[] = {{1, 512, 1, 512}, {5, 4, 1, 0}, {1, 512, 0, 0},
                          {1, 512, -3, 0},  {1, 4, 4, 16}, {-2, 2, 2, 10}};
    for (const auto& c : cases) {
        std::fill(table.begin(), table.end(), -7);
        BuildWavelengthTable(table.data(), &count, d.slope, d.modelPosition, d.measuredPosition,
                             c.first, c.last, c.steps);
        EXPECT_EQ(count, c.expectedCount) << c.first << ".." << c.last << "/" << c.steps;
        EXPECT_EQ(table[static_cast<size_t>(c.expectedCount)], -7) << "wrote past the end";
        if (c.expectedCount == 0) {
            EXPECT_EQ(table[0], -7) << "wrote an entry";
        }
    }

    BuildWavelengthTable(table.data(), &count, d.slope, d.modelPosition, d.measuredPosition, 1,
                         512, 1);
    const int32_t head[] = {18159, 18281, 18402};
    const int32_t tail[] = {81187, 81308, 81429};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(table[static_cast<size_t>(i)], head[i]);
        EXPECT_EQ(table[static_cast<size_t>(509 + i)], tail[i]);
    }
    for (int i = 1; i < 512; ++i) EXPECT_LT(table[size_t(i - 1)], table[size_t(i)]);

    // The double array holds the same wavelengths before truncation, with
    // sub-step j of element e at position e + j/steps.
    std::vector<double> fine(512 * 64);
    BuildWavelengthArray(fine.data(), &count, d.slope, d.modelPosition, d.measuredPosition, 1,
                         512, 64);
    ASSERT_EQ(count, 32768);
    for (int e = 1; e <= 512; e += 37) {
        for (int j = 0; j < 64; j += 13) {
            double expected = 0;
            PositionToWavelength(j / 64.0 + e, d.slope, d.modelPosition, d.measuredPosition,
                                 &expected);
            EXPECT_EQ(test::Bits(fine[size_t((e - 1) * 64 + j)]), test::Bits(expected));
        }
        EXPECT_EQ(table[size_t(e - 1)], static_cast<int32_t>(fine[size_t((e - 1) * 64)] * 100));
    }
}

}  // namespace
}  // namespace lumitra::optics
