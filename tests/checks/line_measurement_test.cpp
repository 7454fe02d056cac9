// The measurement steps shared by the lamp checks.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "checks/line_measurement.h"
#include "support/ulps.h"

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

}  // namespace
}  // namespace lumitra::checks
