// Lamp diagnostics on their worked examples: the value at the reference
// wavelength and the band maximum of deuterium and tungsten lamps, on the
// display grid (no wavelengths given) and per element (band edges, ties,
// start values, NaN, knots that cannot make a spline), and the maximum
// voltage.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "lumitra/lumitra.h"

namespace {

const auto kD2 = &Lumitra_GetD2LampSpectrumMaxInfo;
const auto kW = &Lumitra_GetWLampSpectrumMaxInfo;

// 612 values: the display grid and one value after it, never read.
std::vector<double> Grid(double fill, std::initializer_list<std::pair<int, double>> points) {
    std::vector<double> grid(612, fill);
    for (const auto& [index, value] : points) grid[size_t(index)] = value;
    return grid;
}

TEST(LampMaxima, WorkedExamples) {
    struct Case {
        const char* what;
        decltype(kD2) lamp;
        std::vector<int32_t> wavelengths;  // empty: the display grid
        std::vector<double> spectrum;
        int32_t status;
        double reference, maximum;
        int32_t wavelength;
    };
    const Case cases[] = {
        {"deuterium reads 230 nm", kD2, {}, Grid(1, {{40, 5.0}, {410, 6.0}}), S_OK, 5, 5, 23000},
        {"tungsten reads 600 nm", kW, {}, Grid(1, {{40, 5.0}, {410, 6.0}}), S_OK, 6, 6, 60000},
        {"equal maxima keep the lower wavelength", kD2, {}, Grid(1, {{20, 8.0}, {60, 8.0}}), S_OK, 1, 8, 21000},
        {"band edges 200 and 260 nm take part", kD2, {}, Grid(1, {{9, 50}, {10, 3}, {70, 4}, {71, 60}}), S_OK, 1, 4, 26000},
        {"band edges 400 and 800 nm take part", kW, {}, Grid(1, {{209, 50.0}, {210, 7.0}, {610, 4.0}}), S_OK, 1, 7, 40000},
        {"the value after the grid is not read", kW, {}, Grid(1, {{610, 4.0}, {611, 1e9}}), S_OK, 1, 4, 80000},
        {"nothing above the start value", kD2, {}, Grid(-3e9, {}), S_OK, -3e9, -2147483648.0, -1},
        {"NaN never becomes the maximum", kD2, {}, Grid(NAN, {{30, 2.0}}), S_OK, NAN, 2, 22000},
        {"all points outside the band", kD2, {30000, 31000, 32000}, {5, 6, 7}, S_OK, 0, -2147483648.0, -1},
        {"200.00 and 260.00 nm take part", kD2, {19999, 20000, 23000, 26000, 26001}, {90, 10, 0, 20, 95}, S_OK, 0, 20, 26000},
        {"200.00 nm alone", kD2, {19999, 20000, 23000, 26001}, {90, 10, 0, 95}, S_OK, 0, 10, 20000},
        {"400.00 and 800.00 nm take part", kW, {39999, 40000, 60000, 80000, 80001}, {90, 30, 12, 20, 95}, S_OK, 12, 30, 40000},
        {"a table starting above 230 nm", kD2, {23100, 24000, 25000}, {5, 6, 7}, S_OK, 0, 7, 25000},
        {"the spline through the truncated values", kD2, {22000, 23000, 24000}, {1.75, 9.5, 3.25}, S_OK, 9, 9.5, 23000},
        {"a knot at the reference wavelength", kW, {50000, 60000, 70000}, {10.9, 30.9, 10.9}, S_OK, 30, 30.9, 60000},
        {"two points: no spline", kD2, {22000, 24000}, {1, 2}, E_FAIL, -7, -7, -7},
        {"a repeated wavelength", kD2, {22000, 23000, 23000, 24000}, {1, 2, 3, 4}, E_FAIL, -7, -7, -7},
        {"falling wavelengths", kD2, {24000, 23000, 22000}, {1, 2, 3}, E_FAIL, -7, -7, -7},
    };
    for (const auto& c : cases) {
        double reference = -7, maximum = -7;
        int32_t wavelength = -7;
        const int32_t n = int32_t(c.wavelengths.size());
        for (int32_t display : c.wavelengths.empty() ? std::vector<int32_t>{1, -1} : std::vector<int32_t>{0}) {
            EXPECT_EQ(c.lamp(display, n ? c.wavelengths.data() : nullptr, n, c.spectrum.data(), &reference,
                             &maximum, &wavelength),
                      c.status) << c.what;
            EXPECT_TRUE((reference == c.reference || (std::isnan(reference) && std::isnan(c.reference))) &&
                        maximum == c.maximum && wavelength == c.wavelength) << c.what;
        }
    }
}

TEST(MaxVoltage, WorkedExamples) {
    struct Case {
        const char* what;
        std::vector<double> values;
        int32_t count, maximum;
    };
    const Case cases[] = {
        {"count 0", {1.0}, 0, INT32_MIN},         {"negative count", {1.0}, -4, INT32_MIN},
        {"truncated", {1.9, 2.7, -3.0}, 3, 2},    {"truncated toward zero", {-0.5, -1.5}, 2, 0},
        {"NaN skipped", {NAN, 3.2}, 2, 3},        {"only NaN", {NAN, NAN}, 2, INT32_MIN},
        {"count limits the scan", {1.0, 9.0}, 1, 1}, {"below the start value", {-3e9, -2.5e9}, 2, INT32_MIN},
        {"largest int32", {2147483647.9}, 1, INT32_MAX}, {"beyond int32: as the x86 conversion", {1e12}, 1, INT32_MIN},
    };
    for (const auto& c : cases) {
        int32_t maximum = 77;
        EXPECT_EQ(Lumitra_GetMaxVoltage(c.values.data(), c.count, &maximum), S_OK) << c.what;
        EXPECT_EQ(maximum, c.maximum) << c.what;
    }
}

}  // namespace
