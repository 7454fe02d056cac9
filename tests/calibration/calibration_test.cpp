// Wavelength calibration: the half-height centre and the range test on their
// worked examples, and the calibration of simulated lamps whose line
// positions are known. (The fine grid and the line search are carried by
// the export catalogue's simulated detector and the cross-build digest.)
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "calibration/calibration_record.h"
#include "calibration/line_location.h"
#include "lumitra/lumitra.h"
#include "support/detector.h"
#include "support/test_support.h"

namespace lumitra::calibration {
namespace {

// Fine index (64 sub-steps per element, element 1 at index 0) of a position.
int FineIndexOf(double position) { return int(std::lround((position - 1.0) * 64)); }

TEST(HalfHeightCenter, WorkedExamples) {
    const int p = 2000;
    // A triangle of height 100 falling by 10 per sample on both sides.
    auto triangle = [&] {
        std::vector<double> y(4000, 0.0);
        for (int d = 0; d < 10; ++d) y[size_t(p - d)] = y[size_t(p + d)] = 100.0 - 10.0 * d;
        return y;
    };
    auto edgeAtHalfSample = triangle(), higherBase = triangle(), broken = triangle();
    edgeAtHalfSample[size_t(p - 5)] = 55;  // left edge at p - 5.5: p - 0.25 truncates
    edgeAtHalfSample[size_t(p - 6)] = 45;
    for (int i = p - 1280; i < p - 9; ++i) higherBase[size_t(i)] = 40;  // level 70: edges p -+ 3
    broken[size_t(p)] = std::numeric_limits<double>::infinity();
    // Falling by 5 to the left (on a shelf of 80 down to the window's first
    // sample, 0) and by 20 to the right: base 0, half 50, left edge
    // lo + 50/80, right edge p + 2.5, centre p - 638.4375 truncated.
    std::vector<double> shelf(4000, 0.0);
    for (int d = 0; d < 1280; ++d) shelf[size_t(p - d)] = std::max(100.0 - 5.0 * d, 80.0);
    for (int d = 0; d < 5; ++d) shelf[size_t(p + d)] = 100.0 - 20.0 * d;
    shelf[size_t(p - 1280)] = 0.0;
    struct Case {
        const char* what;
        std::vector<double> y;
        int centre;
    };
    const Case cases[] = {{"edges on samples", triangle(), p},
                          {"an edge between samples", edgeAtHalfSample, p - 1},
                          {"a constant signal", std::vector<double>(4000, 7.25), p},
                          {"the higher minimum is the base", higherBase, p},
                          {"no positive width", broken, 0},
                          {"the window's first sample is its minimum", shelf, p - 639}};
    for (const auto& c : cases) EXPECT_EQ(HalfHeightCenter(c.y.data(), p, p - 1280, p + 1280), c.centre) << c.what;
}

TEST(MakeCalibrationRecord, RangeTestAndRecordAlwaysWritten) {
    // {36080, 9510, 65610, 24640} moved by `shift` on both positions, and
    // records with both positions equal (slope 0).
    struct Case {
        int p1, p2;
        int32_t status;
    };
    const Case cases[] = {{9510, 24640, S_OK}, {9510 - 448, 24640 - 448, S_OK},
                          {9510 + 502, 24640 + 502, S_OK}, {9510 - 449, 24640 - 449, E_CALIBRATION_RANGE},
                          {9510 + 503, 24640 + 503, E_CALIBRATION_RANGE}, {20000, 20000, S_OK},
                          {192, 192, S_OK}, {191, 191, E_CALIBRATION_RANGE}, {32640, 32640, S_OK},
                          {32641, 32641, E_CALIBRATION_RANGE}, {65535, 65535, E_CALIBRATION_RANGE}};
    for (const auto& c : cases) {
        CalibrationRecord record{1, 2, 3, 4};
        EXPECT_EQ(MakeCalibrationRecord(uint16_t(c.p1), uint16_t(c.p2), &record), c.status) << c.p1;
        EXPECT_TRUE(record.wavelength1 == 36080 && record.position1 == c.p1 &&
                    record.wavelength2 == 65610 && record.position2 == c.p2) << c.p1;
    }
}

// The 656.1 nm line (with 486.0 nm outside its window) in spectrum 1, the
// 360.8 nm line on a broad continuum in spectrum 2.
struct Lamp {
    std::vector<double> first, second;
};
Lamp MakeLamp(double anchor, double line360) {
    return {test::Spectrum({{anchor, 20000.0, 1.3}, {anchor - 137.0, 9000.0, 1.3}}),
            test::Spectrum({{line360, 3000.0, 1.1}, {line360 + 100.0, 20000.0, 150.0}}, 400.0, -0.4)};
}

TEST(WavelengthCalibration, FindsSimulatedLinesWhereTheyWere) {
    // Symmetric lines on an element or half-way between two peak exactly at
    // their fine index.
    for (double anchor : {367.0, 383.0, 386.5, 405.5})
        for (double offset : {-236.5, -245.0, -227.0}) {
            const auto lamp = MakeLamp(anchor, anchor + offset);
            CalibrationRecord record{};
            Lumitra_DoWavelengthCalibration(0, nullptr, lamp.first.data(), nullptr, lamp.second.data(), &record);
            EXPECT_EQ(record.position2, FineIndexOf(anchor) + 64) << anchor << " / " << offset;
            EXPECT_EQ(record.position1, FineIndexOf(anchor + offset) + 64) << anchor << " / " << offset;
        }
    // Anywhere within the windows: within 3/64 element; darks (a hot pixel
    // included) are subtracted first.
    test::SplitMix64 random(42);
    for (int round = 0; round < 12; ++round) {
        const double anchor = 368.0 + 36.0 * random.Unit(), line360 = anchor - 244.0 + 16.0 * random.Unit();
        const auto lamp = MakeLamp(anchor, line360);
        std::vector<double> dark1(512), dark2(512), lit1 = lamp.first, lit2 = lamp.second;
        for (size_t i = 0; i < 512; ++i) {
            dark1[i] = 100.0 * random.Unit() + (i == 390 ? 30000.0 : 0.0);
            dark2[i] = 100.0 * random.Unit();
            lit1[i] += dark1[i];
            lit2[i] += dark2[i];
        }
        CalibrationRecord record{};
        Lumitra_DoWavelengthCalibration(0, dark1.data(), lit1.data(), dark2.data(), lit2.data(), &record);
        EXPECT_LE(std::abs(record.position2 - (FineIndexOf(anchor) + 64)), 3) << anchor;
        EXPECT_LE(std::abs(record.position1 - (FineIndexOf(line360) + 64)), 3) << line360;
    }
}

}  // namespace
}  // namespace lumitra::calibration
