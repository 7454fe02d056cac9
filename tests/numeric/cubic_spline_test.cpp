// The cubic spline object: its failures and their statuses, and
// bit-for-bit agreement of its set-up and evaluation (with
// the interval cache) with the plain one-point-at-a-time version.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "literal_cubic_spline.h"
#include "lumitra/lumitra.h"
#include "numeric/cubic_spline.h"
#include "support/test_support.h"

namespace lumitra::numeric {
namespace {

using test::Bits;
using test::LiteralCubicSpline;

std::vector<double> Evaluated(CCubicSpline& spline, int32_t count, int32_t start, int32_t step) {
    std::vector<double> values(static_cast<size_t>(count), -1.0);
    EXPECT_EQ(spline.Evaluate(count, start, step, values.data(), nullptr), S_OK);
    return values;
}

TEST(CubicSpline, FailuresLeaveTheObjectEmpty) {
    const int32_t increasing[] = {0, 4, 8, 12};
    const double y[] = {1, 2, 3, 4};
    const std::vector<int32_t> bad[] = {{0, 4}, {0, 0, 8, 12}, {0, 4, 4, 12}, {0, 4, 8, 8}, {0, 4, 3, 12}};
    for (const auto& x : bad) {
        test::AllocationBalance balance;
        CCubicSpline spline;
        ASSERT_EQ(spline.Create(4, increasing, y, 0.0, 0.0), S_OK);
        EXPECT_EQ(spline.Create(int32_t(x.size()), x.data(), y, 0.0, 0.0), E_FAIL) << x[2];
        EXPECT_EQ(spline.KnotCount(), 0);
        double value = 0;
        EXPECT_EQ(spline.Evaluate(1, 0, 1, &value, nullptr), E_FAIL);
    }
    CCubicSpline spline;
    double value = 0;
    int32_t rounded = 0;
    EXPECT_EQ(spline.SetAbscissas(increasing), E_FAIL);  // nothing set up
    EXPECT_EQ(spline.SolveSecondDerivatives(y, 0.0, 0.0), E_FAIL);
    EXPECT_EQ(spline.EvaluateRounded(1, 0, 1, &rounded, nullptr), E_FAIL);
    ASSERT_EQ(spline.Create(4, increasing, static_cast<const double*>(nullptr), 0.0, 0.0), S_OK);
    EXPECT_EQ(spline.Evaluate(1, 0, 1, &value, nullptr), E_FAIL);  // knots without values
    EXPECT_EQ(spline.Allocate(4), E_FAIL);                         // already initialised
    EXPECT_EQ(spline.SetAbscissas(nullptr), E_INVALIDARG);
    EXPECT_EQ(spline.SolveSecondDerivatives(static_cast<const int32_t*>(nullptr), 0.0, 0.0), E_INVALIDARG);
    ASSERT_EQ(spline.SolveSecondDerivatives(y, 0.0, 0.0), S_OK);
    EXPECT_EQ(spline.Evaluate(0, 0, 1, &value, nullptr), E_INVALIDARG);
    EXPECT_EQ(spline.Evaluate(1, 0, 1, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(spline.EvaluateRounded(-1, 0, 1, &rounded, nullptr), E_INVALIDARG);
    EXPECT_EQ(spline.Create(4, nullptr, y, 0.0, 0.0), E_INVALIDARG);  // changes nothing
    EXPECT_EQ(Evaluated(spline, 1, 4, 1)[0], 2.0);
}

// Each allocation of a set-up fails in turn with the step's own status (a
// missing value array is noticed by the solving step: E_FAIL); a failed
// evaluation leaves its outputs and no cache key behind.
TEST(CubicSpline, EveryAllocationFailure) {
    const std::vector<int32_t> x = {0, 3, 9, 10, 14}, yi = {1, -2, 4, 4, 0};
    const std::vector<double> yd = {1, -2, 4, 4, 0};
    for (bool integers : {false, true}) {
        std::vector<int32_t> statuses;
        test::SweepAllocationFailures(
            [&] {
                CCubicSpline spline;
                statuses.push_back(integers ? spline.Create(5, x.data(), yi.data(), 0.0, 0.0)
                                            : spline.Create(5, x.data(), yd.data(), 0.0, 0.0));
                if (statuses.back() != S_OK) {
                    EXPECT_EQ(spline.KnotCount(), 0);
                }
            },
            [](bool) {});
        std::vector<int32_t> expected = {E_OUTOFMEMORY, E_FAIL, E_OUTOFMEMORY, E_OUTOFMEMORY, E_OUTOFMEMORY, S_OK};
        if (integers) expected.insert(expected.begin() + 4, E_OUTOFMEMORY);
        EXPECT_EQ(statuses, expected) << integers;
    }
    for (bool rounded : {false, true}) {
        test::AllocationBalance balance;
        CCubicSpline spline;
        ASSERT_EQ(spline.Create(5, x.data(), yd.data(), 0.0, 0.0), S_OK);
        const auto other = Evaluated(spline, 1, 0, 1);  // a key a failed rebuild could fake
        std::vector<double> values(20, 77.0);
        std::vector<int32_t> ints(20, 77);
        module::allocation_hook::FailNthAllocation(rounded ? 2 : 1);
        EXPECT_EQ(rounded ? spline.EvaluateRounded(20, -2, 1, ints.data(), nullptr)
                          : spline.Evaluate(20, -2, 1, values.data(), nullptr),
                  E_OUTOFMEMORY);
        EXPECT_TRUE(values == std::vector<double>(20, 77.0) && ints == std::vector<int32_t>(20, 77));
        EXPECT_EQ(Evaluated(spline, 1, 0, 1), other);  // the old key is not taken for cached
        module::allocation_hook::FailNthAllocation(1);
        EXPECT_EQ(spline.Evaluate(1, 0, 1, values.data(), nullptr), S_OK);  // cached: no allocation
    }
}

// Random splines and grids of every kind, integer extremes included,
// against the plain version.
TEST(CubicSpline, AgreesWithPlainVersionBitForBit) {
    test::SplitMix64 rng(0x5EED0302);
    test::AllocationBalance balance;
    const double special[] = {std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(), -1e300, -0.0};
    const double slopes[] = {0.0, 1e30, 9.9e29, 2.5, std::numeric_limits<double>::quiet_NaN()};
    for (int round = 0; round < 1500; ++round) {
        const int n = int(rng.Uniform(3, rng.Uniform(0, 3) == 0 ? 700 : 40));
        const int kind = int(rng.Uniform(0, 3));
        int64_t at = kind == 3 ? rng.Uniform(INT32_MIN, INT32_MIN + 1000) : rng.Uniform(-200000, 200000);
        std::vector<int32_t> x;
        std::vector<double> y;
        for (int i = 0; i < n; ++i) {
            x.push_back(int32_t(at));
            at += kind == 0 ? 1 : kind == 1 ? rng.Uniform(1, 50) : kind == 2 ? rng.Uniform(1, 5000)
                                                                               : rng.Uniform(1, int64_t(4000000000) / n);
            const double v = rng.Uniform(0, 30) == 0 ? special[rng.Uniform(0, 3)]
                             : kind == 1           ? double(rng.Uniform(-100, 100))
                                                   : 1000.0 * std::exp(-0.02 * (i - n / 3) * (i - n / 3)) + rng.Unit();
            y.push_back(v);
        }
        const double yp1 = slopes[rng.Uniform(0, 4)], ypn = slopes[rng.Uniform(0, 4)];
        CCubicSpline spline;
        ASSERT_EQ(spline.Create(n, x.data(), y.data(), yp1, ypn), S_OK) << round;
        const LiteralCubicSpline literal(x, y, yp1, ypn);
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(Bits(spline.SecondDerivatives()[i]) == Bits(literal.SecondDerivatives()[i]) ||
                        (std::isnan(spline.SecondDerivatives()[i]) && std::isnan(literal.SecondDerivatives()[i])))
                << round;
        for (int grid = 0; grid < 3; ++grid) {
            const int64_t span = int64_t(x.back()) - x.front();
            const int32_t count = int32_t(rng.Uniform(1, 3000));
            int64_t start = x.front() + rng.Uniform(-span / 4 - 2, span + span / 4);
            int64_t step = rng.Uniform(1, span / count + 2);
            switch (rng.Uniform(0, 4)) {
                case 0: start = x.front(), step = 1; break;
                case 1: step = -step; break;
                case 2: step = 0; break;
                case 3: start = INT32_MAX - rng.Uniform(0, 5000); break;  // wraps past the limit
                default: break;
            }
            start = std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, start));
            std::vector<double> values(static_cast<size_t>(count));
            std::vector<int32_t> abscissas(static_cast<size_t>(count)), rounded(static_cast<size_t>(count));
            ASSERT_EQ(spline.Evaluate(count, int32_t(start), int32_t(step), values.data(), abscissas.data()), S_OK);
            ASSERT_EQ(spline.EvaluateRounded(count, int32_t(start), int32_t(step), rounded.data(), nullptr), S_OK);
            const auto expected = literal.Evaluate(count, int32_t(start), int32_t(step));
            for (int32_t i = 0; i < count; ++i) {
                // Any NaN: which one survives follows the compiler's operand order.
                ASSERT_TRUE(Bits(values[size_t(i)]) == Bits(expected[size_t(i)]) ||
                            (std::isnan(values[size_t(i)]) && std::isnan(expected[size_t(i)])))
                    << round << " i " << i;
                ASSERT_EQ(abscissas[size_t(i)], LiteralCubicSpline::GridPoint(int32_t(start), int32_t(step), i));
                const double r = expected[size_t(i)] + 0.5;
                ASSERT_EQ(rounded[size_t(i)], (r > -2147483649.0 && r < 2147483648.0) ? int32_t(r) : INT32_MIN);
            }
        }
    }
}

}  // namespace
}  // namespace lumitra::numeric
