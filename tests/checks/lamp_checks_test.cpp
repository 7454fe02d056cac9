// The deuterium/holmium and deuterium/mercury checks end to end, on
// synthetic spectra whose lines sit where a chosen calibration puts them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "calibration/synthetic_spectra.h"
#include "checks/lamp_spectra.h"
#include "lumitra/lumitra.h"
#include "optics/dispersion.h"
#include "support/allocation_guard.h"
#include "support/random.h"

namespace {

using lumitra::test::Lamps;
using lumitra::test::Line;
using lumitra::test::MakeLamps;
using lumitra::test::PositionOf;
using lumitra::test::SyntheticSpectrum;

WavelengthCheckResult Sentinel() {
    WavelengthCheckResult result;
    std::memset(&result, 0xAB, sizeof result);
    return result;
}

const CalibrationRecord kTruths[] = {
    {0, 0, 0, 0}, {36080, 9376, 65610, 24528}, {36080, 9510, 65610, 24640},
    {36080, 9200, 65610, 24320}, {36080, 9600, 65610, 24800}, {48600, 16000, 65610, 24600}};

TEST(LampChecks, MatchingCalibrationReportsSmallDeviations) {
    double worst = 0.0;
    for (const auto& truth : kTruths) {
        const Lamps lamps = MakeLamps(truth);
        WavelengthCheckResult ho = Sentinel(), hg = Sentinel();
        ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(0, 0.1, &truth, nullptr, lamps.d2.data(), nullptr,
                                                lamps.holmium.data(), &ho),
                  S_OK);
        ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &truth, nullptr, lamps.d2.data(),
                                                lamps.hg1.data(), lamps.hg2.data(), &hg),
                  S_OK);
        EXPECT_EQ(ho.lineCount, 4);
        EXPECT_EQ(hg.lineCount, 6);
        for (const auto* r : {&ho, &hg}) {
            for (int i = 0; i < r->lineCount; ++i) {
                EXPECT_NEAR(r->measuredWavelength[i], r->referenceWavelength[i], 0.06)
                    << "line " << r->referenceWavelength[i] << " of record " << truth.position2;
                EXPECT_NEAR(r->deviation[i], r->measuredWavelength[i] - r->referenceWavelength[i],
                            1e-12);
                EXPECT_EQ(r->withinTolerance[i], 1);
                EXPECT_GT(r->lineWidth[i], 0.5);
                EXPECT_LT(r->lineWidth[i], 12.0);
                worst = std::max(worst, std::fabs(r->deviation[i]));
            }
        }
        EXPECT_EQ(ho.withinTolerance[4], int32_t(0xABABABAB)) << "wrote past the lines";
    }
    RecordProperty("worst_deviation_nm_x1000", int(worst * 1000));
}

TEST(LampChecks, ShiftedCalibrationFailsTheTolerance) {
    // The detector is one element above where the record says: every line
    // reads about one element's worth of wavelength (1.2 nm) too short.
    for (const auto& truth : kTruths) {
        if (truth.position2 == 0) continue;
        const Lamps lamps = MakeLamps(truth);
        CalibrationRecord shifted = truth;
        shifted.position1 -= 64;
        shifted.position2 -= 64;
        WavelengthCheckResult ho = Sentinel(), hg = Sentinel();
        ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(0, 0.5, &shifted, nullptr, lamps.d2.data(),
                                                nullptr, lamps.holmium.data(), &ho),
                  S_OK);
        ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, -0.5, &shifted, nullptr, lamps.d2.data(),
                                                lamps.hg1.data(), lamps.hg2.data(), &hg),
                  S_OK);
        for (const auto* r : {&ho, &hg}) {
            for (int i = 0; i < r->lineCount; ++i) {
                EXPECT_GT(r->deviation[i], 1.0) << r->referenceWavelength[i];
                EXPECT_LT(r->deviation[i], 1.5) << r->referenceWavelength[i];
                EXPECT_EQ(r->withinTolerance[i], 0);
            }
        }
    }
}

