// Lamp spectrum maxima: display-grid and element forms, the band edges and
// start values, the spline reference value against a literal version and
// against the smooth curve it samples, validation and every allocation
// failure.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/task_allocator.h"
#include "numeric/cubic_spline.h"
#include "numeric/truncation.h"
#include "support/allocation_guard.h"
#include "support/random.h"
#include "support/ulps.h"

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

// The element form step by step, with the library's spline object.
Result LiteralElementForm(const Lamp& lamp, const std::vector<int32_t>& w,
                          const std::vector<double>& s) {
    Result r = kUntouched;
    const auto n = static_cast<int32_t>(w.size());
    lumitra::numeric::CCubicSpline spline;
    std::vector<int32_t> values(611, 0), abscissas(611, 0), knots(1024, 0);
    for (int32_t i = 0; i < n; ++i) knots[size_t(i)] = lumitra::numeric::TruncateToInt32(s[size_t(i)]);
    r.status = spline.Create(n, w.data(), knots.data(), 0.0, 0.0);
    if (r.status < 0) return r;
    r.status = spline.EvaluateRounded(611, 19000, 100, values.data(), abscissas.data());
    if (r.status < 0) return r;
    r.reference = static_cast<double>(values[size_t(lamp.referenceIndex)]);
    r.maximum = -2147483648.0;
    r.wavelength = -1;
    for (int32_t i = 0; i < n; ++i) {
        if (w[size_t(i)] >= lamp.bandFirst && w[size_t(i)] <= lamp.bandLast &&
            s[size_t(i)] > r.maximum) {
            r.maximum = s[size_t(i)];
            r.wavelength = w[size_t(i)];
        }
    }
    return r;
}

