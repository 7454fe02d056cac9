// Peak bases, base times and the peak at a retention time: the documented
// grouping rules, a literal version of the steps over random tables, and
// the status paths.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "lumitra/lumitra.h"
#include "support/random.h"

namespace {

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

// The steps of the base search one by one; `belowTable` reports a move
// past the first record, for which no result is defined.
struct Literal {
    int32_t status, first, last;
    bool belowTable;
};
Literal LiteralBasePeaks(const std::vector<Peak>& p, int32_t peak) {
    const int32_t count = static_cast<int32_t>(p.size());
    if (count < 1) return {E_ABORT, 0, 0, false};
    if (peak > count || peak < 1) return {E_INVALIDARG, 0, 0, false};
    const int32_t i = peak - 1;
    const uint32_t F = p[size_t(i)].flags & 0xFFFF;
    const bool grouped = (F & 0x100) != 0 || (F & 0x800) != 0;
    const uint32_t mask = grouped ? 0x10 : 0x910;
    auto baseStart = [&](int32_t r) { return (p[size_t(r)].flags & mask) == 0x10; };
    int32_t j = i;
    while (!baseStart(j) && j > 0) j = j - 1;
    int32_t k = i;
    for (int32_t q = i + 1; q <= count - 1; ++q) {
        const uint32_t w = p[size_t(q)].flags & 0xFFFF;
        if (baseStart(q)) {
            if ((w & 0x4) != 0 && (F & 0x800) == 0) {
                do {
                    k = k - 1;
                    if (k < 0) return {S_OK, j + 1, 0, true};
                } while ((p[size_t(k)].flags & 0x800) != 0);
            }
            break;
        } else if (grouped && (w & 0x100) == 0 && (w & 0x800) == 0) {
            break;
        } else {
            k = q;
        }
    }
    if (!grouped) {
        while ((p[size_t(k)].flags & 0x100) != 0) {
            k = k - 1;
            if (k < 0) return {S_OK, j + 1, 0, true};
        }
    }
    return {S_OK, j + 1, k + 1, false};
}

int32_t LiteralPeakFromRT(const std::vector<Peak>& p, int32_t time, int16_t fallback) {
    if (p.empty()) return 0;
    auto distance = [&](const Peak& peak) {
        int64_t d = int64_t(time) - int64_t(peak.retention);
        d = static_cast<int32_t>(static_cast<uint32_t>(d));  // 32-bit difference
        d = d < 0 ? -d : d;
        return static_cast<int32_t>(static_cast<uint32_t>(d));  // |INT32_MIN| wraps
    };
    int32_t best = 2147483647, found = 0;
    for (size_t r = 0; r < p.size(); ++r) {
        if (p[r].start <= time && time <= p[r].end && distance(p[r]) < best) {
            best = distance(p[r]);
            found = int32_t(r + 1);
        }
    }
    if (found == 0 && fallback == 1) {
        best = 2147483647;
        for (size_t r = 0; r < p.size(); ++r) {
            if (distance(p[r]) < best) {
                best = distance(p[r]);
                found = int32_t(r + 1);
            }
        }
    }
    return found;
}

TEST(BasePeaks, DocumentedGroupingRules) {
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

TEST(BasePeaks, LiteralVersionOverRandomTables) {
    lumitra::test::SplitMix64 random(1056);
    const uint32_t bits[] = {0x4, 0x10, 0x100, 0x800, 0x1, 0x20000};
    int compared = 0, belowTable = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint32_t> flags(size_t(random.Uniform(1, 14)));
        for (auto& f : flags)
            for (uint32_t bit : bits)
                if (random.Uniform(0, 3) == 0) f |= bit;
        const auto peaks = WithFlags(flags);
        const Table table(peaks);
        for (int32_t peak = 0; peak <= int32_t(peaks.size()) + 1; ++peak) {
            const Literal expected = LiteralBasePeaks(peaks, peak);
            int32_t first = -1, last = -1;
            const int32_t status = Lumitra_GetBasePeaks(table.get(), peak, &first, &last);
            ASSERT_EQ(status, expected.status);
            if (status != S_OK) {
                EXPECT_EQ(first, -1);
                continue;
            }
            if (expected.belowTable) {
                // The moves stop at the first record.
                ++belowTable;
                ASSERT_EQ(first, expected.first);
                ASSERT_EQ(last, 1);
                continue;
            }
            ASSERT_EQ(first, expected.first) << "round " << round << " peak " << peak;
            ASSERT_EQ(last, expected.last) << "round " << round << " peak " << peak;
            ++compared;
        }
    }
    EXPECT_GT(compared, 10000);
    EXPECT_GT(belowTable, 10);
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

TEST(PeakFromRT, DocumentedSelection) {
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

TEST(PeakFromRT, LiteralVersionOverRandomTables) {
    lumitra::test::SplitMix64 random(4096);
    for (int round = 0; round < 2000; ++round) {
        std::vector<Peak> peaks(size_t(random.Uniform(0, 10)));
        const bool wide = random.Uniform(0, 4) == 0;
        for (auto& p : peaks) {
            p.retention = int32_t(wide ? random.Uniform(INT32_MIN, INT32_MAX) : random.Uniform(0, 500));
            p.start = int32_t(p.retention - random.Uniform(0, 60));
            p.end = int32_t(p.retention + random.Uniform(-10, 60));
        }
        const Table table(peaks);
        for (int probe = 0; probe < 8; ++probe) {
            const auto time =
                int32_t(wide ? random.Uniform(INT32_MIN, INT32_MAX) : random.Uniform(-50, 600));
            const auto fallback = int16_t(random.Uniform(-1, 2));
            ASSERT_EQ(Lumitra_GetPeakFromRT(table.get(), time, fallback),
                      LiteralPeakFromRT(peaks, time, fallback))
                << "round " << round << " time " << time;
        }
    }
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

}  // namespace