TEST(HolmiumCheck, OptionalSpectraAndValidation) {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    const Lamps lamps = MakeLamps(record);
    WavelengthCheckResult r = Sentinel();
    EXPECT_EQ(Lumitra_DoWavelengthCheckD2Ho(0, 0.1, nullptr, nullptr, lamps.d2.data(), nullptr,
                                            nullptr, &r),
              E_INVALIDARG);
    EXPECT_EQ(Lumitra_DoWavelengthCheckD2Ho(0, 0.1, &record, nullptr, nullptr, nullptr, nullptr, &r),
              E_INVALIDARG);
    EXPECT_EQ(Lumitra_DoWavelengthCheckD2Ho(0, 0.1, &record, nullptr, lamps.d2.data(), nullptr,
                                            nullptr, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(r.lineCount, int16_t(0xABAB));

    // Without a holmium spectrum the bands carry their references only; a
    // holmium background alone changes nothing.
    const std::vector<double> background(512, 3.0);
    WavelengthCheckResult withBackground = Sentinel();
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(7, 0.1, &record, nullptr, lamps.d2.data(), nullptr,
                                            nullptr, &r),
              S_OK);
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(-7, 0.1, &record, nullptr, lamps.d2.data(),
                                            background.data(), nullptr, &withBackground),
              S_OK);
    EXPECT_EQ(std::memcmp(&r, &withBackground, sizeof r), 0);
    EXPECT_EQ(r.lineCount, 4);
    EXPECT_EQ(r.referenceWavelength[2], 287.6);
    EXPECT_EQ(r.referenceWavelength[3], 360.8);
    const WavelengthCheckResult sentinel = Sentinel();
    for (int i : {2, 3}) {
        EXPECT_EQ(r.withinTolerance[i], int32_t(0xABABABAB));
        EXPECT_EQ(std::memcmp(&r.lineWidth[i], &sentinel.lineWidth[i], 8), 0);
        EXPECT_EQ(std::memcmp(&r.measuredWavelength[i], &sentinel.measuredWavelength[i], 8), 0);
    }
    EXPECT_EQ(r.withinTolerance[0], 1);

    // Backgrounds are subtracted.
    std::vector<double> lifted(lamps.d2);
    for (double& v : lifted) v += 3.0;
    WavelengthCheckResult subtracted = Sentinel();
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(0, 0.1, &record, background.data(), lifted.data(),
                                            nullptr, nullptr, &subtracted),
              S_OK);
    EXPECT_EQ(std::memcmp(&r, &subtracted, sizeof r), 0);
}

TEST(MercuryCheck, LinesAreSearchedInTheirOwnSpectra) {
    const CalibrationRecord record{0, 0, 0, 0};
    Lamps lamps = MakeLamps(record);
    WavelengthCheckResult base = Sentinel(), other = Sentinel();
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, lamps.d2.data(),
                                            lamps.hg1.data(), lamps.hg2.data(), &base),
              S_OK);
    // A strong 253.7 nm line in the second mercury spectrum has no effect.
    auto hg2 = SyntheticSpectrum({{PositionOf(record, 404.7), 6000.0, 0.9},
                                  {PositionOf(record, 435.8), 9000.0, 0.9},
                                  {PositionOf(record, 546.1), 11000.0, 0.9},
                                  {PositionOf(record, 253.7), 90000.0, 0.9}});
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, lamps.d2.data(),
                                            lamps.hg1.data(), hg2.data(), &other),
              S_OK);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(other.measuredWavelength[i], base.measuredWavelength[i]);

    // Deuterium windows start from 0.0: a negative deuterium spectrum
    // reports index 0, far from its line, while the mercury lines stand.
    std::vector<double> negative(512, -5.0);
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, negative.data(),
                                            lamps.hg1.data(), lamps.hg2.data(), &other),
              S_OK);
    EXPECT_EQ(other.withinTolerance[0], 0);
    EXPECT_EQ(other.withinTolerance[1], 0);
    EXPECT_EQ(other.withinTolerance[2], 1);

    EXPECT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, lamps.d2.data(), nullptr,
                                            lamps.hg2.data(), &other),
              E_INVALIDARG);
    EXPECT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, lamps.d2.data(),
                                            lamps.hg1.data(), nullptr, &other),
              E_INVALIDARG);
}

TEST(LampChecks, DegenerateRecordsReadNothingOutsideTheArrays) {
    // Far-off, reversed, degenerate and non-finite calibrations: the windows
    // are clamped, the lines may be nonsense, but the calls complete.
    const Lamps lamps = MakeLamps(CalibrationRecord{0, 0, 0, 0});
    const CalibrationRecord records[] = {
        {36080, 24528, 65610, 9376},  {36080, 100, 65610, 100},     {36080, 9376, 36080, 24528},
        {65610, 9376, 65610, 24528},  {1, INT32_MAX, 2, INT32_MIN}, {36080, -50000, 65610, 90000},
        {36080, 60000, 65610, 64000}, {-5, 3, 7, -11}};
    for (const auto& record : records) {
        WavelengthCheckResult ho = Sentinel(), hg = Sentinel();
        EXPECT_EQ(Lumitra_DoWavelengthCheckD2Ho(0, 0.1, &record, nullptr, lamps.d2.data(), nullptr,
                                                lamps.holmium.data(), &ho),
                  S_OK);
        EXPECT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, lamps.d2.data(),
                                                lamps.hg1.data(), lamps.hg2.data(), &hg),
                  S_OK);
    }
}

