// Chromatogram and spectrum utilities on their worked examples: the base
// of a peak under every grouping rule, the peak at a retention time, the
// background-subtracted spectrum (as arrays and as a UV spectrum record
// from the stand-in sibling) with the ways its data can fail to fit, and
// the wavelength caption.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/task_allocator.h"
#include "sibling_standin.h"
#include "spectrum_source_standin.h"

namespace {

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

TEST(UVSpecData, RecordsAndStatusPaths) {
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
        EXPECT_TRUE(r.maxValue == c.maxValue && r.minValue == c.minValue && std::signbit(r.maxValue) == std::signbit(c.maxValue) &&
                    std::signbit(r.minValue) == std::signbit(c.minValue)) << c.what;
        for (int32_t i = 0; i < n; ++i)
            EXPECT_TRUE(r.wavelengths[i] == 25400 + 50 * i && (r.values[i] == c.values[size_t(i)] || std::isnan(r.values[i])));
        sibling.Free(&r);
    }
    // The allocator's success code is passed on; its failure leaves what it
    // wrote after the clearing; data that do not fit clear the record.
    Reply wrongCount = Points({1, 2, 3}), failing = Points({1, 2});
    wrongCount.countElement = 2;
    failing.status = int32_t(0x80040154u);
    struct Status {
        const char* what;
        Reply spectrum;
        int32_t failStatus, successStatus, expected, time;
    };
    const Status statuses[] = {{"success code", Points({1, 2}), 0, 1, 1, 50},
                               {"count element differs", wrongCount, 0, 0, E_UNEXPECTED, 0},
                               {"the source fails", failing, 0, 0, int32_t(0x80040154u), 0},
                               {"the allocator fails", Points({1, 2}), int32_t(0x80070008u), 0, int32_t(0x80070008u), 0x5A5A5A5A}};
    for (const auto& c : statuses) {
        sibling.SetResults(c.failStatus, c.successStatus);
        UVSpecData r;
        EXPECT_EQ(UVRecord(c.spectrum, &r), c.expected) << c.what;
        EXPECT_EQ(r.time, c.time) << c.what;
        sibling.Free(&r);
        sibling.SetResults(0, 0);
    }
}

LambdaList List(int kind, std::vector<int32_t> wavelengths, int count = -1) {
    LambdaList list{};
    std::memset(&list, 0xAB, sizeof list);  // bytes that are never read
    auto& entries = kind == 1 ? list.list1 : list.list2;
    for (size_t i = 0; i < wavelengths.size() && i < 10; ++i) entries[i].wavelength = wavelengths[i];
    (kind == 1 ? list.count1 : list.count2) = uint16_t(count < 0 ? int(wavelengths.size()) : count);
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
    const std::vector<int32_t> pair = {25400, 28000}, ten(10, 19000);
    const Case cases[] = {
        {"two entries, 2 decimals", 2, List(2, pair), 2, S_OK, "254.00/280.00"},
        {"first only", 0x102, List(2, pair), 2, S_OK, "254.00"},
        {"negative decimals behave as 0", 2, List(2, pair), -3, S_OK, "254/280"},
        {"count 0", 2, List(2, {}), 2, S_OK, ""},
        {"count 0, first only", 0x102, List(2, {}), 2, S_OK, " "},
        {"count 10", 2, List(2, ten), 0, S_OK, "190/190/190/190/190/190/190/190/190/190"},
        {"count 11 is refused", 2, List(2, ten, 11), 2, E_INVALIDARG, ""},
        {"0x101: list 1, first only", 0x101, List(1, pair), 1, S_OK, "254.0"},
        {"0x201: list 1, all entries", 0x201, List(1, pair), 1, S_OK, "254.0/280.0"},
        {"list 2 is not read for kind 1", 1, List(2, pair), 1, S_OK, ""},
        {"kind 0 is refused", 0x100, List(2, pair), 2, E_INVALIDARG, ""},
        {"a negative 16-bit count formats nothing", 2, List(2, pair, 0x8001), 2, S_OK, ""},
        {"other option bits are ignored", 0x7FFF0E02, List(2, pair), 2, S_OK, "254.00/280.00"},
        {"a value just above a half", 2, List(2, {25405, -150}), 1, S_OK, "254.1/-1.5"},
    };
    for (const auto& c : cases) {
        std::string caption = "previous caption";
        EXPECT_EQ(Lumitra_GetStringLambdaMinMax(c.options, caption, &c.list, c.decimals), c.status) << c.what;
        EXPECT_EQ(caption, c.caption) << c.what;
    }
}

}  // namespace
