// The calibration entry points end to end on synthetic deuterium spectra
// whose line positions are known.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "calibration/calibration_record.h"
#include "lumitra/lumitra.h"
#include "support/allocation_guard.h"
#include "support/random.h"
#include "synthetic_spectra.h"

namespace {

using lumitra::test::FineIndexOf;
using lumitra::test::Line;
using lumitra::test::SyntheticSpectrum;

// Spectrum 1 shows the 656.1 nm line (and the 486.0 nm line, outside the
// anchor window); spectrum 2 the 360.8 nm line on a broad continuum.
struct LampSpectra {
    std::vector<double> first, second;
};
LampSpectra MakeLamp(double anchor, double line360) {
    return {SyntheticSpectrum({{anchor, 20000.0, 1.3}, {anchor - 137.0, 9000.0, 1.3}}),
            SyntheticSpectrum({{line360, 3000.0, 1.1}, {line360 + 100.0, 20000.0, 150.0}}, 400.0,
                              -0.4)};
}

int32_t ExpectedStatus(int32_t position1, int32_t position2) {
    CalibrationRecord scratch{};
    return lumitra::calibration::MakeCalibrationRecord(static_cast<uint16_t>(position1),
                                                       static_cast<uint16_t>(position2), &scratch);
}

TEST(WavelengthCalibration, FineGridFindsLinesOnKnotsAndHalfKnots) {
    // Symmetric lines centred on an element or half-way between two: the
    // resampled and filtered lines peak exactly at the centre's fine index.
    const double anchors[] = {367.0, 371.5, 383.0, 386.5, 395.0, 405.5};
    const double offsets[] = {-236.5, -245.0, -227.0, -236.0, -240.5, -231.0};
    for (double anchor : anchors) {
        for (double offset : offsets) {
            const auto lamp = MakeLamp(anchor, anchor + offset);
            CalibrationRecord record{-1, -1, -1, -1};
            const int32_t status = Lumitra_DoWavelengthCalibration(
                0, nullptr, lamp.first.data(), nullptr, lamp.second.data(), &record);
            const int32_t p2 = FineIndexOf(anchor) + 64;
            const int32_t p1 = FineIndexOf(anchor + offset) + 64;
            EXPECT_EQ(record.position2, p2) << anchor << " / " << offset;
            EXPECT_EQ(record.position1, p1) << anchor << " / " << offset;
            EXPECT_EQ(record.wavelength1, 36080);
            EXPECT_EQ(record.wavelength2, 65610);
            EXPECT_EQ(status, ExpectedStatus(p1, p2));
        }
    }
}

TEST(WavelengthCalibration, FineGridResolvesSubElementPositions) {
    // Lines anywhere within the windows are found to within a few 64ths of
    // an element (the spline's interpolation error on a narrow line).
    lumitra::test::SplitMix64 random(42);
    int worst = 0;
    for (int round = 0; round < 40; ++round) {
        const double anchor = 368.0 + 36.0 * random.Unit();
        const double line360 = anchor - 244.0 + 16.0 * random.Unit();
        const auto lamp = MakeLamp(anchor, line360);
        CalibrationRecord record{};
        Lumitra_DoWavelengthCalibration(0, nullptr, lamp.first.data(), nullptr,
                                        lamp.second.data(), &record);
        const int d2 = std::abs(record.position2 - (FineIndexOf(anchor) + 64));
        const int d1 = std::abs(record.position1 - (FineIndexOf(line360) + 64));
        worst = std::max({worst, d1, d2});
        EXPECT_LE(d2, 3) << "anchor " << anchor;
        EXPECT_LE(d1, 3) << "360.8 nm line " << line360;
    }
    RecordProperty("worst_fine_steps", worst);
}

TEST(WavelengthCalibration, DarksAreSubtracted) {
    const auto lamp = MakeLamp(383.0, 146.5);
    lumitra::test::SplitMix64 random(3);
    std::vector<double> dark1(512), dark2(512), lit1(512), lit2(512);
    for (size_t i = 0; i < 512; ++i) {
        dark1[i] = 100.0 * random.Unit() + (i == 390 ? 30000.0 : 0.0);  // a hot pixel
        dark2[i] = 100.0 * random.Unit();
        lit1[i] = lamp.first[i] + dark1[i];
        lit2[i] = lamp.second[i] + dark2[i];
    }
    CalibrationRecord withDarks{}, without{};
    ASSERT_EQ(Lumitra_DoWavelengthCalibration(0, dark1.data(), lit1.data(), dark2.data(),
                                              lit2.data(), &withDarks),
              S_OK);
    ASSERT_EQ(Lumitra_DoWavelengthCalibration(0, nullptr, lamp.first.data(), nullptr,
                                              lamp.second.data(), &without),
              S_OK);
    EXPECT_EQ(withDarks.position2, without.position2);
    EXPECT_EQ(withDarks.position1, without.position1);
    EXPECT_EQ(without.position2, 24512);
    EXPECT_EQ(without.position1, 9376);
}

TEST(WavelengthCalibration, ValidationAndKinds) {
    const auto lamp = MakeLamp(383.0, 146.5);
    const double* s1 = lamp.first.data();
    const double* s2 = lamp.second.data();
    const CalibrationRecord untouched{1, 2, 3, 4};
    CalibrationRecord record = untouched;
    auto same = [&] {
        return record.wavelength1 == 1 && record.position1 == 2 && record.wavelength2 == 3 &&
               record.position2 == 4;
    };
    EXPECT_EQ(Lumitra_DoWavelengthCalibration(0, nullptr, nullptr, nullptr, s2, &record),
              E_INVALIDARG);
    EXPECT_EQ(Lumitra_DoWavelengthCalibration(7, nullptr, s1, nullptr, nullptr, &record),
              E_INVALIDARG);
    EXPECT_EQ(Lumitra_DoWavelengthCalibration(0, nullptr, s1, nullptr, s2, nullptr), E_INVALIDARG);
    EXPECT_EQ(Lumitra_DoWavelengthCalibrationForWideSlit(nullptr, &record), E_INVALIDARG);
    EXPECT_EQ(Lumitra_DoWavelengthCalibrationForWideSlit(s1, nullptr), E_INVALIDARG);
    EXPECT_TRUE(same());

    std::vector<double> copy1(512, -1.0), copy2(512, -1.0);
    for (int32_t kind : {2, -1, 100}) {
        EXPECT_EQ(Lumitra_DoWavelengthCalibrationEx(0, s1, s2, copy1.data(), copy2.data(), &record,
                                                    kind),
                  E_INVALIDARG);
    }
    EXPECT_TRUE(same());
    EXPECT_EQ(copy1[0], -1.0);

    // Kind 0 with the fine-grid method calibrates and copies both spectra.
    ASSERT_EQ(Lumitra_DoWavelengthCalibrationEx(0, s1, s2, copy1.data(), copy2.data(), &record, 0),
              S_OK);
    EXPECT_EQ(record.position2, 24512);
    EXPECT_EQ(copy1, lamp.first);
    EXPECT_EQ(copy2, lamp.second);

    // Kind 1 re-centres; with method 1 nothing is copied.
    std::vector<double> untouchedCopy(512, -1.0);
    record = CalibrationRecord{36080, 9376, 65610, 24512};
    const auto wide = SyntheticSpectrum({{383.0, 20000.0, 4.0}});
    ASSERT_EQ(Lumitra_DoWavelengthCalibrationEx(1, wide.data(), nullptr, untouchedCopy.data(),
                                                nullptr, &record, 1),
              S_OK);
    EXPECT_EQ(untouchedCopy, std::vector<double>(512, -1.0));
    ASSERT_EQ(Lumitra_DoWavelengthCalibrationEx(0, wide.data(), nullptr, untouchedCopy.data(),
                                                nullptr, &record, 1),
              S_OK);
    EXPECT_EQ(untouchedCopy, wide);
}

TEST(WideSlitCalibration, MovesBothPositionsToTheHalfHeightCentre) {
    // A broad line centred at fine index 24600 (element 385.375): the record
    // {36080, 9500, 65610, 24600} moves by the measured centre + 64 - 24600.
    for (double sigma : {2.5, 4.0, 7.0}) {
        const auto spectrum = SyntheticSpectrum({{1.0 + 24600 / 64.0, 30000.0, sigma}});
        CalibrationRecord record{36080, 9500, 65610, 24600};
        ASSERT_EQ(Lumitra_DoWavelengthCalibrationForWideSlit(spectrum.data(), &record), S_OK);
        EXPECT_NEAR(record.position2, 24664, 1) << sigma;
        EXPECT_EQ(record.position1 - 9500, record.position2 - 24600) << sigma;
        EXPECT_EQ(record.wavelength1, 36080);
        EXPECT_EQ(record.wavelength2, 65610);
    }
    // Centred half-way between elements, the centre is found exactly or
    // one fine step early (the midpoint truncates).
    const auto spectrum = SyntheticSpectrum({{390.5, 30000.0, 5.0}});
    CalibrationRecord record{0, 0, 0, 0};
    ASSERT_EQ(Lumitra_DoWavelengthCalibrationForWideSlit(spectrum.data(), &record), S_OK);
    EXPECT_TRUE(record.position2 == FineIndexOf(390.5) + 64 ||
                record.position2 == FineIndexOf(390.5) + 63)
        << record.position2;
    EXPECT_EQ(record.position1, record.position2);
}

TEST(WavelengthCalibration, OutOfMemoryLeavesTheRecordUntouched) {
    const auto lamp = MakeLamp(383.0, 146.5);
    for (int32_t which = 0; which < 2; ++which) {
        const int points = lumitra::test::SweepAllocationFailures(
            [&] {
                CalibrationRecord record{1, 2, 3, 4};
                const int32_t status =
                    which == 0 ? Lumitra_DoWavelengthCalibration(0, nullptr, lamp.first.data(),
                                                                 nullptr, lamp.second.data(),
                                                                 &record)
                               : Lumitra_DoWavelengthCalibrationForWideSlit(lamp.first.data(),
                                                                            &record);
                if (status == E_OUTOFMEMORY) {
                    EXPECT_EQ(record.position1, 2);
                    EXPECT_EQ(record.position2, 4);
                } else {
                    EXPECT_EQ(status, S_OK);
                }
            },
            [](bool) {});
        // Working arrays, two (one) resamplings of four arrays and three
        // spline blocks each, and the filter's array.
        EXPECT_EQ(points, which == 0 ? 4 + 2 * 7 + 1 : 1 + 7) << which;
    }
}

}  // namespace