TEST(LampChecks, OutOfMemory) {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    const Lamps lamps = MakeLamps(record);
    // Holmium: four buffers, two resamplings of seven allocations, the
    // filter's array (the 19th). A failed filter still measures every line
    // in the unfiltered data.
    for (int n = 1;; ++n) {
        lumitra::test::AllocationBalance balance;
        WavelengthCheckResult r = Sentinel();
        lumitra::module::allocation_hook::FailNthAllocation(n);
        const int32_t status = Lumitra_DoWavelengthCheckD2Ho(
            0, 0.1, &record, nullptr, lamps.d2.data(), nullptr, lamps.holmium.data(), &r);
        const bool failed = lumitra::module::allocation_hook::FailureDelivered();
        lumitra::module::allocation_hook::FailNthAllocation(0);
        if (!failed) {
            EXPECT_EQ(status, S_OK);
            EXPECT_EQ(n, 20);
            break;
        }
        ASSERT_EQ(status, E_OUTOFMEMORY) << n;
        EXPECT_EQ(r.lineCount, 4);
        EXPECT_EQ(r.referenceWavelength[3], 360.8);
        if (n == 19) {
            for (int i = 0; i < 4; ++i) EXPECT_NE(r.withinTolerance[i], int32_t(0xABABABAB));
        } else {
            for (int i = 0; i < 4; ++i) EXPECT_EQ(r.withinTolerance[i], int32_t(0xABABABAB)) << n;
        }
    }
    const int points = lumitra::test::SweepAllocationFailures(
        [&] {
            WavelengthCheckResult r = Sentinel();
            const int32_t status = Lumitra_DoWavelengthCheckD2Hg(
                0, 0.1, &record, nullptr, lamps.d2.data(), lamps.hg1.data(), lamps.hg2.data(), &r);
            if (status != S_OK) {
                EXPECT_EQ(status, E_OUTOFMEMORY);
                EXPECT_EQ(r.lineCount, 6);
                EXPECT_EQ(r.referenceWavelength[5], 546.1);
                for (int i = 0; i < 6; ++i) EXPECT_EQ(r.withinTolerance[i], int32_t(0xABABABAB));
            }
        },
        [](bool) {});
    EXPECT_EQ(points, 5 + 3 * 7);
}

TEST(LampChecks, SameRecordsOnEveryBuild) {
    // Integers exactly, doubles to a millionth (the platforms' trigonometric
    // functions may differ in the last bit).
    lumitra::test::Digest digest;
    auto add = [&](const WavelengthCheckResult& r) {
        digest.Add(uint32_t(r.lineCount));
        for (int i = 0; i < r.lineCount; ++i) {
            digest.Add(uint32_t(r.withinTolerance[i]));
            for (double v : {r.measuredWavelength[i], r.deviation[i], r.lineWidth[i]})
                digest.Add(uint32_t(int64_t(std::llround(v * 1e6))));
        }
    };
    lumitra::test::SplitMix64 random(11);
    for (int round = 0; round < 12; ++round) {
        const CalibrationRecord truth{36080, int32_t(9376 + random.Uniform(-200, 200)), 65610,
                                      int32_t(24528 + random.Uniform(-200, 200))};
        const Lamps lamps = MakeLamps(truth);
        const CalibrationRecord checked{36080, truth.position1 + int32_t(random.Uniform(-40, 40)),
                                        65610, truth.position2 + int32_t(random.Uniform(-40, 40))};
        WavelengthCheckResult ho = Sentinel(), hg = Sentinel();
        Lumitra_DoWavelengthCheckD2Ho(0, 0.3, &checked, nullptr, lamps.d2.data(), nullptr,
                                      lamps.holmium.data(), &ho);
        Lumitra_DoWavelengthCheckD2Hg(0, 0.3, &checked, nullptr, lamps.d2.data(), lamps.hg1.data(),
                                      lamps.hg2.data(), &hg);
        add(ho);
        add(hg);
    }
    EXPECT_EQ(digest.Value(), 0x786272f6dc55d01full) << std::hex << "digest 0x" << digest.Value();
}

}  // namespace
