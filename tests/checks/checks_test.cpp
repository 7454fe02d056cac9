// The wavelength checks: the measurement steps shared by the lamp checks on
// their worked examples, the deuterium/holmium and deuterium/mercury checks
// on simulated detectors whose calibration is known, and the user-defined
// check's windows and line order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "checks/line_measurement.h"
#include "lumitra/lumitra.h"
#include "support/detector.h"

namespace lumitra::checks {
namespace {

using optics::DecodeCalibration;

TEST(SearchCentres, UncalibratedAndCalibratedRecords) {
    const auto uncalibrated = DecodeCalibration(CalibrationRecord{0, 0, 0, 0});
    EXPECT_EQ(AnchorSearchCentre(uncalibrated), 24448);
    const std::pair<double, int> lines[] = {
        {486.0, 15791}, {253.7, 3840}, {404.7, 11631}, {435.8, 13224}, {546.1, 18865}};
    for (auto [wavelength, centre] : lines)
        EXPECT_EQ(SearchCentre(wavelength, uncalibrated), centre) << wavelength;

    const auto calibrated = DecodeCalibration(CalibrationRecord{36080, 9376, 65610, 24528});
    EXPECT_EQ(AnchorSearchCentre(calibrated), 24464);
    EXPECT_EQ(SearchCentre(360.8, calibrated), 9376);

    // Records far off the array give far-off centres without overflow.
    const auto wild = DecodeCalibration(CalibrationRecord{36080, 1, 65610, INT32_MIN});
    EXPECT_GT(AnchorSearchCentre(wild), 1000000000);
}

TEST(FindWindowMaximum, TiesInitialMaximumAndClamping) {
    std::vector<double> fine(32960, 0.0);
    fine[1000] = 5.0;
    fine[1010] = 5.0;
    EXPECT_EQ(FindWindowMaximum(fine.data(), 1005, 10, kInitialMaximum), 1000);
    EXPECT_EQ(FindWindowMaximum(fine.data(), 1005, 4, kInitialMaximum), 1001);  // all 0: first
    EXPECT_EQ(FindWindowMaximum(fine.data(), 1005, 4, 0.0), 0);  // nothing above the start
    fine[1003] = std::nan("");
    EXPECT_EQ(FindWindowMaximum(fine.data(), 1003, 0, -1.0), 0);  // NaN never wins

    // Windows reaching outside the defined samples are clamped; a window
    // entirely outside is empty and reports 0.
    fine[0] = 1.0;
    fine[32768] = 2.0;
    fine[32769] = 99.0;  // beyond the defined samples
    EXPECT_EQ(FindWindowMaximum(fine.data(), -100, 200, -1.0), 0);
    EXPECT_EQ(FindWindowMaximum(fine.data(), 32800, 100, -1.0), 32768);
    EXPECT_EQ(FindWindowMaximum(fine.data(), 40000, 100, -1e300), 0);
    EXPECT_EQ(FindWindowMaximum(fine.data(), -5000000000LL, 1280, -1e300), 0);
}

// Ascending fine wavelengths 200.00, 200.01, ... for width tests.
std::vector<double> Wavelengths(bool descending = false) {
    std::vector<double> w(32960, 0.0);
    for (int i = 0; i < 32768; ++i) w[size_t(i)] = descending ? 600.0 - i * 0.01 : 200.0 + i * 0.01;
    return w;
}

// A line of height 100 at p falling by 10 per fine step, 0 beyond.
std::vector<double> Triangle(int p) {
    std::vector<double> s(32960, 0.0);
    for (int d = 0; d < 10; ++d) s[size_t(p - d)] = s[size_t(p + d)] = 100.0 - 10.0 * d;
    return s;
}

TEST(MeasureLineWidth, CrossingsBasesAndFallbacks) {
    const auto w = Wavelengths();
    const int p = 10000;
    double width = -1, midpoint = -1;

    auto s = Triangle(p);  // crossings exactly on samples p - 5 and p + 5
    MeasureLineWidth(s.data(), w.data(), p, 1, 512, 64, 50.0, &width, &midpoint);
    EXPECT_EQ(width, w[p + 5] - w[p - 5]);
    EXPECT_EQ(midpoint, w[p - 5] + (w[p + 5] - w[p - 5]) * 0.5);

    s[size_t(p - 4)] = 60;  // left crossing half-way between p - 5 and p - 4
    s[size_t(p - 5)] = 40;
    MeasureLineWidth(s.data(), w.data(), p, 1, 512, 64, 50.0, &width, &midpoint);
    const double left = w[p - 5] + (w[p - 4] - w[p - 5]) * 0.5;
    EXPECT_EQ(width, w[p + 5] - left);

    // Left minimum 10, right minimum 20: the base is 20, the level 60.
    auto based = Triangle(p);
    for (int i = p - 1280; i <= p - 10; ++i) based[size_t(i)] = 10;
    for (int i = p + 9; i < p + 1280; ++i) based[size_t(i)] = 20;
    MeasureLineWidth(based.data(), w.data(), p, 1, 512, 64, 50.0, &width, &midpoint);
    EXPECT_EQ(width, w[p + 4] - w[p - 4]);

    // A peak too near an end has no baseline samples on that side, so its
    // base is the peak itself and the line has no width (the crossing scans
    // fall back on W[63]).
    midpoint = -3;
    MeasureLineWidth(Triangle(40).data(), w.data(), 40, 1, 512, 64, 50.0, &width, &midpoint);
    EXPECT_EQ(width, 0.0);
    EXPECT_EQ(midpoint, -3);

    // Descending wavelengths: no positive width, no midpoint written.
    const auto descending = Wavelengths(true);
    midpoint = -7;
    MeasureLineWidth(Triangle(p).data(), descending.data(), p, 1, 512, 64, 50.0, &width,
                     &midpoint);
    EXPECT_EQ(width, 0.0);
    EXPECT_EQ(midpoint, -7);

    // Peaks at the very ends of the fine spectrum read nothing outside it.
    for (int edge : {0, 63, 32767, 32768}) {
        std::vector<double> end(32960, 1.0);
        end[size_t(edge)] = 50.0;
        MeasureLineWidth(end.data(), w.data(), edge, 1, 512, 64, 50.0, &width, nullptr);
        EXPECT_GE(width, 0.0) << edge;
    }
}

TEST(EvaluateCheckLine, DeviationsAndTolerance) {
    const auto d = DecodeCalibration(CalibrationRecord{0, 0, 0, 0});
    double measured = 0, deviation = 0;
    int32_t flag = -1;

    // A midpoint exactly on the reference reports the 0.01-element cut.
    const struct {
        double reference, measured, deviation;
    } cases[] = {{656.1, 656.09372, -0.00627}, {486.0, 485.98914, -0.01085}};
    for (const auto& c : cases) {
        const double q = optics::CalibratedPosition(c.reference, AnchorModelPosition(),
                                                    d.measuredPosition, d.slope);
        EvaluateCheckLine(d.slope, c.reference, d.measuredPosition, q, 0.02, &measured,
                          &deviation, &flag);
        EXPECT_NEAR(measured, c.measured, 1e-5) << c.reference;
        EXPECT_NEAR(deviation, c.deviation, 1e-5) << c.reference;
        EXPECT_EQ(flag, 1);
    }
    EXPECT_EQ(optics::CalibratedPosition(656.1, AnchorModelPosition(), 383.0, d.slope), 383.0);

    // The tolerance counts by absolute value; a deviation equal to it passes.
    EvaluateCheckLine(d.slope, 656.1, d.measuredPosition, 383.0, 0.0, &measured, &deviation,
                      &flag);
    const double exact = std::fabs(deviation);
    for (double tolerance : {exact, -exact}) {
        EvaluateCheckLine(d.slope, 656.1, d.measuredPosition, 383.0, tolerance, &measured,
                          &deviation, &flag);
        EXPECT_EQ(flag, 1) << tolerance;
    }
    EvaluateCheckLine(d.slope, 656.1, d.measuredPosition, 383.0, std::nextafter(exact, 0.0),
                      &measured, &deviation, &flag);
    EXPECT_EQ(flag, 0);
    EvaluateCheckLine(d.slope, 656.1, d.measuredPosition, std::nan(""), 1.0, &measured,
                      &deviation, &flag);
    EXPECT_EQ(flag, 0);
}

WavelengthCheckResult Sentinel() {
    WavelengthCheckResult result;
    std::memset(&result, 0xAB, sizeof result);
    return result;
}

// Detectors calibrated as each record, checked with that record and with
// one shifted by an element: every line within 0.06 nm and passed, or
// about one element's worth (1.0 .. 1.5 nm) off and failed.
TEST(LampChecks, SimulatedDetectorsPassOrFailAsTheirRecords) {
    const CalibrationRecord truths[] = {{0, 0, 0, 0}, {36080, 9510, 65610, 24640},
                                        {36080, 9200, 65610, 24320}, {48600, 16000, 65610, 24600}};
    for (const auto& truth : truths) {
        const test::Lamps lamps = test::MakeLamps(truth);
        for (int shift : {0, 64}) {
            const CalibrationRecord record{truth.wavelength1, truth.position1 - shift,
                                           truth.wavelength2, truth.position2 - shift};
            if (shift != 0 && truth.position2 == 0) continue;
            WavelengthCheckResult ho = Sentinel(), hg = Sentinel();
            ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(0, 0.5, &record, nullptr, lamps.d2.data(), nullptr,
                                                    lamps.holmium.data(), &ho), S_OK);
            ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, -0.5, &record, nullptr, lamps.d2.data(),
                                                    lamps.hg1.data(), lamps.hg2.data(), &hg), S_OK);
            EXPECT_EQ(ho.lineCount, 4);
            EXPECT_EQ(hg.lineCount, 6);
            EXPECT_EQ(ho.withinTolerance[4], int32_t(0xABABABAB)) << "wrote past the lines";
            for (const auto* r : {&ho, &hg})
                for (int i = 0; i < r->lineCount; ++i) {
                    const double d = r->deviation[i];
                    EXPECT_EQ(d, r->measuredWavelength[i] - r->referenceWavelength[i]);
                    EXPECT_TRUE(shift == 0 ? std::fabs(d) < 0.06 : d > 1.0 && d < 1.5)
                        << r->referenceWavelength[i] << " nm, shift " << shift << ": " << d;
                    EXPECT_EQ(r->withinTolerance[i], shift == 0 ? 1 : 0);
                    EXPECT_TRUE(r->lineWidth[i] > 0.5 && r->lineWidth[i] < 12.0);
                }
        }
    }
}

