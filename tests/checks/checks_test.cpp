// The wavelength checks: the measurement steps shared by the lamp checks on
// their worked examples, which spectrum each line is searched in, and the
// user-defined check's windows and line order. (The lamp checks of
// simulated detectors: tests/exports/rules_test.cpp.)
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

TEST(LineMeasurement, SearchCentresAndWindowMaxima) {
    // (The centres of the worked examples: tests/exports/rules_test.cpp.)
    EXPECT_GT(AnchorSearchCentre(DecodeCalibration({36080, 1, 65610, INT32_MIN})), 1000000000);  // no overflow
    // Ties keep the first; only values above the floor win, never NaN;
    // windows are clamped to the defined samples 0 .. 32768.
    std::vector<double> fine(32960, 0.0);
    fine[1000] = fine[1010] = 5.0;
    fine[1003] = std::nan("");
    fine[0] = 1.0, fine[32768] = 2.0, fine[32769] = 99.0;
    const struct {
        int64_t centre;
        int32_t halfWidth;
        double floor;
        int32_t index;
    } cases[] = {{1005, 10, calibration::kNoLineBelow, 1000}, {1005, 4, calibration::kNoLineBelow, 1001},
                 {1005, 4, 0.0, -1}, {1003, 0, -1.0, -1}, {-100, 200, -1.0, 0}, {32800, 100, -1.0, 32768},
                 {40000, 100, -1e300, -1}, {-5000000000LL, 1280, -1e300, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(calibration::FindMaximum(fine.data(), FineWindow(c.centre, c.halfWidth), c.floor), c.index)
            << c.centre;
}

TEST(LineMeasurement, WidthsAndDeviations) {
    std::vector<double> w(32960, 0.0), descending(32960, 0.0);  // 200.00, 200.01, ... nm
    for (int i = 0; i < 32768; ++i) w[size_t(i)] = 200.0 + i * 0.01, descending[size_t(i)] = 600.0 - i * 0.01;
    const int p = 10000;
    auto triangle = [](int at) {  // height 100 falling by 10 per fine step
        std::vector<double> s(32960, 0.0);
        for (int d = 0; d < 10; ++d) s[size_t(at - d)] = s[size_t(at + d)] = 100.0 - 10.0 * d;
        return s;
    };
    auto halfway = triangle(p), based = triangle(p);
    halfway[size_t(p - 4)] = 60, halfway[size_t(p - 5)] = 40;  // left crossing at p - 4.5
    for (int i = p - 1280; i <= p - 10; ++i) based[size_t(i)] = 10;  // base: the greater minimum, 20
    for (int i = p + 9; i < p + 1280; ++i) based[size_t(i)] = 20;
    // Without a crossing (NaN samples never are one) a side ends at W[63] or
    // W[32767]; the flat top makes the other side cross exactly at p -+ 1.
    auto openLeft = triangle(p), openRight = triangle(p);
    for (int i = 0; i < p; ++i) openLeft[size_t(i)] = std::nan("");
    for (int i = p + 1; i < 32960; ++i) openRight[size_t(i)] = std::nan("");
    openLeft[size_t(p + 1)] = openRight[size_t(p - 1)] = 100.0;
    auto dip = triangle(p);  // the lowest sample just left of the peak: the base stays the right minimum, 0
    dip[size_t(p - 1)] = -50;
    struct Case {
        const char* what;
        std::vector<double> s;
        int peak;
        const std::vector<double>& wavelengths;
        double width, midpoint;  // midpoint -3: not written
    };
    const Case cases[] = {
        {"crossings on samples", triangle(p), p, w, w[p + 5] - w[p - 5], w[p - 5] + (w[p + 5] - w[p - 5]) * 0.5},
        {"a crossing between samples", halfway, p, w, w[p + 5] - (w[p - 5] + (w[p - 4] - w[p - 5]) * 0.5), -2},
        {"the higher minimum is the base", based, p, w, w[p + 4] - w[p - 4], -2},
        {"no baseline on one side", triangle(40), 40, w, 0.0, -3},
        {"no crossing on the left", openLeft, p, w, w[p + 1] - w[63], -2},
        {"no crossing on the right", openRight, p, w, w[32767] - w[p - 1], -2},
        {"a dip left of the peak", dip, p, w, w[p + 5] - (w[p - 1] + (w[p] - w[p - 1]) * 100.0 / 150.0), -2},
        {"descending wavelengths", triangle(p), p, descending, 0.0, -3},
    };
    for (const auto& c : cases) {
        double width = -1, midpoint = -3;
        MeasureLineWidth(c.s.data(), c.wavelengths.data(), c.peak, 1, 512, 64, 50.0, &width, &midpoint);
        EXPECT_EQ(width, c.width) << c.what;
        EXPECT_TRUE(c.midpoint == -2 || midpoint == c.midpoint) << c.what;
    }
    for (int edge : {0, 63, 32767, 32768}) {  // nothing read outside the fine spectrum
        std::vector<double> end(32960, 1.0);
        end[size_t(edge)] = 50.0;
        double width = -1;
        MeasureLineWidth(end.data(), w.data(), edge, 1, 512, 64, 50.0, &width, nullptr);
        EXPECT_GE(width, 0.0) << edge;
    }
    // A midpoint exactly on the reference reports the 0.01-element cut; the
    // tolerance counts by absolute value, a deviation equal to it passes.
    const auto d = DecodeCalibration({0, 0, 0, 0});
    double measured = 0, deviation = 0;
    int32_t flag = -1;
    const double references[][3] = {{656.1, 656.09372, -0.00627}, {486.0, 485.98914, -0.01085}};
    for (const auto& r : references) {
        const double q = optics::CalibratedPosition(r[0], AnchorModelPosition(), d.measuredPosition, d.slope);
        EvaluateCheckLine(d.slope, r[0], d.measuredPosition, q, 0.02, &measured, &deviation, &flag);
        EXPECT_TRUE(std::fabs(measured - r[1]) < 1e-5 && std::fabs(deviation - r[2]) < 1e-5 && flag == 1) << r[0];
    }
    EvaluateCheckLine(d.slope, 656.1, d.measuredPosition, 383.0, 0.0, &measured, &deviation, &flag);
    const double exact = std::fabs(deviation);
    for (double tolerance : {exact, -exact, std::nextafter(exact, 0.0)}) {
        EvaluateCheckLine(d.slope, 656.1, d.measuredPosition, 383.0, tolerance, &measured, &deviation, &flag);
        EXPECT_EQ(flag, tolerance == std::nextafter(exact, 0.0) ? 0 : 1) << tolerance;
    }
    EvaluateCheckLine(d.slope, 656.1, d.measuredPosition, std::nan(""), 1.0, &measured, &deviation, &flag);
    EXPECT_EQ(flag, 0);
}

WavelengthCheckResult Sentinel() {
    WavelengthCheckResult result;
    std::memset(&result, 0xAB, sizeof result);
    return result;
}

// Without a holmium spectrum the bands carry their references only; a
// strong 253.7 nm line in the second mercury spectrum changes nothing.
TEST(LampChecks, EachLineInItsOwnSpectrum) {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    const test::Lamps lamps = test::MakeLamps(record);
    WavelengthCheckResult ho = Sentinel(), base = Sentinel(), other = Sentinel();
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(7, 0.1, &record, nullptr, lamps.d2.data(), nullptr, nullptr, &ho), S_OK);
    EXPECT_TRUE(ho.referenceWavelength[2] == 287.6 && ho.referenceWavelength[3] == 360.8);
    EXPECT_TRUE(ho.withinTolerance[0] == 1 && ho.withinTolerance[3] == int32_t(0xABABABAB));
    auto hg2 = lamps.hg2;
    const auto strong = test::Spectrum({{test::PositionOf(record, 253.7), 90000.0, 0.9}}, 0.0, 0.0);
    for (size_t i = 0; i < 512; ++i) hg2[i] += strong[i];
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, lamps.d2.data(), lamps.hg1.data(),
                                            lamps.hg2.data(), &base), S_OK);
    ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, 0.1, &record, nullptr, lamps.d2.data(), lamps.hg1.data(), hg2.data(),
                                            &other), S_OK);
    EXPECT_EQ(std::memcmp(base.measuredWavelength, other.measuredWavelength, 48), 0);
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
    // The first grid point's difference is a knot like the others: the
    // maximum of 500, 300, 0, ... lies at 190 nm.
    std::vector<double> rising = flat;
    rising[0] += 500.0;
    rising[1] += 300.0;
    list = List({Line(19050, 50, 0)});
    ASSERT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, flat.data(), rising.data(), &list), S_OK);
    EXPECT_EQ(list.lines[0].foundWavelength, 19000);
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
