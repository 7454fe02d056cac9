// The cubic spline object: the documented examples, its failures, the
// interval cache, the run-time class record, every allocation failure, and
// bit-for-bit agreement with the step-by-step version over random splines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "literal_cubic_spline.h"
#include "lumitra/lumitra.h"
#include "numeric/cubic_spline.h"
#include "support/allocation_guard.h"
#include "support/random.h"
#include "support/ulps.h"

namespace lumitra::numeric {
namespace {

using test::Bits;
using test::LiteralCubicSpline;
using test::NearUlps;

std::vector<double> Evaluated(CCubicSpline& spline, int32_t count, int32_t start, int32_t step) {
    std::vector<double> values(count, -1.0);
    EXPECT_EQ(spline.Evaluate(count, start, step, values.data(), nullptr), S_OK);
    return values;
}

TEST(CubicSpline, ThreeKnotExamples) {
    const int32_t x[] = {0, 4, 8};
    const double y[] = {0, 1, 0};
    struct Case {
        double endSlope;
        double y2[3];
        double grid[10];
    };
    const Case cases[] = {
        {0.0,  // clamped: horizontal ends
         {0.375, -0.375, 0.375},
         {0, 0.15625, 0.5, 0.84375, 1, 0.84375, 0.5, 0.15625, 0.0, 0.0}},
        {1e30,  // natural ends
         {0, -0.1875, 0},
         {0, 0.3671875, 0.6875, 0.9140625, 1, 0.9140625, 0.6875, 0.3671875, 0.0, 0.0}},
    };
    for (const auto& c : cases) {
        CCubicSpline spline;
        ASSERT_EQ(spline.Create(3, x, y, c.endSlope, c.endSlope), S_OK);
        // Documented values are rounded decimals: a few ulps apart at most.
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(NearUlps(spline.SecondDerivatives()[i], c.y2[i]))
                << i << ": " << spline.SecondDerivatives()[i];
        const auto values = Evaluated(spline, 10, 0, 1);
        for (int i = 0; i < 10; ++i)
            EXPECT_TRUE(NearUlps(values[i], c.grid[i])) << "t=" << i << ": " << values[i];
    }
}

// Slope of the spline at the lower (side 0) or upper (side 1) end of the
// interval ending at knot hi.
double Slope(const std::vector<int32_t>& x, const std::vector<double>& y, const double* y2,
             int hi, int side) {
    const int lo = hi - 1;
    const double h = x[hi] - x[lo];
    const double chord = (y[hi] - y[lo]) / h;
    return side == 0 ? chord - h * (2 * y2[lo] + y2[hi]) / 6 : chord + h * (y2[lo] + 2 * y2[hi]) / 6;
}

TEST(CubicSpline, FiveKnotExample) {
    const std::vector<int32_t> x = {0, 10, 20, 35, 50};
    const std::vector<double> y = {0, 5, 3, 8, 1};
    CCubicSpline spline;
    ASSERT_EQ(spline.Create(5, x.data(), y.data(), 0.0, 0.0), S_OK);
    const double* y2 = spline.SecondDerivatives();
    const double documented[] = {0.253429, -0.206857, 0.154, -0.162095, 0.174381};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(y2[i], documented[i], 5e-7) << i;
    EXPECT_NEAR(Evaluated(spline, 1, 5, 1)[0], 2.2089286, 5e-8);
    // Continuous first derivative at the inner knots, zero at both ends.
    for (int k = 1; k <= 3; ++k)
        EXPECT_NEAR(Slope(x, y, y2, k, 1), Slope(x, y, y2, k + 1, 0), 1e-12) << k;
    EXPECT_NEAR(Slope(x, y, y2, 1, 0), 0.0, 1e-12);
    EXPECT_NEAR(Slope(x, y, y2, 4, 1), 0.0, 1e-12);
    // The spline passes through every knot but the last (outside the range).
    const auto values = Evaluated(spline, 51, 0, 1);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(values[x[k]], y[k]) << k;
    EXPECT_EQ(values[50], 0.0);
}

TEST(CubicSpline, PointsOutsideTheRangeAreZero) {
    const int32_t x[] = {100, 200, 300, 400};
    const double y[] = {5, 7, 6, 9};
    CCubicSpline spline;
    ASSERT_EQ(spline.Create(4, x, y, 0.0, 0.0), S_OK);
    // Below the first knot, at the last knot, beyond it.
    const auto values = Evaluated(spline, 8, 0, 100);
    EXPECT_EQ(values[0], 0.0);
    EXPECT_EQ(values[1], 5.0);
    EXPECT_EQ(values[2], 7.0);
    EXPECT_EQ(values[3], 6.0);
    for (int i = 4; i < 8; ++i) EXPECT_EQ(values[i], 0.0) << i;
    // A descending grid: only the points of the first interval met are
    // found; the knot pointer does not move back.
    const auto down = Evaluated(spline, 5, 350, -40);  // 350 310 270 230 190
    EXPECT_NE(down[0], 0.0);
    EXPECT_NE(down[1], 0.0);
    for (int i = 2; i < 5; ++i) EXPECT_EQ(down[i], 0.0) << i;
}

TEST(CubicSpline, RoundedEvaluation) {
    const int32_t x[] = {0, 1, 2, 3, 4};
    const double y[] = {2.5, 2.49, -0.7, -1.5, 0};
    CCubicSpline spline;
    ASSERT_EQ(spline.Create(5, x, y, 0.0, 0.0), S_OK);
    int32_t values[6];
    int32_t abscissas[6];
    ASSERT_EQ(spline.EvaluateRounded(6, 0, 1, values, abscissas), S_OK);
    const int32_t expected[] = {3, 2, 0, -1, 0, 0};  // +0.5, then toward zero
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(values[i], expected[i]) << i;
        EXPECT_EQ(abscissas[i], i);
    }
}

TEST(CubicSpline, SetUpFailures) {
    const int32_t increasing[] = {0, 4, 8, 12};
    const double y[] = {1, 2, 3, 4};
    struct Case {
        const char* name;
        int32_t n;
        std::vector<int32_t> x;
        int32_t status;
    };
    const Case cases[] = {
        {"two knots", 2, {0, 4}, E_FAIL},
        {"negative count", -5, {0, 4, 8}, E_FAIL},
        {"repeated first", 4, {0, 0, 8, 12}, E_FAIL},
        {"repeated inner", 4, {0, 4, 4, 12}, E_FAIL},
        {"repeated last", 4, {0, 4, 8, 8}, E_FAIL},
        {"decreasing", 4, {0, 4, 3, 12}, E_FAIL},
    };
    for (const auto& c : cases) {
        test::AllocationBalance balance;
        CCubicSpline spline;
        ASSERT_EQ(spline.Create(4, increasing, y, 0.0, 0.0), S_OK);
        EXPECT_EQ(spline.Create(c.n, c.x.data(), y, 0.0, 0.0), c.status) << c.name;
        // A failed set-up leaves the object empty.
        EXPECT_EQ(spline.KnotCount(), 0) << c.name;
        double value = 0;
        EXPECT_EQ(spline.Evaluate(1, 0, 1, &value, nullptr), E_FAIL) << c.name;
    }
    // A null abscissa array changes nothing.
    CCubicSpline spline;
    ASSERT_EQ(spline.Create(4, increasing, y, 0.0, 0.0), S_OK);
    EXPECT_EQ(spline.Create(4, nullptr, y, 0.0, 0.0), E_INVALIDARG);
    EXPECT_EQ(spline.Create(4, nullptr, static_cast<const int32_t*>(nullptr), 0.0, 0.0),
              E_INVALIDARG);
    EXPECT_EQ(Evaluated(spline, 1, 4, 1)[0], 2.0);
}

TEST(CubicSpline, OperationFailures) {
    const int32_t x[] = {0, 4, 8};
    const double y[] = {0, 1, 0};
    double value = 0;
    int32_t rounded = 0;
    CCubicSpline spline;
    // Nothing set up.
    EXPECT_EQ(spline.SetAbscissas(x), E_FAIL);
    EXPECT_EQ(spline.SolveSecondDerivatives(y, 0.0, 0.0), E_FAIL);
    EXPECT_EQ(spline.Evaluate(1, 0, 1, &value, nullptr), E_FAIL);
    EXPECT_EQ(spline.EvaluateRounded(1, 0, 1, &rounded, nullptr), E_FAIL);
    // Knots without values cannot be evaluated.
    ASSERT_EQ(spline.Create(3, x, static_cast<const double*>(nullptr), 0.0, 0.0), S_OK);
    EXPECT_EQ(spline.Evaluate(1, 0, 1, &value, nullptr), E_FAIL);
    EXPECT_EQ(spline.Allocate(3), E_FAIL);  // already initialised
    EXPECT_EQ(spline.SetAbscissas(nullptr), E_INVALIDARG);
    EXPECT_EQ(spline.SolveSecondDerivatives(static_cast<const double*>(nullptr), 0.0, 0.0),
              E_INVALIDARG);
    EXPECT_EQ(spline.SolveSecondDerivatives(static_cast<const int32_t*>(nullptr), 0.0, 0.0),
              E_INVALIDARG);
    ASSERT_EQ(spline.SolveSecondDerivatives(y, 0.0, 0.0), S_OK);
    EXPECT_EQ(spline.Evaluate(0, 0, 1, &value, nullptr), E_INVALIDARG);
    EXPECT_EQ(spline.Evaluate(-3, 0, 1, &value, nullptr), E_INVALIDARG);
    EXPECT_EQ(spline.Evaluate(1, 0, 1, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(spline.EvaluateRounded(0, 0, 1, &rounded, nullptr), E_INVALIDARG);
    ASSERT_EQ(spline.Evaluate(1, 1, 1, &value, nullptr), S_OK);
    EXPECT_EQ(value, 0.15625);
    spline.Release();
    EXPECT_EQ(spline.Evaluate(1, 1, 1, &value, nullptr), E_FAIL);
}

TEST(CubicSpline, IntegerValuesMatchTheirDoubles) {
    const std::vector<int32_t> x = {-30, -7, 0, 12, 50, 51};
    const std::vector<int32_t> yi = {4, -9, 17, 2000000000, -3, 8};
    const std::vector<double> yd(yi.begin(), yi.end());
    CCubicSpline a, b;
    ASSERT_EQ(a.Create(6, x.data(), yi.data(), 0.0, 1e30), S_OK);
    ASSERT_EQ(b.Create(6, x.data(), yd.data(), 0.0, 1e30), S_OK);
    const auto va = Evaluated(a, 90, -35, 1), vb = Evaluated(b, 90, -35, 1);
    for (int i = 0; i < 90; ++i) EXPECT_EQ(Bits(va[i]), Bits(vb[i])) << i;
}

TEST(CubicSpline, CacheFollowsTheGrid) {
    const int32_t x[] = {0, 10, 20, 30};
    const double y[] = {0, 3, -1, 2};
    CCubicSpline spline;
    ASSERT_EQ(spline.Create(4, x, y, 0.0, 0.0), S_OK);
    const auto first = Evaluated(spline, 29, 1, 1);
    EXPECT_EQ(Evaluated(spline, 29, 1, 1), first);  // cached intervals reused
    // Each change of the key rebuilds the intervals.
    LiteralCubicSpline literal({0, 10, 20, 30}, {0, 3, -1, 2}, 0.0, 0.0);
    const int32_t grids[][3] = {{29, 2, 1}, {15, 1, 2}, {29, 1, 1}, {3, 25, -10}, {1, 10, 0}};
    for (const auto& g : grids) {
        const auto values = Evaluated(spline, g[0], g[1], g[2]);
        const auto expected = literal.Evaluate(g[0], g[1], g[2]);
        for (int i = 0; i < g[0]; ++i) EXPECT_EQ(Bits(values[i]), Bits(expected[i])) << i;
    }
}

TEST(CubicSpline, GridsAtTheEndsOfTheIntegerRange) {
    // Knots just below INT32_MAX; rising grids that stop short of the
    // limit, and grids whose abscissas wrap past it.
    const std::vector<int32_t> x = {INT32_MAX - 1000, INT32_MAX - 600, INT32_MAX - 100, INT32_MAX};
    const std::vector<double> y = {1, 4, -2, 3};
    CCubicSpline spline;
    ASSERT_EQ(spline.Create(4, x.data(), y.data(), 0.0, 1e30), S_OK);
    const LiteralCubicSpline literal(x, y, 0.0, 1e30);
    const int32_t grids[][3] = {{101, INT32_MAX - 1000, 10},   {50, INT32_MAX - 1100, 20},
                                {400, INT32_MAX - 1200, 7},    {3, INT32_MAX - 5, INT32_MAX},
                                {90, INT32_MIN + 10, -25},     {10, INT32_MAX, 1}};
    for (const auto& g : grids) {
        const auto values = Evaluated(spline, g[0], g[1], g[2]);
        const auto expected = literal.Evaluate(g[0], g[1], g[2]);
        for (int i = 0; i < g[0]; ++i)
            ASSERT_EQ(Bits(values[i]), Bits(expected[i])) << g[1] << " step " << g[2] << " i " << i;
    }
}

TEST(CubicSpline, RuntimeClassRecord) {
    test::AllocationBalance balance;
    const RuntimeClass* cls = &CCubicSpline::classCCubicSpline;
    EXPECT_STREQ(cls->m_lpszClassName, "CCubicSpline");
    EXPECT_EQ(cls->m_wSchema, 0xFFFFu);
    EXPECT_EQ(cls->m_nObjectSize, int32_t(sizeof(CCubicSpline)));
    EXPECT_EQ(cls->m_pBaseClass, &CRuntimeObject::classCRuntimeObject);
    EXPECT_EQ(CRuntimeObject::classCRuntimeObject.CreateObject(), nullptr);

    CRuntimeObject* object = cls->CreateObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetRuntimeClass(), cls);
    EXPECT_TRUE(object->IsKindOf(&CRuntimeObject::classCRuntimeObject));
    EXPECT_FALSE(CRuntimeObject::classCRuntimeObject.IsDerivedFrom(cls));
    object->Serialize(nullptr);
    object->AssertValid();
    object->Dump(nullptr);
    // A default-constructed, empty spline; deleted through its root.
    auto* spline = static_cast<CCubicSpline*>(object);
    EXPECT_EQ(spline->KnotCount(), 0);
    const int32_t x[] = {0, 1, 2};
    const double y[] = {1, 2, 3};
    ASSERT_EQ(spline->Create(3, x, y, 0.0, 0.0), S_OK);
    delete object;

    module::allocation_hook::FailNthAllocation(1);
    EXPECT_EQ(cls->CreateObject(), nullptr);
}

// Every allocation of a set-up and of the evaluations fails in turn; the
// status is the step's own, the object is empty after a failed set-up, and
// a later call with the same grid still works.
TEST(CubicSpline, EveryAllocationFailure) {
    const std::vector<int32_t> x = {0, 3, 9, 10, 14};
    const std::vector<double> yd = {1, -2, 4, 4, 0};
    const std::vector<int32_t> yi = {1, -2, 4, 4, 0};
    // Allocation order: x, y, y2, sig, (int values: converted copy), u. A
    // missing value array is reported by the solving step as E_FAIL.
    const std::vector<int32_t> doubleStatuses = {E_OUTOFMEMORY, E_FAIL, E_OUTOFMEMORY,
                                                 E_OUTOFMEMORY, E_OUTOFMEMORY};
    const std::vector<int32_t> intStatuses = {E_OUTOFMEMORY, E_FAIL,        E_OUTOFMEMORY,
                                              E_OUTOFMEMORY, E_OUTOFMEMORY, E_OUTOFMEMORY};
    LiteralCubicSpline literal(x, yd, 0.0, 0.0);
    const auto expected = literal.Evaluate(20, -2, 1);
    for (bool integers : {false, true}) {
        const auto& statuses = integers ? intStatuses : doubleStatuses;
        int32_t status = 0;
        std::vector<double> values(20);
        size_t round = 0;
        const int points = test::SweepAllocationFailures(
            [&] {
                CCubicSpline spline;
                status = integers ? spline.Create(5, x.data(), yi.data(), 0.0, 0.0)
                                  : spline.Create(5, x.data(), yd.data(), 0.0, 0.0);
                if (status != S_OK) {
                    EXPECT_EQ(spline.KnotCount(), 0);
                    return;
                }
                module::allocation_hook::FailNthAllocation(0);
                status = spline.Evaluate(20, -2, 1, values.data(), nullptr);
            },
            [&](bool failed) {
                if (failed) {
                    ASSERT_LT(round, statuses.size());
                    EXPECT_EQ(status, statuses[round]) << "allocation " << round + 1;
                    ++round;
                } else {
                    EXPECT_EQ(status, S_OK);
                    for (int i = 0; i < 20; ++i) EXPECT_EQ(Bits(values[i]), Bits(expected[i]));
                }
            });
        EXPECT_EQ(points, int(statuses.size()));
    }

    // Evaluations: the interval cache, and for the rounded form its
    // temporary array first. Outputs stay untouched; the failed rebuild
    // leaves no key behind, so the same grid is rebuilt afterwards.
    for (bool rounded : {false, true}) {
        test::AllocationBalance balance;
        CCubicSpline spline;
        ASSERT_EQ(spline.Create(5, x.data(), yd.data(), 0.0, 0.0), S_OK);
        std::vector<double> values(20, 77.0);
        std::vector<int32_t> ints(20, 77);
        auto evaluate = [&] {
            return rounded ? spline.EvaluateRounded(20, -2, 1, ints.data(), nullptr)
                           : spline.Evaluate(20, -2, 1, values.data(), nullptr);
        };
        auto expectResults = [&] {
            for (int i = 0; i < 20; ++i) {
                if (rounded)
                    EXPECT_EQ(ints[i], int32_t(expected[i] + 0.5)) << i;
                else
                    EXPECT_EQ(Bits(values[i]), Bits(expected[i])) << i;
            }
        };
        const auto otherExpected = literal.Evaluate(3, 0, 1);
        for (int n = 1; n <= (rounded ? 2 : 1); ++n) {
            double other[3];
            ASSERT_EQ(spline.Evaluate(3, 0, 1, other, nullptr), S_OK);  // cache another grid
            module::allocation_hook::FailNthAllocation(n);
            EXPECT_EQ(evaluate(), E_OUTOFMEMORY) << n;
            EXPECT_TRUE(module::allocation_hook::FailureDelivered());
            module::allocation_hook::FailNthAllocation(0);
            EXPECT_EQ(values, std::vector<double>(20, 77.0));
            EXPECT_EQ(ints, std::vector<int32_t>(20, 77));
            // The grid cached before the failure is not taken for cached.
            ASSERT_EQ(spline.Evaluate(3, 0, 1, other, nullptr), S_OK);
            for (int i = 0; i < 3; ++i) EXPECT_EQ(Bits(other[i]), Bits(otherExpected[i])) << i;
            ASSERT_EQ(evaluate(), S_OK);
            expectResults();
            values.assign(20, 77.0);
            ints.assign(20, 77);
        }
        // A cached grid needs no allocation (the rounded form still needs
        // its temporary array).
        module::allocation_hook::FailNthAllocation(1);
        EXPECT_EQ(evaluate(), rounded ? E_OUTOFMEMORY : S_OK);
        module::allocation_hook::FailNthAllocation(0);
    }
}

// Random splines and grids of every kind against the step-by-step version.
struct RandomSpline {
    std::vector<int32_t> x;
    std::vector<double> y;
    double yp1, ypn;
};

RandomSpline MakeRandomSpline(test::SplitMix64& rng) {
    RandomSpline s;
    const int n = int(rng.Uniform(3, rng.Uniform(0, 3) == 0 ? 700 : 40));
    const int gapKind = int(rng.Uniform(0, 3));
    int64_t x = rng.Uniform(-200000, 200000);
    if (gapKind == 3) x = rng.Uniform(INT32_MIN, INT32_MIN + 1000);  // differences wrap
    for (int i = 0; i < n; ++i) {
        s.x.push_back(int32_t(x));
        const int64_t gap = gapKind == 0   ? 1
                            : gapKind == 1 ? rng.Uniform(1, 50)
                            : gapKind == 2 ? rng.Uniform(1, 5000)
                                           : rng.Uniform(1, int64_t(4000000000) / n);
        x += gap;
    }
    const int valueKind = int(rng.Uniform(0, 4));
    const double special[] = {std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(), -1e300, 0.0, -0.0};
    for (int i = 0; i < n; ++i) {
        double v;
        switch (valueKind) {
            case 0:  // a smooth spectrum with a line
                v = 1000.0 * std::exp(-0.5 * std::pow((i - n / 3.0) / (1.0 + n / 20.0), 2)) +
                    100.0 * rng.Unit();
                break;
            case 1: v = double(rng.Uniform(-100, 100)); break;  // integers, ties
            case 2: v = (rng.Unit() - 0.5) * std::ldexp(1.0, int(rng.Uniform(-60, 60))); break;
            case 3: v = 7.25; break;  // constant
            default: v = rng.Uniform(0, 30) == 0 ? special[rng.Uniform(0, 4)] : rng.Unit(); break;
        }
        s.y.push_back(v);
    }
    const double slopes[] = {0.0, 0.0, 1e30, 9.9e29, 2.5, -0.125,
                             std::numeric_limits<double>::quiet_NaN()};
    s.yp1 = slopes[rng.Uniform(0, 6)];
    s.ypn = slopes[rng.Uniform(0, 6)];
    return s;
}

TEST(CubicSpline, AgreesWithLiteralVersionBitForBit) {
    test::SplitMix64 rng(0x5EED0302);
    test::AllocationBalance balance;
    int compared = 0;
    for (int round = 0; round < 3000; ++round) {
        const RandomSpline s = MakeRandomSpline(rng);
        const int32_t n = int32_t(s.x.size());
        CCubicSpline spline;
        ASSERT_EQ(spline.Create(n, s.x.data(), s.y.data(), s.yp1, s.ypn), S_OK) << round;
        const LiteralCubicSpline literal(s.x, s.y, s.yp1, s.ypn);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(Bits(spline.SecondDerivatives()[i]), Bits(literal.SecondDerivatives()[i]))
                << "round " << round << " knot " << i;
        for (int grid = 0; grid < 3; ++grid) {
            const int64_t span = int64_t(s.x.back()) - s.x.front();
            const int32_t count = int32_t(rng.Uniform(1, 3000));
            int64_t start = s.x.front() + rng.Uniform(-span / 4 - 2, span + span / 4);
            int64_t step = rng.Uniform(1, span / count + 2);
            switch (rng.Uniform(0, 5)) {
                case 0: start = s.x.front(), step = 1; break;
                case 1: step = -step; break;
                case 2: step = 0; break;
                case 3: start = s.x.front() - rng.Uniform(0, 3); break;
                default: break;
            }
            start = std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, start));
            std::vector<double> values(count);
            std::vector<int32_t> abscissas(count), rounded(count);
            ASSERT_EQ(spline.Evaluate(count, int32_t(start), int32_t(step), values.data(),
                                      abscissas.data()),
                      S_OK);
            const auto expected = literal.Evaluate(count, int32_t(start), int32_t(step));
            for (int32_t i = 0; i < count; ++i) {
                ASSERT_EQ(Bits(values[i]), Bits(expected[i])) << "round " << round << " i " << i;
                ASSERT_EQ(abscissas[i],
                          LiteralCubicSpline::GridPoint(int32_t(start), int32_t(step), i));
            }
            ASSERT_EQ(spline.EvaluateRounded(count, int32_t(start), int32_t(step), rounded.data(),
                                             nullptr),
                      S_OK);
            for (int32_t i = 0; i < count; ++i) {
                const double r = expected[i] + 0.5;
                const int32_t want =
                    (r > -2147483649.0 && r < 2147483648.0) ? int32_t(r) : INT32_MIN;
                ASSERT_EQ(rounded[i], want) << "round " << round << " i " << i;
            }
            ++compared;
        }
    }
    EXPECT_EQ(compared, 9000);
}

}  // namespace
}  // namespace lumitra::numeric