TEST(LampChecks, SpectraTheyReadAndSpectraTheyDoNot) {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    const test::Lamps lamps = test::MakeLamps(record);
    const std::vector<double> background(512, 3.0);
    auto lifted = lamps.d2;
    for (double& v : lifted) v += 3.0;
    // Without a holmium spectrum the bands carry their references only; a
    // holmium background alone changes nothing; backgrounds are subtracted.
    WavelengthCheckResult plain = Sentinel(), withBackground = Sentinel(), subtracted = Sentinel();
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(7, 0.1, &record, nullptr, lamps.d2.data(), nullptr, nullptr, &plain), S_OK);
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(-7, 0.1, &record, nullptr, lamps.d2.data(), background.data(),
                                            nullptr, &withBackground), S_OK);
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(0, 0.1, &record, background.data(), lifted.data(), nullptr,
                                            nullptr, &subtracted), S_OK);
    EXPECT_EQ(std::memcmp(&plain, &withBackground, sizeof plain), 0);
    EXPECT_EQ(std::memcmp(&plain, &subtracted, sizeof plain), 0);
    EXPECT_TRUE(plain.referenceWavelength[2] == 287.6 && plain.referenceWavelength[3] == 360.8);
    EXPECT_TRUE(plain.withinTolerance[0] == 1 && plain.withinTolerance[3] == int32_t(0xABABABAB));
    // Mercury: a strong 253.7 nm line in the second spectrum changes
    // nothing; deuterium windows start from 0.0, so a negative deuterium
    // spectrum fails its lines while the mercury lines stand.
    auto hg2 = lamps.hg2;
    const auto strong = test::Spectrum({{test::PositionOf(record, 253.7), 90000.0, 0.9}}, 0.0, 0.0);
    for (size_t i = 0; i < 512; ++i) hg2[i] += strong[i];
    const std::vector<double> negative(512, -5.0);
    WavelengthCheckResult base = Sentinel(), other = Sentinel(), dark = Sentinel();
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, lamps.d2.data(), lamps.hg1.data(),
                                            lamps.hg2.data(), &base), S_OK);
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, lamps.d2.data(), lamps.hg1.data(),
                                            hg2.data(), &other), S_OK);
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, negative.data(), lamps.hg1.data(),
                                            lamps.hg2.data(), &dark), S_OK);
    EXPECT_EQ(std::memcmp(base.measuredWavelength, other.measuredWavelength, 48), 0);
    EXPECT_TRUE(dark.withinTolerance[0] == 0 && dark.withinTolerance[1] == 0 && dark.withinTolerance[2] == 1);
}

