// The maximum voltage: documented examples, NaN skipping, truncation, and
// a literal version over random series.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "lumitra/lumitra.h"
#include "support/random.h"

namespace {

int32_t LiteralMaxVoltage(const std::vector<double>& v, int32_t count) {
    double m = -2147483648.0;
    for (int32_t i = 0; i < count; ++i)
        if (m < v[size_t(i)]) m = v[size_t(i)];
    return static_cast<int32_t>(std::trunc(m));  // m stays within int32 here
}

TEST(MaxVoltage, DocumentedExamples) {
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

TEST(MaxVoltage, NullPointersWriteNothing) {
    const double values[] = {1.0};
    int32_t maximum = 77;
    EXPECT_EQ(Lumitra_GetMaxVoltage(nullptr, 1, &maximum), E_INVALIDARG);
    EXPECT_EQ(Lumitra_GetMaxVoltage(values, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(maximum, 77);
}

TEST(MaxVoltage, LiteralVersionOverRandomSeries) {
    lumitra::test::SplitMix64 random(16);
    for (int round = 0; round < 2000; ++round) {
        std::vector<double> v(64);
        for (auto& x : v) {
            x = (random.Unit() - 0.5) * 2e9;
            if (random.Uniform(0, 20) == 0) x = NAN;
        }
        const auto count = int32_t(random.Uniform(0, 64));
        int32_t maximum = 0;
        ASSERT_EQ(Lumitra_GetMaxVoltage(v.data(), count, &maximum), S_OK);
        ASSERT_EQ(maximum, LiteralMaxVoltage(v, count)) << round;
    }
}

}  // namespace
