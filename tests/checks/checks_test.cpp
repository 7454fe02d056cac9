// The wavelength checks: the half-height widths of the lamp checks on their
// worked examples, and the user-defined check's windows and line order.
// (The lamp checks of simulated detectors: tests/exports/rules_test.cpp.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "checks/line_measurement.h"
#include "lumitra/lumitra.h"

namespace lumitra::checks {
namespace {

TEST(LineMeasurement, Widths) {
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
}

// A peak at 404.7 nm, the line under test, a valley at 546.1 nm; every other
// byte 0x5A.
UserCheckList List(int32_t target, int32_t halfWindow) {
    UserCheckList list;
    std::memset(&list, 0x5A, sizeof list);
    list.checkCount = 3, list.option = 0;
    const int32_t lines[3][4] = {{40470, 300, 100, 0}, {target, halfWindow, 5, 0}, {54610, 300, 100, 1}};
    for (int i = 0; i < 3; ++i) {
        UserCheckLine& l = list.lines[i];
        l.targetWavelength = lines[i][0], l.halfWindow = lines[i][1], l.allowedDeviation = lines[i][2];
        l.findMinimum = lines[i][3];
    }
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

// A window reaching outside the 0.01-nm grid fails its line, a negative
// half-window inside it is refused; lines are taken in order, and the first
// failing one leaves those before it with their results, itself and those
// after it untouched.
TEST(UserCheck, WindowsAndLineOrder) {
    const Grid g;
    const int32_t cases[][3] = {{18999, 0, E_FAIL},         {80001, 0, E_FAIL},        {19005, 6, E_FAIL},
                                {19005, 5, S_OK},           {79995, 5, S_OK},          {79995, 6, E_FAIL},
                                {19000, 0, S_OK},           {80000, 0, S_OK},          {40000, 2147483647, E_FAIL},
                                {50000, -1, E_INVALIDARG},  {50000, -30000, E_INVALIDARG}, {50000, -40000, E_FAIL},
                                {18999, -1, E_FAIL},        {40000, -2147483647, E_FAIL}, {50000, 70000, E_FAIL}};
    for (const auto& c : cases) {
        UserCheckList list = List(c[0], c[1]);
        const UserCheckList before = list;
        EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, g.first.data(), g.second.data(), &list), c[2])
            << c[0] << " +- " << c[1];
        EXPECT_TRUE(list.lines[0].foundWavelength == 40400 && list.lines[0].passed == 1) << c[0];
        EXPECT_EQ(std::memcmp(&list.lines[1], &before.lines[1], 2 * sizeof(UserCheckLine)) == 0, c[2] != S_OK) << c[0];
    }
}

}  // namespace
}  // namespace lumitra::checks