UserCheckLine Line(int32_t target, int32_t halfWindow, int32_t allowed, int32_t valley = 0) {
    UserCheckLine line;
    std::memset(&line, 0x5A, sizeof line);
    line.targetWavelength = target;
    line.halfWindow = halfWindow;
    line.allowedDeviation = allowed;
    line.findMinimum = valley;
    return line;
}

UserCheckList List(std::initializer_list<UserCheckLine> lines) {
    UserCheckList list;
    std::memset(&list, 0x5A, sizeof list);
    list.checkCount = int16_t(lines.size());
    list.option = 0;
    int i = 0;
    for (const auto& line : lines) list.lines[i++] = line;
    return list;
}

// Display-grid spectra whose difference has a peak at 404 nm and a valley
// at 546 nm; the grid is 19000 + 100 i, resampled to 0.01 nm.
struct Grid {
    std::vector<double> first = std::vector<double>(611, 1000.0), second = first;
    Grid() {
        for (int i = 0; i < 611; ++i)
            second[size_t(i)] += 1e8 * (std::exp(-0.5 * std::pow((i - 214) / 3.0, 2)) -
                                        std::exp(-0.5 * std::pow((i - 356) / 3.0, 2)));
    }
};
const CalibrationRecord kRecord{36080, 9376, 65610, 24528};

