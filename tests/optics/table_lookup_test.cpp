// Table comparison and element lookup: the documented examples, literal
// versions of the steps (the comparison on texts printed with "%5ld"),
// validation and the comparison's working buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/task_allocator.h"
#include "optics/table_comparison.h"
#include "support/allocation_guard.h"
#include "support/random.h"

namespace {

// A counted table as the host passes it.
std::vector<uint32_t> Counted(const std::vector<int32_t>& entries) {
    std::vector<uint32_t> table{static_cast<uint32_t>(entries.size())};
    for (int32_t e : entries) table.push_back(static_cast<uint32_t>(e));
    return table;
}

struct Stretch {
    int32_t status;
    uint16_t startA, endA, startB;
    bool operator==(const Stretch&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Stretch& s) {
    return out << "{" << s.status << ", " << s.startA << ", " << s.endA << ", " << s.startB << "}";
}

Stretch Compare(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
    const auto ta = Counted(a), tb = Counted(b);
    Stretch s{0, 1, 2, 3};
    s.status = Lumitra_IsWavelengthTableEqual(ta.data(), tb.data(), &s.startA, &s.endA, &s.startB);
    return s;
}

// The comparison step by step, on texts made by the C library's printf.
std::string LiteralText(const std::vector<int32_t>& table) {
    std::string text;
    for (int32_t e : table) {
        char field[16];
        std::snprintf(field, sizeof field, "%5ld", static_cast<long>(e));
        text += field;
    }
    return text;
}
Stretch LiteralCompare(const std::vector<int32_t>& tableA, const std::vector<int32_t>& tableB) {
    const std::string a = LiteralText(tableA), b = LiteralText(tableB);
    const int lenA = int(a.size()), lenB = int(b.size());
    auto first = [](const std::string& t) { return t.substr(0, 5); };
    auto last = [](const std::string& t) { return t.size() < 5 ? t : t.substr(t.size() - 5); };
    auto find = [](const std::string& in, const std::string& what) {
        const auto p = in.find(what);
        return p == std::string::npos ? -1 : int(p);
    };
    int startA = -1, endA = -1, startB = -1;
    bool found = false;
    if (a == b) {
        return {S_OK, 0, uint16_t(lenA / 5 - 1), 0};
    }
    const int pA = find(a, first(b));
    if (pA >= 0) {
        if (last(a).compare(last(b)) >= 0) {
            if (find(a.substr(size_t(pA)), b) >= 0) {
                startA = pA, endA = pA + lenB, startB = 0, found = true;
            }
        } else if (find(b, a.substr(size_t(pA))) >= 0) {
            startA = pA, endA = lenA, startB = 0, found = true;
        }
    } else {
        const int pB = find(b, first(a));
        if (pB >= 0) {
            if (last(a).compare(last(b)) >= 0) {
                const int q = find(a, last(b));
                if (q >= 0) startA = 0, endA = q + 5, startB = pB, found = true;
            } else if (find(b, a) >= 0) {
                startA = 0, endA = lenA, startB = pB, found = true;
            }
        }
    }
    if (!found) return {S_OK, 65535, 65535, 65535};
    return {S_OK, uint16_t(startA / 5), uint16_t(endA / 5 - 1), uint16_t(startB / 5)};
}

TEST(TableComparison, DocumentedExamples) {
    struct Case {
        const char* what;
        std::vector<int32_t> a, b;
        Stretch expected;
    };
    const Case cases[] = {
        {"B inside A", {19000, 19100, 19200, 19300}, {19100, 19200}, {S_OK, 1, 2, 0}},
        {"A starts inside B", {19100, 19200, 19300}, {19000, 19100, 19200}, {S_OK, 0, 1, 1}},
        {"B starts inside A", {19000, 19100, 19200}, {19100, 19200, 19300}, {S_OK, 1, 2, 0}},
        {"no overlap", {19000, 19100}, {19200, 19300}, {S_OK, 65535, 65535, 65535}},
        {"A inside B", {19100, 19200}, {19000, 19100, 19200, 19300}, {S_OK, 0, 1, 1}},
        {"short entries are padded", {900, 1000}, {900, 1000}, {S_OK, 0, 1, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Compare(c.a, c.b), c.expected) << c.what;
        EXPECT_EQ(LiteralCompare(c.a, c.b), c.expected) << c.what;
    }
}

TEST(TableComparison, IdenticalElementTables) {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    int32_t* table = nullptr;
    int32_t count = 0;
    ASSERT_EQ(Lumitra_GetWavelengthTable(0, &record, 1, &table, &count), S_OK);
    const std::vector<int32_t> entries(table, table + count);
    lumitra::module::TaskFree(table);
    EXPECT_EQ(Compare(entries, entries), (Stretch{S_OK, 0, 511, 0}));
    // Shifted by 100 elements: A's entries 100..511 are B's from 0 on.
    const std::vector<int32_t> tail(entries.begin() + 100, entries.end());
    EXPECT_EQ(Compare(entries, tail), (Stretch{S_OK, 100, 511, 0}));
}

TEST(TableComparison, FieldsAsPrintfWritesThem) {
    lumitra::test::SplitMix64 random(5);
    std::vector<int32_t> values = {0, 1, -1, 9999, -9999, 10000, 99999, 100000, -10000,
                                   INT32_MAX, INT32_MIN};
    for (int i = 0; i < 20000; ++i) {
        const int digits = int(random.Uniform(1, 10));
        int64_t limit = 1;
        for (int d = 0; d < digits; ++d) limit *= 10;
        values.push_back(int32_t(random.Uniform(std::max<int64_t>(-limit, INT32_MIN),
                                                std::min<int64_t>(limit, INT32_MAX))));
    }
    for (int32_t v : values) {
        char expected[16], written[16] = {};
        std::snprintf(expected, sizeof expected, "%5ld", static_cast<long>(v));
        const size_t width = lumitra::optics::FormatTableField(v, written);
        ASSERT_EQ(std::string(written, width), expected) << v;
        ASSERT_EQ(lumitra::optics::TableFieldWidth(v), width) << v;
    }
}

TEST(TableComparison, LiteralVersionOverRandomTables) {
    lumitra::test::SplitMix64 random(2023);
    for (int round = 0; round < 4000; ++round) {
        // Windows of a common ascending scale, so that overlaps are common;
        // sometimes odd steps, short or wide values and repeated digits,
        // which let fields match across entry boundaries.
        const int style = int(random.Uniform(0, 4));
        std::vector<int32_t> scale;
        int32_t w = style == 3 ? int32_t(random.Uniform(-20000, 100)) : 19000;
        for (int i = 0; i < 60; ++i) {
            scale.push_back(w);
            w += style == 1 ? int32_t(random.Uniform(1, 3)) * 1111 : 100;
        }
        auto window = [&] {
            const size_t from = size_t(random.Uniform(0, 59));
            const size_t to = size_t(random.Uniform(int64_t(from), 60));
            std::vector<int32_t> part(scale.begin() + ptrdiff_t(from), scale.begin() + ptrdiff_t(to));
            if (style == 2 && !part.empty())
                part[size_t(random.Uniform(0, int64_t(part.size()) - 1))] =
                    int32_t(random.Uniform(0, 199999));
            return part;
        };
        const auto a = window(), b = window();
        ASSERT_EQ(Compare(a, b), LiteralCompare(a, b)) << "round " << round;
    }
}

TEST(TableComparison, NullPointersAndTheWorkingBuffer) {
    const auto t = Counted({19000, 19100});
    uint16_t s = 7, e = 7, b = 7;
    EXPECT_EQ(Lumitra_IsWavelengthTableEqual(nullptr, t.data(), &s, &e, &b), E_INVALIDARG);
    EXPECT_EQ(Lumitra_IsWavelengthTableEqual(t.data(), nullptr, &s, &e, &b), E_INVALIDARG);
    EXPECT_EQ(Lumitra_IsWavelengthTableEqual(t.data(), t.data(), nullptr, &e, &b), E_INVALIDARG);
    EXPECT_EQ(Lumitra_IsWavelengthTableEqual(t.data(), t.data(), &s, nullptr, &b), E_INVALIDARG);
    EXPECT_EQ(Lumitra_IsWavelengthTableEqual(t.data(), t.data(), &s, &e, nullptr), E_INVALIDARG);
    EXPECT_EQ(s + e + b, 21);

    const int points = lumitra::test::SweepAllocationFailures(
        [&] {
            uint16_t startA = 7, endA = 7, startB = 7;
            const int32_t status =
                Lumitra_IsWavelengthTableEqual(t.data(), t.data(), &startA, &endA, &startB);
            if (lumitra::module::allocation_hook::FailureDelivered()) {
                EXPECT_EQ(status, E_OUTOFMEMORY);
                EXPECT_EQ(startA + endA + startB, 3 * 65535);
            } else {
                EXPECT_EQ(status, S_OK);
                EXPECT_EQ(endA, 1);
            }
        },
        [](bool) {});
    EXPECT_EQ(points, 1);
}

// The nearest-element walk as the steps give it.
uint16_t LiteralNearest(int32_t target, const std::vector<int32_t>& table, int32_t n) {
    if (n < 1) return 0;
    int32_t best = 2147483647;
    uint16_t index = 0;
    for (int32_t i = 0; i < n; ++i) {
        const auto d = int32_t(uint32_t(table[size_t(i)]) - uint32_t(target));
        if (d <= best) {
            best = d < 0 ? int32_t(0u - uint32_t(d)) : d;
            index = uint16_t(i);
        }
    }
    return index;
}

// The range search as the steps give it.
std::pair<uint16_t, uint16_t> LiteralRange(int32_t w1, int32_t w2, const std::vector<int32_t>& t) {
    const int32_t n = int32_t(t.size());
    uint16_t first = 0, last = 0;
    if (w1 == w2) {
        first = last = LiteralNearest(w1, t, n);
        return {first, last};
    }
    if (w1 < t[0]) w1 = t[0];
    if (w2 > t[size_t(n - 1)]) w2 = t[size_t(n - 1)];
    for (int32_t i = 0; i <= n - 2; ++i)
        if (t[size_t(i)] <= w1 && w1 <= t[size_t(i + 1)]) {
            first = uint16_t(t[size_t(i)] == w1 ? i : i + 1);
            break;
        }
    for (int32_t i = 0; i <= n - 2; ++i)
        if (t[size_t(i)] <= w2 && w2 <= t[size_t(i + 1)]) {
            last = uint16_t(t[size_t(i + 1)] == w2 ? i + 1 : i);
            break;
        }
    if (int16_t(first) > int16_t(last)) std::swap(first, last);
    return {first, last};
}

std::pair<uint16_t, uint16_t> Range(int32_t w1, int32_t w2, const std::vector<int32_t>& t) {
    uint16_t first = 7, last = 7;
    EXPECT_EQ(Lumitra_GetElementIndexFromWavelengthTable(w1, w2, t.data(), int32_t(t.size()),
                                                         &first, &last),
              S_OK);
    return {first, last};
}

TEST(ElementLookup, DocumentedExamples) {
    const std::vector<int32_t> t = {19000, 19100, 19200};
    struct Nearest {
        int32_t target, index;
    };
    for (const auto& c : {Nearest{19050, 1}, Nearest{19040, 0}, Nearest{25000, 2},
                          Nearest{10000, 0}, Nearest{19100, 1}, Nearest{19150, 2}})
        EXPECT_EQ(Lumitra_FindTargetElement(c.target, t.data(), 3), c.index) << c.target;
    EXPECT_EQ(Lumitra_FindTargetElement(19200, t.data(), 0), 0);
    EXPECT_EQ(Lumitra_FindTargetElement(19200, t.data(), -4), 0);
    EXPECT_EQ(Lumitra_FindTargetElement(19200, nullptr, 3), 0);

    struct RangeCase {
        int32_t w1, w2;
        uint16_t first, last;
    };
    const RangeCase ranges[] = {
        {19050, 19150, 1, 1}, {19000, 19200, 0, 2}, {19150, 19050, 0, 2},
        {25000, 26000, 0, 2}, {10000, 12000, 0, 0}, {19040, 19040, 0, 0},
        {19100, 19100, 1, 1}, {19001, 19099, 0, 1},
    };
    for (const auto& c : ranges)
        EXPECT_EQ(Range(c.w1, c.w2, t), std::make_pair(c.first, c.last)) << c.w1 << ".." << c.w2;
}

TEST(ElementLookup, LiteralVersionOverRandomTables) {
    lumitra::test::SplitMix64 random(611);
    for (int round = 0; round < 3000; ++round) {
        std::vector<int32_t> t(size_t(random.Uniform(1, 40)));
        int32_t w = int32_t(random.Uniform(18000, 20000));
        const bool unordered = random.Uniform(0, 5) == 0;
        for (auto& e : t) {
            e = unordered ? int32_t(random.Uniform(18000, 24000)) : w;
            w += int32_t(random.Uniform(0, 3) == 0 ? 0 : random.Uniform(1, 200));
        }
        if (random.Uniform(0, 9) == 0) t[0] = INT32_MIN + 5;  // wrapping differences
        for (int probe = 0; probe < 10; ++probe) {
            const auto w1 = int32_t(random.Uniform(17000, 26000));
            const auto w2 = random.Uniform(0, 4) == 0 ? w1 : int32_t(random.Uniform(17000, 26000));
            const auto n = int32_t(t.size());
            ASSERT_EQ(uint16_t(Lumitra_FindTargetElement(w1, t.data(), n)), LiteralNearest(w1, t, n));
            ASSERT_EQ(Range(w1, w2, t), LiteralRange(w1, w2, t)) << "round " << round;
        }
    }
}

TEST(ElementLookup, RangeValidationWritesNothing) {
    const std::vector<int32_t> t = {19000, 19100, 19200};
    struct Case {
        const char* what;
        int32_t w1, w2;
        const int32_t* table;
        int32_t n;
        bool withOutputs;
        int32_t status;
    };
    const Case cases[] = {
        {"first or last missing", 19000, 19100, t.data(), 3, false, E_INVALIDARG},
        {"different wavelengths, no entries", 19000, 19100, t.data(), 0, true, E_INVALIDARG},
        {"different wavelengths, no table", 19000, 19100, nullptr, 3, true, E_INVALIDARG},
        {"equal wavelengths, entries but no table", 19000, 19000, nullptr, 3, true, E_INVALIDARG},
        {"equal wavelengths, no entries: index 0", 19000, 19000, nullptr, 0, true, S_OK},
    };
    for (const auto& c : cases) {
        uint16_t first = 7, last = 7;
        EXPECT_EQ(Lumitra_GetElementIndexFromWavelengthTable(
                      c.w1, c.w2, c.table, c.n, c.withOutputs ? &first : nullptr,
                      c.withOutputs ? &last : nullptr),
                  c.status)
            << c.what;
        const uint16_t expected = c.status == S_OK ? 0 : 7;
        EXPECT_EQ(first, expected) << c.what;
        EXPECT_EQ(last, expected) << c.what;
    }
}

}  // namespace
