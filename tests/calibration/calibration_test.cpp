// Wavelength calibration: the fine grid, line location and the range test
// on their worked examples, and the calibration of simulated lamps whose
// line positions are known.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "calibration/calibration_record.h"
#include "calibration/fine_grid.h"
#include "calibration/line_location.h"
#include "lumitra/lumitra.h"
#include "support/detector.h"
#include "support/test_support.h"

namespace lumitra::calibration {
namespace {

// Fine index (64 sub-steps per element, element 1 at index 0) of a position.
int FineIndexOf(double position) { return int(std::lround((position - 1.0) * 64)); }

TEST(FineGrid, QuantisesToThousandthsAndPassesThroughEveryElement) {
    // A constant spectrum stays constant: each fine value shows the cut.
    const double cases[][2] = {{0.0015, 0.001}, {-0.0015, -0.001}, {1.2345, 1.234},
                               {-1.2345, -1.234}, {0.0009, 0.0}};
    std::vector<double> fine(kFineAllocation, -99.0);
    for (const auto& c : cases) {
        const std::vector<double> spectrum(512, c[0]);
        ASSERT_EQ(ResampleToFineGrid(512, spectrum.data(), fine.data()), S_OK);
        for (int k = 0; k < kFineCount; ++k)
            ASSERT_EQ(fine[size_t(k)], k <= 512 * 64 ? c[1] : 0.0) << c[0] << " at " << k;
        EXPECT_EQ(fine[kFineCount], -99.0) << "wrote past the fine spectrum";
    }
    test::SplitMix64 random(7);
    std::vector<double> spectrum(512);
    for (auto& v : spectrum) v = (random.Unit() - 0.3) * 5000.0;
    ASSERT_EQ(ResampleToFineGrid(512, spectrum.data(), fine.data()), S_OK);
    for (int e = 1; e < 512; ++e)
        ASSERT_EQ(fine[size_t(64 * (e - 1))], int(spectrum[size_t(e - 1)] * 1000.0) / 1000.0) << e;
}

TEST(LocateCalibrationLines, WindowsTiesAndMissingAnchor) {
    std::vector<double> first(kFineAllocation, 0.0), second(kFineAllocation, 0.0);
    uint32_t anchor = 99, line = 99;
    LocateCalibrationLines(first.data(), second.data(), &anchor, &line);
    EXPECT_EQ(anchor, 23360u);  // a flat window: its first index
    first[24640] = 5.0;
    first[25921] = 9.0;  // outside the anchor window
    second[8895] = second[10177] = 50.0;  // outside the 360.8 nm window 8896 .. 10176
    second[8896] = second[9000] = 1.0;    // an equal later maximum loses
    LocateCalibrationLines(first.data(), second.data(), &anchor, &line);
    EXPECT_EQ(anchor, 24640u);
    EXPECT_EQ(line, 8896u);
    second[10176] = 2.0;
    LocateCalibrationLines(first.data(), nullptr, &anchor, nullptr);  // second not read
    LocateCalibrationLines(first.data(), second.data(), &anchor, &line);
    EXPECT_EQ(line, 10176u);
    // No value above -1e10: anchor 0, the second window not searched.
    std::fill(first.begin(), first.end(), std::numeric_limits<double>::quiet_NaN());
    first[24000] = -1e11;
    LocateCalibrationLines(first.data(), second.data(), &anchor, &line);
    EXPECT_EQ(anchor, 0u);
    EXPECT_EQ(line, 0u);
}

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

TEST(WideSlitCalibration, MovesBothPositionsToTheHalfHeightCentre) {
    // A broad line centred at fine index 24600: {36080, 9500, 65610, 24600}
    // becomes {36080, 9564, 65610, 24664}, both positions moved alike.
    for (double sigma : {2.5, 7.0}) {
        const auto spectrum = test::Spectrum({{1.0 + 24600 / 64.0, 30000.0, sigma}});
        CalibrationRecord record{36080, 9500, 65610, 24600};
        ASSERT_EQ(Lumitra_DoWavelengthCalibrationForWideSlit(spectrum.data(), &record), S_OK);
        EXPECT_NEAR(record.position2, 24664, 1) << sigma;  // the centre truncates
        EXPECT_EQ(record.position1 - 9500, record.position2 - 24600) << sigma;
    }
}

}  // namespace
}  // namespace lumitra::calibration