TEST(UserCheck, WindowsAtTheGridEnds) {
    const Grid g;
    struct Case {
        int32_t target, halfWindow, status;
    };
    const Case cases[] = {{18999, 0, E_FAIL}, {80001, 0, E_FAIL}, {19005, 6, E_FAIL}, {19005, 5, S_OK},
                          {79995, 5, S_OK},   {79995, 6, E_FAIL}, {19000, 0, S_OK},   {80000, 0, S_OK},
                          {40000, 2147483647, E_FAIL}};
    for (const auto& c : cases) {
        UserCheckList list = List({Line(c.target, c.halfWindow, 3)});
        EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, g.first.data(), g.second.data(), &list),
                  c.status) << c.target << " +- " << c.halfWindow;
    }
    // A flat difference reports the lowest wavelength of the window, peak
    // and valley alike; half-window 0 reports the target; a difference
    // equal to the allowed deviation passes, one beyond it fails.
    const std::vector<double> flat(611, 2.0);
    UserCheckList list = List({Line(30000, 40, 40), Line(30000, 40, 39, 1), Line(31234, 0, 0)});
    ASSERT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, flat.data(), flat.data(), &list), S_OK);
    EXPECT_TRUE(list.lines[0].foundWavelength == 29960 && list.lines[0].difference == 40 && list.lines[0].passed == 1);
    EXPECT_TRUE(list.lines[1].foundWavelength == 29960 && list.lines[1].passed == 0);
    EXPECT_TRUE(list.lines[2].foundWavelength == 31234 && list.lines[2].difference == 0 && list.lines[2].passed == 1);
    EXPECT_EQ(list.lines[3].passed, 0x5A5A5A5A);  // beyond checkCount: untouched
    // Peaks and valleys: the extremes of the resampled difference.
    list = List({Line(40470, 300, 100), Line(54610, 300, 100, 1), Line(40400, 300, 10), Line(40700, 100, 10)});
    ASSERT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, g.first.data(), g.second.data(), &list), S_OK);
    const int32_t found[] = {40400, 54600, 40400, 40600};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(list.lines[i].foundWavelength, found[i]) << i;
    EXPECT_TRUE(list.lines[0].passed == 1 && list.lines[3].passed == 0);
}

// Lines are taken in order: a failing line leaves the lines before it with
// their results and the lines after it untouched. A negative half-window
// whose window lies inside the grid is refused at its line; one outside the
// grid fails as any window outside the grid.
TEST(UserCheck, LinesInOrderUpToTheFirstFailingOne) {
    const Grid g;
    struct Case {
        int32_t halfWindow, target, status;
    };
    const Case cases[] = {{-1, 50000, E_INVALIDARG}, {-30000, 50000, E_INVALIDARG}, {-40000, 50000, E_FAIL},
                          {-1, 18999, E_FAIL},       {-2147483647, 40000, E_FAIL},   {70000, 50000, E_FAIL}};
    for (const auto& c : cases) {
        UserCheckList list = List({Line(40470, 300, 100), Line(c.target, c.halfWindow, 5), Line(54610, 300, 100, 1)});
        const UserCheckList before = list;
        EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, g.first.data(), g.second.data(), &list),
                  c.status) << c.halfWindow << " at " << c.target;
        EXPECT_TRUE(list.lines[0].foundWavelength == 40400 && list.lines[0].passed == 1) << c.halfWindow;
        EXPECT_EQ(std::memcmp(&list.lines[1], &before.lines[1], 2 * sizeof(UserCheckLine)), 0) << c.halfWindow;
    }
    // Element wavelengths that do not increase make the spline set-up fail.
    const CalibrationRecord reversed{36080, 24528, 65610, 9376};
    UserCheckList list = List({Line(48600, 500, 15)});
    const std::vector<double> flat(512, 1.0);
    EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(0, &reversed, flat.data(), flat.data(), &list), E_FAIL);
}

}  // namespace
}  // namespace lumitra::checks