std::vector<double> Grid(double fill, std::initializer_list<std::pair<int, double>> points) {
    std::vector<double> grid(611, fill);
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

// The element wavelengths of a calibration, as the host passes them.
std::vector<int32_t> ElementWavelengths(const CalibrationRecord& record) {
    int32_t* table = nullptr;
    int32_t count = 0;
    EXPECT_EQ(Lumitra_GetWavelengthTable(0, &record, 1, &table, &count), S_OK);
    std::vector<int32_t> w(table, table + count);
    lumitra::module::TaskFree(table);
    return w;
}

TEST(LampMaxima, LiteralVersionOverRandomSpectra) {
    lumitra::test::SplitMix64 random(230600);
    for (int round = 0; round < 300; ++round) {
        std::vector<int32_t> w;
        if (round % 3 == 0) {
            const CalibrationRecord record{36080, int32_t(9376 + random.Uniform(-300, 300)), 65610,
                                           int32_t(24528 + random.Uniform(-300, 300))};
            w = ElementWavelengths(record);
        } else {
            // Sparse or dense tables anywhere between 150 and 850 nm.
            int32_t x = int32_t(random.Uniform(15000, 40000));
            const int32_t n = int32_t(random.Uniform(3, 1024));
            for (int32_t i = 0; i < n; ++i) {
                w.push_back(x);
                x += int32_t(random.Uniform(1, round % 3 == 1 ? 60 : 900));
            }
        }
        std::vector<double> s(w.size());
        for (auto& v : s) v = random.Uniform(0, 9) == 0 ? -random.Unit() * 1e4 : random.Unit() * 6e4;
        for (const Lamp* lamp : {&kDeuterium, &kTungsten}) {
            const Result r = Call(*lamp, 0, w, s);
            const Result expected = LiteralElementForm(*lamp, w, s);
            ASSERT_EQ(r.status, expected.status);
            ASSERT_EQ(lumitra::test::Bits(r.reference), lumitra::test::Bits(expected.reference))
                << lamp->name << " round " << round;
            ASSERT_EQ(r.maximum, expected.maximum);
            ASSERT_EQ(r.wavelength, expected.wavelength);
        }
    }
}

TEST(LampMaxima, ReferenceFollowsTheSampledLampCurve) {
    // A smooth continuum sampled by a calibrated array: the spline through
    // the elements gives the curve's value at 230 and 600 nm to within the
    // truncation of the samples and the rounding of the result.
    const auto w = ElementWavelengths({36080, 9376, 65610, 24528});
    auto curve = [](double nm) {
        return 20000.0 * std::exp(-std::pow((nm - 240.0) / 60.0, 2)) +
               30000.0 * std::exp(-std::pow((nm - 620.0) / 150.0, 2));
    };
    std::vector<double> s;
    for (int32_t x : w) s.push_back(curve(x / 100.0));
    const Result d2 = Call(kDeuterium, 0, w, s);
    ASSERT_EQ(d2.status, S_OK);
    EXPECT_NEAR(d2.reference, curve(230.0), 1.5);
    const Result tungsten = Call(kTungsten, 0, w, s);
    ASSERT_EQ(tungsten.status, S_OK);
    EXPECT_NEAR(tungsten.reference, curve(600.0), 1.5);
    // The band maxima are the sampled points nearest the curve's peaks.
    EXPECT_NEAR(d2.wavelength, 24000, 150);
    EXPECT_NEAR(tungsten.wavelength, 61900, 300);
}

TEST(LampMaxima, EveryAllocationFailure) {
    const std::vector<int32_t> w = {21000, 22000, 23000, 24000, 25000};
    const std::vector<double> s = {1, 4, 9, 4, 1};
    for (const Lamp* lamp : {&kDeuterium, &kTungsten}) {
        int failurePoint = 0;
        const int points = lumitra::test::SweepAllocationFailures(
            [&] {
                const Result r = Call(*lamp, 0, w, s);
                ++failurePoint;
                if (lumitra::module::allocation_hook::FailureDelivered()) {
                    // The 4th allocation is the spline's knot-value array,
                    // whose absence its set-up reports as E_FAIL; the
                    // status of the set-up is passed on unchanged.
                    EXPECT_EQ(r.status, failurePoint == 4 ? E_FAIL : E_OUTOFMEMORY)
                        << "failure point " << failurePoint;
                    EXPECT_EQ(r.reference, -7.0);
                    EXPECT_EQ(r.wavelength, -7);
                } else {
                    EXPECT_EQ(r.status, S_OK);
                }
            },
            [](bool) {});
        // Two task arrays, the spline's five arrays, its converted knot
        // values and its rounded evaluation's temporary array.
        EXPECT_EQ(points, 10) << lamp->name;
    }
}

}  // namespace

namespace {

// Every build must give the same reference values: a digest over many
// random element spectra is compared with one committed value.
TEST(LampMaxima, SameResultsOnEveryBuild) {
    lumitra::test::SplitMix64 random(600230);
    lumitra::test::Digest digest;
    for (int round = 0; round < 200; ++round) {
        std::vector<int32_t> w;
        int32_t x = int32_t(random.Uniform(18000, 23000));
        for (int32_t i = 0, n = int32_t(random.Uniform(3, 700)); i < n; ++i) {
            w.push_back(x);
            x += int32_t(random.Uniform(20, 150));
        }
        std::vector<double> s;
        for (size_t i = 0; i < w.size(); ++i) s.push_back(random.Unit() * 65535.0);
        for (const Lamp* lamp : {&kDeuterium, &kTungsten}) {
            const Result r = Call(*lamp, 0, w, s);
            digest.Add(uint32_t(r.status));
            digest.Add(uint32_t(lumitra::test::Bits(r.reference)));
            digest.Add(uint32_t(lumitra::test::Bits(r.reference) >> 32));
            digest.Add(uint32_t(r.wavelength));
        }
    }
    EXPECT_EQ(digest.Value(), 0x8e38580eb18103afull) << std::hex << "digest 0x" << digest.Value();
}

}  // namespace
