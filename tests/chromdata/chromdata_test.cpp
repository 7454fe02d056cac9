// The background-subtracted spectrum on its worked examples, as arrays and
// as a UV spectrum record from the stand-in sibling, with the ways its data
// can fail to fit. (Peak bases and captions: the export catalogue and the
// cross-build digest.)
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/task_allocator.h"
#include "sibling_standin.h"
#include "spectrum_source_standin.h"

namespace {

using lumitra::test::StandInSpectrumSource;
using Reply = StandInSpectrumSource::Reply;

// The spectrum (time 1) and backgrounds (times 2 and 3) of a request: every
// array received from the source is freed; the outputs are written only on
// success.
struct Subtracted {
    int32_t status, count = -99;
    std::vector<double> values;
    std::vector<int32_t> wavelengths;  // element 0, then the points' wavelengths
};
Subtracted Subtract(StandInSpectrumSource& source, int32_t t = 1, int32_t t1 = 2, int32_t t2 = 3,
                    uint16_t selectorB = 0, int16_t selectorA = 0) {
    const long before = lumitra::module::allocation_hook::OutstandingTaskAllocations();
    const BGSubtractionRequest request{t, t1, t2, source.Source(), selectorB, selectorA};
    double* values = nullptr;
    int32_t* wavelengths = nullptr;
    Subtracted s;
    s.status = Lumitra_GetBGSubtractedSpectrum(&request, &values, &s.count, &wavelengths);
    EXPECT_EQ(lumitra::module::allocation_hook::OutstandingTaskAllocations() - before, s.status >= 0 ? 2 : 0);
    if (s.status >= 0) {
        s.values.assign(values, values + std::max(s.count, 0));
        s.wavelengths.assign(wavelengths, wavelengths + std::max(s.count + 1, 2));
        lumitra::module::TaskFree(values);
        lumitra::module::TaskFree(wavelengths);
    }
    return s;
}

Reply Points(std::vector<double> values, std::vector<int32_t> wavelengths = {}) {
    for (size_t i = wavelengths.size(); i < values.size(); ++i) wavelengths.push_back(19000 + 100 * int32_t(i));
    Reply reply;
    reply.values = std::move(values);
    reply.wavelengths = std::move(wavelengths);
    return reply;
}

TEST(BackgroundSubtraction, WorkedExamples) {
    struct Case {
        const char* what;
        int32_t t, t1, t2;
        std::vector<double> s, b1, b2, expected;
    };
    const Case cases[] = {
        {"at the first background time", 10, 10, 10, {5, 6}, {1, 2}, {3, 9}, {4, 4}},
        {"at the second background time", 20, 10, 20, {5, 6}, {1, 2}, {3, 9}, {2, -3}},
        {"midway: the mean of both", 15, 10, 20, {5, 6}, {1, 2}, {3, 8}, {3, 1}},
        {"beyond: extrapolated to 30", 30, 10, 20, {5, 6}, {1, 2}, {3, 8}, {0, -8}},
        {"before: extrapolated to 0", 0, 10, 20, {5, 6}, {1, 2}, {3, 8}, {6, 10}},
        {"equal backgrounds, whatever the times", 15, 10, 10, {5, 6}, {1, 2}, {1, 2}, {4, 4}},
    };
    for (const auto& c : cases) {
        StandInSpectrumSource source;
        source.At(c.t, Points(c.s));
        source.At(c.t1, Points(c.b1));
        source.At(c.t2, Points(c.b2));
        const auto s = Subtract(source, c.t, c.t1, c.t2);
        EXPECT_TRUE(s.status == S_OK && s.values == c.expected) << c.what;
        EXPECT_EQ(s.wavelengths, (std::vector<int32_t>{2, 19000, 19100})) << c.what;
    }
    // Selectors pass through (A sign-extended, B zero-extended), the
    // spectrum first; an empty spectrum gets the 8-byte array {0, 0}.
    StandInSpectrumSource source;
    for (int32_t t : {7, 3, 11}) source.At(t, Points({}));
    const auto empty = Subtract(source, 7, 3, 11, 0xFFFF, -2);
    EXPECT_TRUE(empty.status == S_OK && empty.count == 0 && empty.wavelengths == (std::vector<int32_t>{0, 0}));
    ASSERT_EQ(source.Requests().size(), 3u);
    const int32_t times[] = {7, 3, 11};
    for (size_t i = 0; i < 3; ++i) {
        const auto& r = source.Requests()[i];
        EXPECT_TRUE(r.time == times[i] && r.selectorA == -2 && r.selectorB == 65535 && r.zero == 0 && r.one == 1);
    }
}

TEST(BackgroundSubtraction, SpectraThatDoNotFitAndFailingSources) {
    Reply countElement = Points({1, 2}), negative = Points({1, 2}), noValues = Points({1, 2}),
          noWavelengths = Points({}), failing = Points({1, 2}), handsOver = Points({1, 2}), success = Points({1, 2});
    countElement.countElement = 99;  // element 0 is not compared
    negative.reportedCount = -2;
    noValues.withoutValues = true;
    noWavelengths.withoutWavelengths = true;
    failing.status = int32_t(0x80030002u);
    handsOver.status = E_ABORT;
    handsOver.arraysOnFailure = true;
    success.status = 2;  // the last request's success code is the result
    struct Case {
        const char* what;
        Reply s, b1, b2;
        int32_t status;
    };
    const Case cases[] = {
        {"counts differ", Points({1, 2}), Points({1}), Points({1, 2}), E_UNEXPECTED},
        {"a wavelength differs", Points({1, 2}), Points({1, 2}, {19000, 19101}), Points({1, 2}), E_UNEXPECTED},
        {"the first wavelength differs", Points({1, 2}), Points({1, 2}), Points({1, 2}, {18999, 19100}), E_UNEXPECTED},
        {"element 0 differs only", Points({1, 2}), countElement, Points({1, 2}), S_OK},
        {"a negative point count", negative, negative, negative, E_UNEXPECTED},
        {"no value array", noValues, noValues, noValues, E_UNEXPECTED},
        {"no wavelength array", noWavelengths, noWavelengths, noWavelengths, E_UNEXPECTED},
        {"a background fails", Points({1, 2}), failing, Points({1, 2}), int32_t(0x80030002u)},
        {"a failure that hands arrays over", Points({1, 2}), handsOver, Points({1, 2}), E_ABORT},
        {"success codes", Points({1, 2}), Points({1, 2}), success, 2},
    };
    for (const auto& c : cases) {
        StandInSpectrumSource source;
        source.At(1, c.s);
        source.At(2, c.b1);
        source.At(3, c.b2);
        const auto s = Subtract(source);
        EXPECT_EQ(s.status, c.status) << c.what;
        EXPECT_EQ(s.count != -99, c.status >= 0) << c.what;
    }
}

// A source whose background is zero at times 0 and 100, the spectrum at 50.
int32_t UVRecord(Reply spectrum, UVSpecData* record) {
    StandInSpectrumSource source;
    Reply background = spectrum;
    for (auto& v : background.values) v = 0.0;
    background.status = S_OK;
    source.At(50, spectrum);
    source.At(0, background);
    source.At(100, background);
    const BGSubtractionRequest request{50, 0, 100, source.Source(), 0, 0};
    std::memset(record, 0xCD, sizeof *record);
    return Lumitra_GetBGSubtractedUVSpecData(&request, record);
}

TEST(UVSpecData, Records) {
    static const lumitra::test::SiblingControls sibling;
    struct Case {
        const char* what;
        std::vector<double> values;
        double maxValue, minValue;
    };
    const Case cases[] = {
        {"mixed values", {0.5, -2.0, 7.25, 3.0}, 7.25, -2.0},
        {"all negative: a negative maximum", {-3.0, -1.5, -9.0}, -1.5, -9.0},
        {"a NaN is never a new extreme", {1.0, NAN, -1.0}, 1.0, -1.0},
        {"no points: the start values", {}, -DBL_MAX, DBL_MAX},
        {"equal extremes: the first is kept", {0.0, -0.0}, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        UVSpecData r;
        ASSERT_EQ(UVRecord(Points(c.values, {25400, 25450, 25500, 25550}), &r), S_OK) << c.what;
        const auto n = int32_t(c.values.size());
        EXPECT_TRUE(r.time == 50 && r.pointCount == n && r.firstWavelength == (n ? 25400 : 0) &&
                    r.lastWavelength == (n ? 25400 + 50 * (n - 1) : 0) && r.reserved1 == 0 && r.reserved2 == 0)
            << c.what;
        EXPECT_TRUE(r.maxValue == c.maxValue && r.minValue == c.minValue &&
                    std::signbit(r.maxValue) == std::signbit(c.maxValue) &&
                    std::signbit(r.minValue) == std::signbit(c.minValue))
            << c.what;
        for (int32_t i = 0; i < n; ++i)
            EXPECT_TRUE(r.wavelengths[i] == 25400 + 50 * i && (r.values[i] == c.values[size_t(i)] || std::isnan(r.values[i])));
        sibling.Free(&r);
    }
}

}  // namespace
