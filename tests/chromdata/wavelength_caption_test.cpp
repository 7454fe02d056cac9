// The wavelength caption: the documented examples, a literal version that
// builds the number format as text, exact digits on every build, and every
// failure of the string's allocations.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"
#include "support/new_failure.h"
#include "support/random.h"

namespace {

LambdaList List(int kind, std::vector<int32_t> wavelengths, int count = -1) {
    LambdaList list{};
    std::memset(&list, 0xAB, sizeof list);  // bytes that are never read
    auto& entries = kind == 1 ? list.list1 : list.list2;
    for (size_t i = 0; i < wavelengths.size() && i < 10; ++i) entries[i].wavelength = wavelengths[i];
    const auto n = static_cast<uint16_t>(count < 0 ? int(wavelengths.size()) : count);
    (kind == 1 ? list.count1 : list.count2) = n;
    return list;
}

// The steps as the host's tools describe them: the number format is itself
// formatted ("%%.%df"), then every entry is formatted with it.
std::pair<int32_t, std::string> LiteralCaption(int32_t options, const LambdaList& list,
                                               int16_t decimals) {
    std::string caption;
    const int kind = options & 0xFF;
    if (kind != 1 && kind != 2) return {E_INVALIDARG, caption};
    const int16_t count = static_cast<int16_t>(kind == 1 ? list.count1 : list.count2);
    if (count > 10) return {E_INVALIDARG, caption};
    const int d = decimals < 0 ? 0 : decimals;
    char format[32];
    std::snprintf(format, sizeof format, "%%.%df", d);
    for (int i = 0; i < count; ++i) {
        const int32_t w = kind == 1 ? list.list1[i].wavelength : list.list2[i].wavelength;
        std::vector<char> text(size_t(d) + 64);
        std::snprintf(text.data(), text.size(), format, static_cast<double>(w) / 100.0);
        if (i == 0)
            caption = text.data();
        else
            caption += std::string("/") + text.data();
        if (options & 0x100) break;
    }
    if ((options & 0x100) && caption.empty()) caption.push_back(' ');
    return {S_OK, caption};
}

TEST(WavelengthCaption, DocumentedExamples) {
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

TEST(WavelengthCaption, SameDigitsOnEveryBuild) {
    struct Case {
        int32_t wavelength;
        int16_t decimals;
        const char* text;
    };
    const Case cases[] = {
        {25405, 1, "254.1"},  // 254.05 is stored a little above
        {25415, 1, "254.2"},
        {12345, 0, "123"},
        {-150, 2, "-1.50"},
        {INT32_MIN, 2, "-21474836.48"},
        {25405, 20, "254.05000000000001136868"},
        {1, 30, "0.010000000000000000208166817117"},
    };
    for (const auto& c : cases) {
        const LambdaList list = List(2, {c.wavelength});
        std::string caption;
        ASSERT_EQ(Lumitra_GetStringLambdaMinMax(2, caption, &list, c.decimals), S_OK);
        EXPECT_EQ(caption, c.text);
    }
}

TEST(WavelengthCaption, LiteralVersionOverRandomLists) {
    lumitra::test::SplitMix64 random(254280);
    for (int round = 0; round < 3000; ++round) {
        const int kind = int(random.Uniform(0, 3));
        std::vector<int32_t> wavelengths(size_t(random.Uniform(0, 10)));
        for (auto& w : wavelengths)
            w = int32_t(random.Uniform(0, 9) == 0 ? random.Uniform(INT32_MIN, INT32_MAX)
                                                  : random.Uniform(19000, 80000));
        const int count = random.Uniform(0, 7) == 0 ? int(random.Uniform(0, 65535)) : -1;
        const LambdaList list = List(kind == 1 ? 1 : 2, wavelengths, count);
        const auto options = int32_t(kind | (random.Uniform(0, 1) << 8) |
                                     (random.Uniform(0, 3) == 0 ? 0x5A000 : 0));
        const auto decimals = int16_t(random.Uniform(-5, 60));
        const auto expected = LiteralCaption(options, list, decimals);
        std::string caption = "x";
        ASSERT_EQ(Lumitra_GetStringLambdaMinMax(options, caption, &list, decimals),
                  expected.first);
        ASSERT_EQ(caption, expected.second) << "round " << round;
    }
    // No upper limit on the decimals.
    const LambdaList list = List(2, {25400, 28000});
    std::string caption;
    ASSERT_EQ(Lumitra_GetStringLambdaMinMax(2, caption, &list, 2000), S_OK);
    EXPECT_EQ(caption, LiteralCaption(2, list, 2000).second);
    EXPECT_EQ(caption.size(), 2u * 2004u + 1u);
}

TEST(WavelengthCaption, EveryFailureOfTheStringsAllocations) {
    const LambdaList list = List(2, {25400, 28000, 30000});
    int failures = 0;
    for (long n = 1; n < 100; ++n) {
        std::string caption = "a caption long enough to live on the heap";
        lumitra::test::FailNthNew(n);
        int32_t status;
        {
            // Long numbers, so that every text needs the heap.
            const lumitra::test::NewFailureWindow window;
            status = Lumitra_GetStringLambdaMinMax(2, caption, &list, 40);
        }
        const bool failed = lumitra::test::NewFailureDelivered();
        lumitra::test::FailNthNew(0);
        if (!failed) {
            EXPECT_EQ(status, S_OK);
            EXPECT_EQ(caption, LiteralCaption(2, list, 40).second);
            break;
        }
        ++failures;
        EXPECT_EQ(status, E_OUTOFMEMORY) << n;
        EXPECT_TRUE(caption.empty()) << n;
    }
    EXPECT_GE(failures, 3);
}

}  // namespace
