// Background subtraction as plain arrays: the interpolation in time
// against a literal version, the documented examples, every failure path,
// and that every array received from the data source is freed.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/task_allocator.h"
#include "spectrum_source_standin.h"
#include "support/allocation_guard.h"
#include "support/random.h"
#include "support/ulps.h"

namespace {

using lumitra::module::TaskFree;
using lumitra::module::allocation_hook::OutstandingTaskAllocations;
using lumitra::test::Bits;
using lumitra::test::StandInSpectrumSource;
using Reply = StandInSpectrumSource::Reply;

// The correction of one point, step by step as the host's tools describe it.
double LiteralSubtraction(double s, double b1, double b2, int32_t t, int32_t t1, int32_t t2) {
    if (t == t1) return s - b1;
    if (t == t2) return s - b2;
    if (b2 == b1) return s - b1;
    const int32_t dt = static_cast<int32_t>(static_cast<uint32_t>(t) - static_cast<uint32_t>(t1));
    const int32_t dt21 =
        static_cast<int32_t>(static_cast<uint32_t>(t2) - static_cast<uint32_t>(t1));
    const double numerator = (b2 - b1) * static_cast<double>(dt);
    const double interpolated = numerator / static_cast<double>(dt21);
    const double background = interpolated + b1;
    return s - background;
}

struct Outcome {
    int32_t status;
    std::vector<double> values;
    int32_t count;
    std::vector<int32_t> wavelengths;  // element 0 and the points' wavelengths
    bool written;
};

// Calls the export and checks that, apart from the arrays handed to the
// caller, every array the source handed out has been freed.
Outcome Subtract(StandInSpectrumSource& source, int32_t t, int32_t t1, int32_t t2,
                 uint16_t selectorB = 0, int16_t selectorA = 0) {
    const long before = OutstandingTaskAllocations();
    const long handedBefore = source.ArraysHandedOut();
    BGSubtractionRequest request{t, t1, t2, source.Source(), selectorB, selectorA};
    double* values = reinterpret_cast<double*>(8);
    int32_t* wavelengths = reinterpret_cast<int32_t*>(8);
    int32_t count = -99;
    Outcome outcome{Lumitra_GetBGSubtractedSpectrum(&request, &values, &count, &wavelengths),
                    {}, count, {}, count != -99};
    const long returned = outcome.status >= 0 ? 2 : 0;
    EXPECT_EQ(OutstandingTaskAllocations() - before, returned)
        << "arrays received from the data source were not freed ("
        << source.ArraysHandedOut() - handedBefore << " handed out)";
    if (outcome.status >= 0) {
        outcome.values.assign(values, values + (count > 0 ? count : 0));
        outcome.wavelengths.assign(wavelengths, wavelengths + (count > 0 ? count + 1 : 2));
        TaskFree(values);
        TaskFree(wavelengths);
    } else {
        EXPECT_EQ(values, reinterpret_cast<double*>(8));
        EXPECT_EQ(wavelengths, reinterpret_cast<int32_t*>(8));
    }
    return outcome;
}

Reply Spectrum(std::vector<double> values, std::vector<int32_t> wavelengths = {}) {
    Reply reply;
    if (wavelengths.empty())
        for (size_t i = 0; i < values.size(); ++i) wavelengths.push_back(19000 + 100 * int32_t(i));
    reply.values = std::move(values);
    reply.wavelengths = std::move(wavelengths);
    return reply;
}

TEST(BackgroundSubtraction, DocumentedExamples) {
    struct Case {
        const char* what;
        int32_t t, t1, t2;
        std::vector<double> s, b1, b2, expected;
    };
    const Case cases[] = {
        {"spectrum at the first background time", 10, 10, 10, {5, 6}, {1, 2}, {3, 9}, {4, 4}},
        {"spectrum at the second background time", 20, 10, 20, {5, 6}, {1, 2}, {3, 9}, {2, -3}},
        {"midway: the mean of both", 15, 10, 20, {5, 6}, {1, 2}, {3, 8}, {3, 1}},
        {"beyond: extrapolated to 30", 30, 10, 20, {5, 6}, {1, 2}, {3, 8}, {0, -8}},
        {"before: extrapolated to 0", 0, 10, 20, {5, 6}, {1, 2}, {3, 8}, {6, 10}},
        {"equal backgrounds, whatever the times", 15, 10, 10, {5, 6}, {1, 2}, {1, 2}, {4, 4}},
    };
    for (const auto& c : cases) {
        StandInSpectrumSource source;
        source.At(c.t, Spectrum(c.s));
        source.At(c.t1, Spectrum(c.b1));
        source.At(c.t2, Spectrum(c.b2));
        const auto outcome = Subtract(source, c.t, c.t1, c.t2);
        ASSERT_EQ(outcome.status, S_OK) << c.what;
        ASSERT_EQ(outcome.count, 2) << c.what;
        EXPECT_EQ(outcome.values, c.expected) << c.what;
        EXPECT_EQ(outcome.wavelengths, (std::vector<int32_t>{2, 19000, 19100})) << c.what;
    }
}

TEST(BackgroundSubtraction, RequestsInOrderWithSelectors) {
    StandInSpectrumSource source;
    for (int32_t t : {7, 3, 11}) source.At(t, Spectrum({1.0}));
    ASSERT_EQ(Subtract(source, 7, 3, 11, 0xFFFF, -2).status, S_OK);
    ASSERT_EQ(source.Requests().size(), 3u);
    const int32_t times[] = {7, 3, 11};
    for (size_t i = 0; i < 3; ++i) {
        const auto& r = source.Requests()[i];
        EXPECT_EQ(r.time, times[i]);
        EXPECT_EQ(r.selectorA, -2);     // sign-extended
        EXPECT_EQ(r.selectorB, 65535);  // zero-extended
        EXPECT_EQ(r.zero, 0);
        EXPECT_EQ(r.one, 1);
    }
}

TEST(BackgroundSubtraction, EmptySpectrumGivesEightByteWavelengthArray) {
    StandInSpectrumSource source;
    for (int32_t t : {1, 2, 3}) source.At(t, Spectrum({}));
    const auto outcome = Subtract(source, 1, 2, 3);
    EXPECT_EQ(outcome.status, S_OK);
    EXPECT_EQ(outcome.count, 0);
    EXPECT_TRUE(outcome.values.empty());
    // The point-count element and a zero second element.
    EXPECT_EQ(outcome.wavelengths, (std::vector<int32_t>{0, 0}));
}

TEST(BackgroundSubtraction, EqualBackgroundTimesFollowIeeeArithmetic) {
    // Two different background spectra reported for one time: the division
    // by zero gives infinities or NaN, no trap.
    StandInSpectrumSource source;
    source.At(15, Spectrum({5, 5, 5, 5}));
    source.At(10, Spectrum({1, 1, 1, 2}));
    source.At(10, Spectrum({3, -1, 1, 2}));
    const auto outcome = Subtract(source, 15, 10, 10);
    ASSERT_EQ(outcome.status, S_OK);
    ASSERT_EQ(outcome.count, 4);
    EXPECT_EQ(outcome.values[0], -HUGE_VAL);
    EXPECT_EQ(outcome.values[1], HUGE_VAL);
    EXPECT_EQ(outcome.values[2], 4.0);  // equal backgrounds: no division
    EXPECT_EQ(outcome.values[3], 3.0);
}

TEST(BackgroundSubtraction, SameBitsAsTheLiteralVersion) {
    lumitra::test::SplitMix64 random(7021);
    for (int round = 0; round < 400; ++round) {
        const int32_t n = int32_t(random.Uniform(0, 40));
        // Times that are often equal, sometimes far apart or wrapping.
        auto time = [&] {
            switch (random.Uniform(0, 3)) {
                case 0: return int32_t(random.Uniform(0, 4));
                case 1: return int32_t(random.Uniform(-100000, 100000));
                case 2: return int32_t(random.Uniform(INT32_MIN, INT32_MAX));
                default: return int32_t(random.Uniform(0, 1));
            }
        };
        int32_t t = time(), t1 = time(), t2 = time();
        std::vector<double> s(static_cast<size_t>(n)), b1(s), b2(s);
        for (int32_t i = 0; i < n; ++i) {
            s[size_t(i)] = (random.Unit() - 0.5) * 2000.0;
            b1[size_t(i)] = random.Uniform(0, 4) == 0 ? 0.25 : (random.Unit() - 0.5) * 50.0;
            b2[size_t(i)] = random.Uniform(0, 3) == 0 ? b1[size_t(i)] : random.Unit() * 50.0;
        }
        // Replies in request order, so equal times may still see different
        // spectra (a zero time span then divides by zero).
        StandInSpectrumSource source;
        source.At(t, Spectrum(s));
        source.At(t1, Spectrum(b1));
        source.At(t2, Spectrum(b2));
        const auto outcome = Subtract(source, t, t1, t2);
        ASSERT_EQ(outcome.status, S_OK);
        ASSERT_EQ(outcome.count, n);
        for (int32_t i = 0; i < n; ++i) {
            const double expected =
                LiteralSubtraction(s[size_t(i)], b1[size_t(i)], b2[size_t(i)], t, t1, t2);
            ASSERT_EQ(Bits(outcome.values[size_t(i)]), Bits(expected))
                << "round " << round << " point " << i;
        }
    }
}

TEST(BackgroundSubtraction, SpectraThatDoNotFitTogether) {
    struct Case {
        const char* what;
        Reply s, b1, b2;
        int32_t status;
    };
    Reply withCount = Spectrum({1, 2});
    withCount.countElement = 99;  // element 0 is not compared
    Reply negative = Spectrum({1, 2});
    negative.reportedCount = -2;
    Reply noValues = Spectrum({1, 2});
    noValues.withoutValues = true;
    Reply noWavelengths = Spectrum({});
    noWavelengths.withoutWavelengths = true;
    const Case cases[] = {
        {"counts differ (background 1)", Spectrum({1, 2}), Spectrum({1}), Spectrum({1, 2}),
         E_UNEXPECTED},
        {"counts differ (background 2)", Spectrum({1, 2}), Spectrum({1, 2}), Spectrum({1, 2, 3}),
         E_UNEXPECTED},
        {"last wavelength of background 1 differs", Spectrum({1, 2}),
         Spectrum({1, 2}, {19000, 19101}), Spectrum({1, 2}), E_UNEXPECTED},
        {"first wavelength of background 2 differs", Spectrum({1, 2}),
         Spectrum({1, 2}), Spectrum({1, 2}, {18999, 19100}), E_UNEXPECTED},
        {"element 0 differs only", Spectrum({1, 2}), withCount, Spectrum({1, 2}), S_OK},
        {"negative point count", negative, negative, negative, E_UNEXPECTED},
        {"no value array", noValues, noValues, noValues, E_UNEXPECTED},
        {"no wavelength array", noWavelengths, noWavelengths, noWavelengths, E_UNEXPECTED},
    };
    for (const auto& c : cases) {
        StandInSpectrumSource source;
        source.At(1, c.s);
        source.At(2, c.b1);
        source.At(3, c.b2);
        const auto outcome = Subtract(source, 1, 2, 3);
        EXPECT_EQ(outcome.status, c.status) << c.what;
        EXPECT_EQ(outcome.written, c.status == S_OK) << c.what;
        EXPECT_EQ(source.Requests().size(), 3u) << c.what;
    }
}

TEST(BackgroundSubtraction, DataSourceStatusesPassThrough) {
    struct Case {
        const char* what;
        int32_t statuses[3];
        bool arraysOnFailure;
        int32_t expected;
        size_t requests;
        long handedOut;
    };
    const Case cases[] = {
        {"spectrum fails", {E_FAIL, S_OK, S_OK}, false, E_FAIL, 1, 0},
        {"first background fails", {S_OK, int32_t(0x80030002u), S_OK}, false,
         int32_t(0x80030002u), 2, 2},
        {"second background fails", {S_OK, S_OK, E_OUTOFMEMORY}, false, E_OUTOFMEMORY, 3, 4},
        {"failure that still hands arrays over", {S_OK, E_ABORT, S_OK}, true, E_ABORT, 2, 4},
        {"success codes: the last one counts", {1, 0, 2}, false, 2, 3, 6},
        {"success codes: a last S_OK", {1, 1, 0}, false, 0, 3, 6},
    };
    for (const auto& c : cases) {
        StandInSpectrumSource source;
        for (int32_t i = 0; i < 3; ++i) {
            Reply reply = Spectrum({1, 2});
            reply.status = c.statuses[i];
            reply.arraysOnFailure = c.arraysOnFailure;
            source.At(10 * (i + 1), reply);
        }
        const auto outcome = Subtract(source, 10, 20, 30);
        EXPECT_EQ(outcome.status, c.expected) << c.what;
        EXPECT_EQ(source.Requests().size(), c.requests) << c.what;
        EXPECT_EQ(source.ArraysHandedOut(), c.handedOut) << c.what;
    }
}

TEST(BackgroundSubtraction, EveryAllocationFailure) {
    StandInSpectrumSource source;
    source.At(15, Spectrum({5, 6, 7}));
    source.At(10, Spectrum({1, 2, 3}));
    source.At(20, Spectrum({3, 4, 5}));
    const int points = lumitra::test::SweepAllocationFailures(
        [&] {
            const auto outcome = Subtract(source, 15, 10, 20);
            if (lumitra::module::allocation_hook::FailureDelivered()) {
                // The data source's own allocations report the same code.
                EXPECT_EQ(outcome.status, E_OUTOFMEMORY);
            } else {
                EXPECT_EQ(outcome.status, S_OK);
                EXPECT_EQ(outcome.values, (std::vector<double>{3, 3, 3}));
            }
        },
        [](bool) {});
    // Six source arrays and the two returned ones.
    EXPECT_EQ(points, 8);
}

}  // namespace

