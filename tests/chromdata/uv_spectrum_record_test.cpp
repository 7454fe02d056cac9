// Background subtraction as a UV spectrum record, with the stand-in
// sibling library next to the test program: the record's fields, its
// start values, every status path, and no array left behind by the library
// or the stand-ins.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "sibling_standin.h"
#include "spectrum_source_standin.h"
#include "support/allocation_guard.h"

namespace {

using lumitra::module::allocation_hook::OutstandingTaskAllocations;
using lumitra::test::SiblingControls;
using lumitra::test::StandInSpectrumSource;
using Reply = StandInSpectrumSource::Reply;

const SiblingControls& Sibling() {
    static const SiblingControls controls;
    return controls;
}

Reply Spectrum(std::vector<double> values, int32_t firstWavelength = 20000) {
    Reply reply;
    for (size_t i = 0; i < values.size(); ++i)
        reply.wavelengths.push_back(firstWavelength + 50 * int32_t(i));
    reply.values = std::move(values);
    return reply;
}

// A source whose background is zero at times 0 and 100, the spectrum at 50.
void Script(StandInSpectrumSource& source, Reply spectrum) {
    Reply background = spectrum;
    for (auto& v : background.values) v = 0.0;
    background.status = S_OK;
    source.At(50, spectrum);
    source.At(0, background);
    source.At(100, background);
}

bool AllZero(const UVSpecData& record) {
    const UVSpecData zero{};
    return std::memcmp(&record, &zero, sizeof record) == 0;
}

// Calls the export; checks that the library holds no array afterwards.
int32_t Call(StandInSpectrumSource& source, UVSpecData* record) {
    const long before = OutstandingTaskAllocations();
    const BGSubtractionRequest request{50, 0, 100, source.Source(), 0, 0};
    const int32_t status = Lumitra_GetBGSubtractedUVSpecData(&request, record);
    EXPECT_EQ(OutstandingTaskAllocations(), before) << "an array was not freed";
    return status;
}

TEST(UVSpecData, StandInSiblingIsThere) { ASSERT_TRUE(Sibling().Ready()); }

TEST(UVSpecData, RecordFromTheSubtractedSpectrum) {
    struct Case {
        const char* what;
        std::vector<double> values;
        double maxValue, minValue;
    };
    const Case cases[] = {
        {"mixed values", {0.5, -2.0, 7.25, 3.0}, 7.25, -2.0},
        {"all negative: a negative maximum", {-3.0, -1.5, -9.0}, -1.5, -9.0},
        {"a NaN is never a new extreme", {1.0, NAN, -1.0}, 1.0, -1.0},
        {"one point", {42.0}, 42.0, 42.0},
    };
    for (const auto& c : cases) {
        StandInSpectrumSource source;
        Script(source, Spectrum(c.values, 25400));
        UVSpecData record;
        std::memset(&record, 0xCD, sizeof record);
        ASSERT_EQ(Call(source, &record), S_OK) << c.what;
        const auto n = static_cast<int32_t>(c.values.size());
        EXPECT_EQ(record.time, 50) << c.what;
        EXPECT_EQ(record.pointCount, n) << c.what;
        EXPECT_EQ(record.firstWavelength, 25400) << c.what;
        EXPECT_EQ(record.lastWavelength, 25400 + 50 * (n - 1)) << c.what;
        EXPECT_EQ(record.maxValue, c.maxValue) << c.what;
        EXPECT_EQ(record.minValue, c.minValue) << c.what;
        EXPECT_EQ(record.reserved1, 0) << c.what;
        EXPECT_EQ(record.reserved2, 0) << c.what;
        for (int32_t i = 0; i < n; ++i) {
            const double expected = c.values[size_t(i)];
            if (std::isnan(expected))
                EXPECT_TRUE(std::isnan(record.values[i])) << c.what;
            else
                EXPECT_EQ(record.values[i], expected) << c.what;
            EXPECT_EQ(record.wavelengths[i], 25400 + 50 * i) << c.what;
        }
        Sibling().Free(&record);
        EXPECT_EQ(Sibling().OutstandingArrays(), 0) << c.what;
    }
}

TEST(UVSpecData, EmptySpectrumKeepsTheStartValues) {
    StandInSpectrumSource source;
    Script(source, Spectrum({}));
    UVSpecData record;
    ASSERT_EQ(Call(source, &record), S_OK);
    EXPECT_EQ(record.pointCount, 0);
    EXPECT_EQ(record.maxValue, -DBL_MAX);
    EXPECT_EQ(record.minValue, DBL_MAX);
    EXPECT_EQ(record.lastWavelength, 0);  // element 0: the count
    EXPECT_EQ(record.firstWavelength, 0);
    Sibling().Free(&record);
}

TEST(UVSpecData, StatusPaths) {
    struct Case {
        const char* what;
        Reply spectrum;
        int32_t failStatus, successStatus;
        int32_t expected;
        bool recordAllZero;
        long allocatorCalls;
    };
    Reply wrongCount = Spectrum({1, 2, 3});
    wrongCount.countElement = 2;
    Reply failing = Spectrum({1, 2});
    failing.status = int32_t(0x80040154u);
    const Case cases[] = {
        {"success", Spectrum({1, 2}), 0, 0, S_OK, false, 1},
        {"the allocator's success code is passed on", Spectrum({1, 2}), 0, 1, 1, false, 1},
        {"point-count element differs from the count", wrongCount, 0, 0, E_UNEXPECTED, true, 0},
        {"the data source fails", failing, 0, 0, int32_t(0x80040154u), true, 0},
        {"the allocator fails", Spectrum({1, 2}), int32_t(0x80070008u), 0, int32_t(0x80070008u),
         false, 1},
    };
    for (const auto& c : cases) {
        StandInSpectrumSource source;
        Script(source, c.spectrum);
        Sibling().SetResults(c.failStatus, c.successStatus);
        const long callsBefore = Sibling().AllocationCalls();
        UVSpecData record;
        std::memset(&record, 0xCD, sizeof record);
        EXPECT_EQ(Call(source, &record), c.expected) << c.what;
        EXPECT_EQ(AllZero(record), c.recordAllZero) << c.what;
        EXPECT_EQ(Sibling().AllocationCalls() - callsBefore, c.allocatorCalls) << c.what;
        if (c.expected < 0 && c.allocatorCalls == 1) {
            // What the allocator wrote after the clearing stays.
            EXPECT_EQ(record.time, 0x5A5A5A5A) << c.what;
            EXPECT_EQ(record.values, nullptr) << c.what;
        }
        Sibling().Free(&record);
        Sibling().SetResults(0, 0);
        EXPECT_EQ(Sibling().OutstandingArrays(), 0) << c.what;
    }
}

TEST(UVSpecData, EveryAllocationFailure) {
    StandInSpectrumSource source;
    Script(source, Spectrum({4, 5, 6}));
    const int points = lumitra::test::SweepAllocationFailures(
        [&] {
            UVSpecData record;
            std::memset(&record, 0xCD, sizeof record);
            const int32_t status = Call(source, &record);
            if (lumitra::module::allocation_hook::FailureDelivered()) {
                EXPECT_EQ(status, E_OUTOFMEMORY);
                EXPECT_TRUE(AllZero(record));
            } else {
                EXPECT_EQ(status, S_OK);
                EXPECT_EQ(record.maxValue, 6.0);
                Sibling().Free(&record);
            }
        },
        [](bool) {});
    EXPECT_EQ(points, 8);
    EXPECT_EQ(Sibling().OutstandingArrays(), 0);
}

}  // namespace
