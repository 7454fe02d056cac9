// Lamp diagnostics on their worked examples: the value at the reference
// wavelength and the band maximum of deuterium and tungsten lamps on the
// display grid and per element (band edges, ties, start values, NaN),
// what they refuse, and the maximum voltage.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "lumitra/lumitra.h"

namespace {

using Export = int32_t(LUMITRA_CALL*)(int32_t, const int32_t*, int32_t, const double*, double*,
                                      double*, int32_t*);
struct Lamp {
    const char* name;
    Export fn;
    int32_t referenceIndex, bandFirst, bandLast;
};
const Lamp kDeuterium{"deuterium", Lumitra_GetD2LampSpectrumMaxInfo, 40, 20000, 26000};
const Lamp kTungsten{"tungsten", Lumitra_GetWLampSpectrumMaxInfo, 410, 40000, 80000};

struct Result {
    int32_t status;
    double reference, maximum;
    int32_t wavelength;
};
constexpr Result kUntouched{0, -7.0, -7.0, -7};

Result Call(const Lamp& lamp, int32_t display, const std::vector<int32_t>& wavelengths,
            const std::vector<double>& spectrum, int32_t n = -1) {
    Result r = kUntouched;
    if (n < 0) n = static_cast<int32_t>(wavelengths.size());
    r.status = lamp.fn(display, wavelengths.empty() ? nullptr : wavelengths.data(), n,
                       spectrum.data(), &r.reference, &r.maximum, &r.wavelength);
    return r;
}

std::vector<double> Grid(double fill, std::initializer_list<std::pair<int, double>> points) {
    std::vector<double> grid(612, fill);
    for (const auto& [index, value] : points) grid[size_t(index)] = value;
    return grid;
}

TEST(LampMaxima, DisplayGridExamples) {
    struct Case {
        const char* what;
        const Lamp* lamp;
        std::vector<double> grid;
        Result expected;
    };
    const Case cases[] = {
        {"deuterium reads 230 nm", &kDeuterium, Grid(1, {{40, 5.0}, {410, 6.0}}),
         {S_OK, 5.0, 5.0, 23000}},
        {"tungsten reads 600 nm", &kTungsten, Grid(1, {{40, 5.0}, {410, 6.0}}),
         {S_OK, 6.0, 6.0, 60000}},
        {"equal maxima keep the lower wavelength", &kDeuterium, Grid(1, {{20, 8.0}, {60, 8.0}}),
         {S_OK, 1.0, 8.0, 21000}},
        {"band edges 200 and 260 nm take part", &kDeuterium,
         Grid(1, {{9, 50.0}, {10, 3.0}, {70, 4.0}, {71, 60.0}}), {S_OK, 1.0, 4.0, 26000}},
        {"tungsten edges 400 and 800 nm take part", &kTungsten,
         Grid(1, {{209, 50.0}, {210, 7.0}, {610, 4.0}}), {S_OK, 1.0, 7.0, 40000}},
        {"the value after the grid (801 nm) is not read", &kTungsten,
         Grid(1, {{610, 4.0}, {611, 1e9}}), {S_OK, 1.0, 4.0, 80000}},
        {"nothing above the start value", &kDeuterium, Grid(-3e9, {}),
         {S_OK, -3e9, -2147483648.0, -1}},
        {"NaN never becomes the maximum", &kDeuterium, Grid(NAN, {{30, 2.0}}),
         {S_OK, NAN, 2.0, 22000}},
    };
    for (const auto& c : cases) {
        for (int32_t display : {1, -1, 611}) {
            const Result r = Call(*c.lamp, display, {}, c.grid, 0);
            EXPECT_EQ(r.status, c.expected.status) << c.what;
            if (std::isnan(c.expected.reference))
                EXPECT_TRUE(std::isnan(r.reference)) << c.what;
            else
                EXPECT_EQ(r.reference, c.expected.reference) << c.what;
            EXPECT_EQ(r.maximum, c.expected.maximum) << c.what;
            EXPECT_EQ(r.wavelength, c.expected.wavelength) << c.what;
        }
    }
}

TEST(LampMaxima, ElementFormExamples) {
    struct Case {
        const char* what;
        const Lamp* lamp;
        std::vector<int32_t> wavelengths;
        std::vector<double> spectrum;
        Result expected;
    };
    const Case cases[] = {
        {"all points outside the band", &kDeuterium, {30000, 31000, 32000}, {5, 6, 7},
         {S_OK, 0.0, -2147483648.0, -1}},
        {"200.00 and 260.00 nm take part", &kDeuterium, {19999, 20000, 23000, 26000, 26001},
         {90, 10, 0, 20, 95}, {S_OK, 0.0, 20.0, 26000}},
        {"200.00 nm alone", &kDeuterium, {19999, 20000, 23000, 26001}, {90, 10, 0, 95},
         {S_OK, 0.0, 10.0, 20000}},
        {"400.00 and 800.00 nm take part", &kTungsten, {39999, 40000, 60000, 80000, 80001},
         {90, 30, 12, 20, 95}, {S_OK, 12.0, 30.0, 40000}},
        {"table starting above 230 nm", &kDeuterium, {23100, 24000, 25000}, {5, 6, 7},
         {S_OK, 0.0, 7.0, 25000}},
        {"the maximum is the measured value itself", &kDeuterium, {22000, 23000, 24000},
         {1.75, 9.5, 3.25}, {S_OK, 9.0, 9.5, 23000}},
        {"a knot at the reference wavelength", &kTungsten, {50000, 60000, 70000},
         {10.9, 30.9, 10.9}, {S_OK, 30.0, 30.9, 60000}},
        {"two points: no spline", &kDeuterium, {22000, 24000}, {1, 2}, {E_FAIL, -7, -7, -7}},
        {"repeated wavelength", &kDeuterium, {22000, 23000, 23000, 24000}, {1, 2, 3, 4},
         {E_FAIL, -7, -7, -7}},
        {"falling wavelengths", &kDeuterium, {24000, 23000, 22000}, {1, 2, 3},
         {E_FAIL, -7, -7, -7}},
    };
    for (const auto& c : cases) {
        const Result r = Call(*c.lamp, 0, c.wavelengths, c.spectrum);
        EXPECT_EQ(r.status, c.expected.status) << c.what;
        EXPECT_EQ(r.reference, c.expected.reference) << c.what;
        EXPECT_EQ(r.maximum, c.expected.maximum) << c.what;
        EXPECT_EQ(r.wavelength, c.expected.wavelength) << c.what;
    }
}

TEST(LampMaxima, ValidationWritesNothing) {
    const std::vector<int32_t> w = {22000, 23000, 24000};
    const std::vector<double> s(611, 1.0);
    double a = -7, b = -7;
    int32_t c = -7;
    for (const Lamp* lamp : {&kDeuterium, &kTungsten}) {
        for (int32_t display : {0, 1}) {
            EXPECT_EQ(lamp->fn(display, w.data(), 3, nullptr, &a, &b, &c), E_INVALIDARG);
            EXPECT_EQ(lamp->fn(display, w.data(), 3, s.data(), nullptr, &b, &c), E_INVALIDARG);
            EXPECT_EQ(lamp->fn(display, w.data(), 3, s.data(), &a, nullptr, &c), E_INVALIDARG);
            EXPECT_EQ(lamp->fn(display, w.data(), 3, s.data(), &a, &b, nullptr), E_INVALIDARG);
        }
        // The element form reads the wavelengths and holds at most 1024 knots.
        EXPECT_EQ(lamp->fn(0, nullptr, 3, s.data(), &a, &b, &c), E_INVALIDARG);
        std::vector<int32_t> many(1025);
        std::vector<double> values(1025, 1.0);
        for (size_t i = 0; i < many.size(); ++i) many[i] = 19000 + 60 * int32_t(i);
        EXPECT_EQ(lamp->fn(0, many.data(), 1025, values.data(), &a, &b, &c), E_INVALIDARG);
        EXPECT_EQ(a + b + c, -21.0);
        // 1024 knots are accepted; the grid form never reads the table.
        EXPECT_EQ(lamp->fn(0, many.data(), 1024, values.data(), &a, &b, &c), S_OK);
        EXPECT_EQ(lamp->fn(1, nullptr, -5, s.data(), &a, &b, &c), S_OK);
        a = b = -7;
        c = -7;
        for (int32_t n : {2, 0, -1, INT32_MIN})
            EXPECT_EQ(lamp->fn(0, w.data(), n, s.data(), &a, &b, &c), E_FAIL) << n;
        EXPECT_EQ(a + b + c, -21.0);
    }
}

TEST(MaxVoltage, WorkedExamples) {
    struct Case {
        const char* what;
        std::vector<double> values;
        int32_t count, maximum;
    };
    const Case cases[] = {
        {"count 0", {1.0}, 0, INT32_MIN},
        {"negative count", {1.0}, -4, INT32_MIN},
        {"truncated", {1.9, 2.7, -3.0}, 3, 2},
        {"truncated toward zero", {-0.5, -1.5}, 2, 0},
        {"NaN skipped", {NAN, 3.2}, 2, 3},
        {"only NaN", {NAN, NAN}, 2, INT32_MIN},
        {"count limits the scan", {1.0, 9.0}, 1, 1},
        {"below the start value", {-3e9, -2.5e9}, 2, INT32_MIN},
        {"largest int32", {2147483647.9}, 1, INT32_MAX},
    };
    for (const auto& c : cases) {
        int32_t maximum = 77;
        ASSERT_EQ(Lumitra_GetMaxVoltage(c.values.data(), c.count, &maximum), S_OK) << c.what;
        EXPECT_EQ(maximum, c.maximum) << c.what;
    }
    // Beyond int32 the truncation has no value; the library's conversion
    // gives INT32_MIN, as the x86 instruction does.
    const double huge[] = {1e12};
    int32_t maximum = 0;
    ASSERT_EQ(Lumitra_GetMaxVoltage(huge, 1, &maximum), S_OK);
    EXPECT_EQ(maximum, INT32_MIN);
}

}  // namespace