namespace {

// Every build must give the same corrected values: a digest over random
// spectra and times is compared with one committed value.
TEST(BackgroundSubtraction, SameResultsOnEveryBuild) {
    lumitra::test::SplitMix64 random(150);
    lumitra::test::Digest digest;
    for (int round = 0; round < 200; ++round) {
        const auto t = int32_t(random.Uniform(-1000, 1000));
        const auto t1 = int32_t(random.Uniform(-1000, 1000));
        const auto t2 = int32_t(random.Uniform(-1000, 1000));
        std::vector<double> s(64), b1(64), b2(64);
        for (size_t i = 0; i < 64; ++i) {
            s[i] = random.Unit() * 3.0;
            b1[i] = random.Unit() * 0.3;
            b2[i] = random.Unit() * 0.3;
        }
        StandInSpectrumSource source;
        source.At(t, Spectrum(s));
        source.At(t1, Spectrum(b1));
        source.At(t2, Spectrum(b2));
        for (double v : Subtract(source, t, t1, t2).values) {
            digest.Add(uint32_t(Bits(v)));
            digest.Add(uint32_t(Bits(v) >> 32));
        }
    }
    EXPECT_EQ(digest.Value(), 0xc82e7f90af22bbf5ull) << std::hex << "digest 0x" << digest.Value();
}

}  // namespace
