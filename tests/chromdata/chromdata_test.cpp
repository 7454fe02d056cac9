// Chromatogram and spectrum utilities on their worked examples: the base
// of a peak under every grouping rule, the peak at a retention time, the
// background-subtracted spectrum (as arrays and as a UV spectrum record
// from the stand-in sibling) with every way its data can fail to fit, and
// the wavelength caption.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/task_allocator.h"
#include "sibling_standin.h"
#include "spectrum_source_standin.h"

namespace {

using lumitra::module::allocation_hook::OutstandingTaskAllocations;
using lumitra::test::StandInSpectrumSource;
using Reply = StandInSpectrumSource::Reply;

struct Peak {
    uint32_t flags;
    int32_t retention, start, end;
};

// The host's layout: count, then 1056-byte records; `shift` bytes of
// padding in front test that the table needs no alignment.
class Table {
public:
    Table(const std::vector<Peak>& peaks, size_t shift = 0,
          std::optional<int32_t> count = std::nullopt)
        : bytes_(shift + 4 + peaks.size() * LUMITRA_PEAK_RECORD_SIZE, 0xEE), shift_(shift) {
        Put(0, count.value_or(static_cast<int32_t>(peaks.size())));
        for (size_t k = 0; k < peaks.size(); ++k) {
            const size_t at = k * LUMITRA_PEAK_RECORD_SIZE;
            Put(at + LUMITRA_PEAK_FLAGS_OFFSET, peaks[k].flags);
            Put(at + LUMITRA_PEAK_RETENTION_TIME_OFFSET, peaks[k].retention);
            Put(at + LUMITRA_PEAK_START_TIME_OFFSET, peaks[k].start);
            Put(at + LUMITRA_PEAK_END_TIME_OFFSET, peaks[k].end);
        }
    }
    const void* get() const { return bytes_.data() + shift_; }

private:
    template <typename T>
    void Put(size_t offset, T value) {
        std::memcpy(bytes_.data() + shift_ + offset, &value, sizeof value);
    }
    std::vector<unsigned char> bytes_;
    size_t shift_;
};

// Peaks with the given flags at retention times 100, 200, ... each from
// 50 before to 49 after its top.
std::vector<Peak> WithFlags(const std::vector<uint32_t>& flags) {
    std::vector<Peak> peaks;
    for (size_t k = 0; k < flags.size(); ++k) {
        const int32_t top = 100 * int32_t(k + 1);
        peaks.push_back({flags[k], top, top - 50, top + 49});
    }
    return peaks;
}

TEST(BasePeaks, GroupingRules) {
    struct Case {
        const char* what;
        std::vector<uint32_t> flags;
        int32_t peak, first, last;
    };
    const Case cases[] = {
        {"every peak starts a base", {0x10, 0x10, 0x10}, 2, 2, 2},
        {"one base of three: peak 1", {0x10, 0, 0}, 1, 1, 3},
        {"one base of three: peak 2", {0x10, 0, 0}, 2, 1, 3},
        {"one base of three: peak 3", {0x10, 0, 0}, 3, 1, 3},
        {"no base start before the peak", {0, 0, 0x10}, 2, 1, 2},
        {"ungrouped: grouped base starts are skipped", {0x10, 0, 0x110, 0, 0x100}, 4, 1, 4},
        {"ungrouped: a grouped base start ahead is skipped", {0x10, 0, 0x810, 0}, 1, 1, 4},
        {"ungrouped: trailing 0x100 peaks dropped", {0x10, 0, 0x100, 0x100}, 2, 1, 2},
        {"grouped: ends before an ungrouped peak", {0x110, 0x100, 0x800, 0, 0x100}, 2, 1, 3},
        {"grouped: ends before the next base start", {0x110, 0x100, 0x110, 0x100}, 1, 1, 2},
        {"grouped: grouped base starts count", {0x10, 0x110, 0x100, 0x800}, 3, 2, 4},
        {"scan end: the peak before it leaves the base", {0x10, 0, 0x800, 0x14}, 2, 1, 2},
        {"scan end: 0x800 peaks before it leave too", {0x10, 0, 0x800, 0x800, 0x14}, 1, 1, 2},
        {"scan end: back over every 0x800 peak", {0x10, 0x800, 0x800, 0, 0x14}, 1, 1, 1},
        {"scan end ignored for a 0x800 peak", {0x10, 0x800, 0x800, 0x14}, 2, 1, 3},
        {"other flag bits are ignored", {0x10 | 0x10000, 0x2000, 0x1}, 3, 1, 3},
        // Moves that would pass the first record stop there.
        {"scan end right after the first peak", {0x10, 0x14}, 1, 1, 1},
        {"grouped first peak before a scan end", {0x100, 0x14}, 1, 1, 1},
    };
    for (const auto& c : cases) {
        for (size_t shift : {0, 1, 3}) {
            const Table table(WithFlags(c.flags), shift);
            int32_t first = -1, last = -1;
            ASSERT_EQ(Lumitra_GetBasePeaks(table.get(), c.peak, &first, &last), S_OK) << c.what;
            EXPECT_EQ(first, c.first) << c.what;
            EXPECT_EQ(last, c.last) << c.what;
            int32_t start = -1, end = -1;
            ASSERT_EQ(Lumitra_GetBaseTimes(table.get(), c.peak, &start, &end), S_OK) << c.what;
            EXPECT_EQ(start, 100 * c.first - 50) << c.what;
            EXPECT_EQ(end, 100 * c.last + 49) << c.what;
        }
    }
}

TEST(BasePeaks, StatusesAndUntouchedOutputs) {
    struct Case {
        const char* what;
        int32_t count, peak, status;
    };
    const Case cases[] = {
        {"empty table", 0, 1, E_ABORT},
        {"count is tested before the peak number", 0, 9, E_ABORT},
        {"negative count", -3, 1, E_ABORT},
        {"peak 0", 3, 0, E_INVALIDARG},
        {"peak beyond the count", 3, 4, E_INVALIDARG},
        {"negative peak", 3, -1, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        const Table table(WithFlags({0x10, 0, 0}), 0, c.count);
        int32_t a = -7, b = -7;
        EXPECT_EQ(Lumitra_GetBasePeaks(table.get(), c.peak, &a, &b), c.status) << c.what;
        EXPECT_EQ(Lumitra_GetBaseTimes(table.get(), c.peak, &a, &b), c.status) << c.what;
        EXPECT_EQ(a, -7) << c.what;
        EXPECT_EQ(b, -7) << c.what;
    }
}

TEST(PeakFromRT, SelectionRules) {
    // Peaks at 100 (50..149), 200 (150..249), 300 (250..349); a fourth
    // overlapping the second: top 230, 180..260.
    auto peaks = WithFlags({0, 0, 0});
    peaks.push_back({0, 230, 180, 260});
    const Table table(peaks);
    struct Case {
        const char* what;
        int32_t time;
        int16_t fallback;
        int32_t peak;
    };
    const Case cases[] = {
        {"at a start time", 150, 0, 2},
        {"at an end time", 149, 0, 1},
        {"inside two peaks: the nearer top", 220, 0, 4},
        {"inside two peaks: equally near, the first", 215, 0, 2},
        {"outside every peak, no fallback", 400, 0, 0},
        {"outside every peak, fallback 1", 400, 1, 3},
        {"outside every peak, fallback 2 is none", 400, 2, 0},
        {"outside every peak, fallback -1 is none", 10, -1, 0},
        {"before every peak, fallback 1", 10, 1, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Lumitra_GetPeakFromRT(table.get(), c.time, c.fallback), c.peak) << c.what;
    const Table empty(std::vector<Peak>{});
    EXPECT_EQ(Lumitra_GetPeakFromRT(empty.get(), 100, 1), 0);
}

TEST(BaseTimesFromRT, PeakAtTimeWithoutFallback) {
    const Table table(WithFlags({0x10, 0, 0x10, 0}));
    int32_t start = -1, end = -1;
    ASSERT_EQ(Lumitra_GetBaseTimesFromRT(table.get(), 410, &start, &end), S_OK);
    EXPECT_EQ(start, 250);
    EXPECT_EQ(end, 449);
    ASSERT_EQ(Lumitra_GetBaseTimesFromRT(table.get(), 120, &start, &end), S_OK);
    EXPECT_EQ(start, 50);
    EXPECT_EQ(end, 249);
    // Outside every peak there is no fallback: nothing is written.
    start = end = -1;
    EXPECT_EQ(Lumitra_GetBaseTimesFromRT(table.get(), 900, &start, &end), E_ABORT);
    const Table empty(std::vector<Peak>{});
    EXPECT_EQ(Lumitra_GetBaseTimesFromRT(empty.get(), 100, &start, &end), E_ABORT);
    EXPECT_EQ(start, -1);
    EXPECT_EQ(end, -1);
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
        lumitra::module::TaskFree(values);
        lumitra::module::TaskFree(wavelengths);
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

TEST(BackgroundSubtraction, WorkedExamples) {
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

const lumitra::test::SiblingControls& Sibling() {
    static const lumitra::test::SiblingControls controls;
    return controls;
}

Reply Points(std::vector<double> values, int32_t firstWavelength = 20000) {
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
        Script(source, Points(c.values, 25400));
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
    }
}

TEST(UVSpecData, EmptySpectrumKeepsTheStartValues) {
    StandInSpectrumSource source;
    Script(source, Points({}));
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
    Reply wrongCount = Points({1, 2, 3});
    wrongCount.countElement = 2;
    Reply failing = Points({1, 2});
    failing.status = int32_t(0x80040154u);
    const Case cases[] = {
        {"success", Points({1, 2}), 0, 0, S_OK, false, 1},
        {"the allocator's success code is passed on", Points({1, 2}), 0, 1, 1, false, 1},
        {"point-count element differs from the count", wrongCount, 0, 0, E_UNEXPECTED, true, 0},
        {"the data source fails", failing, 0, 0, int32_t(0x80040154u), true, 0},
        {"the allocator fails", Points({1, 2}), int32_t(0x80070008u), 0, int32_t(0x80070008u),
         false, 1},
    };
    for (const auto& c : cases) {
        StandInSpectrumSource source;
        Script(source, c.spectrum);
        Sibling().SetResults(c.failStatus, c.successStatus);
        UVSpecData record;
        std::memset(&record, 0xCD, sizeof record);
        EXPECT_EQ(Call(source, &record), c.expected) << c.what;
        EXPECT_EQ(AllZero(record), c.recordAllZero) << c.what;
        if (c.expected < 0 && c.allocatorCalls == 1) {
            // What the allocator wrote after the clearing stays.
            EXPECT_EQ(record.time, 0x5A5A5A5A) << c.what;
            EXPECT_EQ(record.values, nullptr) << c.what;
        }
        Sibling().Free(&record);
        Sibling().SetResults(0, 0);
    }
}

LambdaList List(int kind, std::vector<int32_t> wavelengths, int count = -1) {
    LambdaList list{};
    std::memset(&list, 0xAB, sizeof list);  // bytes that are never read
    auto& entries = kind == 1 ? list.list1 : list.list2;
    for (size_t i = 0; i < wavelengths.size() && i < 10; ++i) entries[i].wavelength = wavelengths[i];
    const auto n = static_cast<uint16_t>(count < 0 ? int(wavelengths.size()) : count);
    (kind == 1 ? list.count1 : list.count2) = n;
    return list;
}

TEST(WavelengthCaption, WorkedExamples) {
    struct Case {
        const char* what;
        int32_t options;
        LambdaList list;
        int16_t decimals;
        int32_t status;
        const char* caption;
    };
    const std::vector<int32_t> pair = {25400, 28000};
    const std::vector<int32_t> ten(10, 19000);
    const Case cases[] = {
        {"two entries, 2 decimals", 2, List(2, pair), 2, S_OK, "254.00/280.00"},
        {"first only", 0x102, List(2, pair), 2, S_OK, "254.00"},
        {"0 decimals", 2, List(2, pair), 0, S_OK, "254/280"},
        {"negative decimals behave as 0", 2, List(2, pair), -3, S_OK, "254/280"},
        {"count 0", 2, List(2, {}), 2, S_OK, ""},
        {"count 0, first only", 0x102, List(2, {}), 2, S_OK, " "},
        {"count 10", 2, List(2, ten), 0,
         S_OK, "190/190/190/190/190/190/190/190/190/190"},
        {"count 11 is refused", 2, List(2, ten, 11), 2, E_INVALIDARG, ""},
        {"0x101: list 1, first only", 0x101, List(1, pair), 1, S_OK, "254.0"},
        {"0x201: list 1, all entries", 0x201, List(1, pair), 1, S_OK, "254.0/280.0"},
        {"list 2 is not read for kind 1", 1, List(2, pair), 1, S_OK, ""},
        {"kind 0 is refused", 0x100, List(2, pair), 2, E_INVALIDARG, ""},
        {"kind 3 is refused", 3, List(2, pair), 2, E_INVALIDARG, ""},
        {"a negative 16-bit count formats nothing", 2, List(2, pair, 0x8001), 2, S_OK, ""},
        {"other option bits are ignored", 0x7FFF0E02, List(2, pair), 2, S_OK, "254.00/280.00"},
    };
    for (const auto& c : cases) {
        std::string caption = "previous caption";
        EXPECT_EQ(Lumitra_GetStringLambdaMinMax(c.options, caption, &c.list, c.decimals), c.status)
            << c.what;
        EXPECT_EQ(caption, c.caption) << c.what;
    }
}

}  // namespace
