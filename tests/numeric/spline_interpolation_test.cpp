// The spline interpolation: bit-for-bit agreement with the plain version
// over thousands of requests of both modes (outputs past outCount
// included), and the same refusals, with nothing written, of the requests
// beyond its limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "literal_spline_interpolation.h"
#include "lumitra/lumitra.h"
#include "numeric/spline_interpolation.h"
#include "support/test_support.h"

namespace lumitra::numeric {
namespace {

constexpr double kOutXSentinel = -777.25;
constexpr int32_t kOutYSentinel = 0x5A5A5A5A;
constexpr int32_t kGuard = 16;  // entries past outCount that must stay untouched

// A request and the caller's four arrays, each outCount entries plus a
// guard zone (or `room` entries in all).
struct Call {
    SplineRequest request{};
    std::vector<double> inX, outX;
    std::vector<int32_t> inY, outY;

    Call(int32_t mode, std::vector<double> x, std::vector<int32_t> y, double startX, double endX,
         int32_t outCount, int32_t subSteps, size_t room = 0) {
        const size_t size = std::max(size_t(std::max(outCount, 0) + kGuard), room);
        x.resize(std::max(x.size(), size), 0.0);
        y.resize(std::max(y.size(), size), 0);
        inX = x;
        inY = y;
        for (size_t i = size_t(std::max(outCount, 0)); i < inX.size(); ++i) {
            inX[i] = 1e9 + double(i);  // never a terminator, never reached
            inY[i] = -123;
        }
        outX.assign(inX.size(), kOutXSentinel);
        outY.assign(inY.size(), kOutYSentinel);
        request = {mode,   inX.data(), inY.data(), outX.data(), outY.data(), 0,
                   startX, endX,       outCount,   subSteps};
    }
    // Points the request at this call's arrays (calls are copied) and runs it.
    int32_t Run() {
        request.inX = inX.data();
        request.inY = inY.data();
        request.outX = outX.data();
        request.outY = outY.data();
        return Lumitra_SplineInterpolation(&request);
    }
};

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// ------------------------------------------------------------------------
// Random requests of both modes against the step-by-step version.

double FromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// One NaN pattern only: where two NaNs meet in an addition, x86 keeps the
// first operand's, and C++ leaves the operand order of `+` open.
const double kNaN = FromBits(0x7FF8000000000ABCull);

std::vector<int32_t> RandomOrdinates(test::SplitMix64& rng, int32_t n) {
    std::vector<int32_t> y(n);
    const int kind = int(rng.Uniform(0, 5));
    const double level = double(rng.Uniform(-100000, 100000));
    for (int32_t i = 0; i < n; ++i) {
        switch (kind) {
            case 0:  // a lamp spectrum scaled by 1000
                y[i] = int32_t(1000.0 * (level / 1000 + 3000 * std::exp(-std::pow((i - n * 0.4) / 3.0, 2)) +
                                         200 * std::exp(-std::pow((i - n * 0.8) / 9.0, 2))));
                break;
            case 1: y[i] = int32_t(level); break;  // constant
            case 2: y[i] = int32_t(level) + 977 * i; break;  // ramp
            case 3: y[i] = int32_t(rng.Uniform(-2, 2)); break;  // ties
            case 4: y[i] = int32_t(rng.Uniform(INT32_MIN, INT32_MAX)); break;  // overshoots
            default: y[i] = int32_t(rng.Uniform(-1000000, 1000000)); break;
        }
    }
    return y;
}

// Abscissae: mostly increasing, with the oddities a host might send.
std::vector<double> RandomAbscissae(test::SplitMix64& rng, int32_t n, int32_t room) {
    std::vector<double> x(std::max(n, room));
    const int kind = int(rng.Uniform(0, 6));
    double v = kind == 1 ? -50.0 * rng.Unit() : 1.0;
    for (int32_t i = 0; i < int32_t(x.size()); ++i) {
        if (i >= n) {  // what lies past the data: an end mark, more data, noise
            x[i] = kind == 2 ? v + i : kind == 3 ? rng.Unit() * 1000 : 0.0;
            continue;
        }
        switch (kind) {
            case 0: x[i] = i + 1; break;
            case 4: x[i] = (v += rng.Unit() < 0.1 ? -rng.Unit() : rng.Unit() * 3); break;
            case 5: {
                const double specials[] = {kNaN, std::numeric_limits<double>::infinity(),
                                           -std::numeric_limits<double>::infinity(), 0.0};
                x[i] = rng.Uniform(0, 15) == 0 ? specials[rng.Uniform(0, 3)] : (v += rng.Unit());
                break;
            }
            default: x[i] = (v += 0.25 + rng.Unit() * 4); break;
        }
    }
    return x;
}

void CompareCall(Call& call, test::LiteralRequest& literal, test::LiteralOutcome outcome,
                 int32_t outCount, int round, int& accepted, int& pastOutCount) {
    const auto inX = call.inX, outX = call.outX;
    const auto inY = call.inY, outY = call.outY;
    const int32_t status = call.Run();
    const bool done = outcome == test::LiteralOutcome::kDone;
    ASSERT_EQ(status, done ? S_OK : E_INVALIDARG)
        << "round " << round << " mode " << call.request.mode << " outCount " << outCount << " F " << call.request.subSteps;
    if (!done) {
        ASSERT_TRUE(SameBits(call.inX, inX) && call.inY == inY && SameBits(call.outX, outX) &&
                    call.outY == outY)
            << "round " << round << ": a refused request wrote";
        return;
    }
    ++accepted;
    if (std::max({literal.inX.Highest(), literal.outX.Highest(), literal.inY.Highest(),
                  literal.outY.Highest()}) >= outCount)
        ++pastOutCount;
    ASSERT_TRUE(SameBits(call.inX, literal.inX.Data())) << "round " << round << " inX";
    ASSERT_EQ(call.inY, literal.inY.Data()) << "round " << round << " inY";
    ASSERT_TRUE(SameBits(call.outX, literal.outX.Data())) << "round " << round << " outX";
    ASSERT_EQ(call.outY, literal.outY.Data()) << "round " << round << " outY";
}


// Runs one request both ways and compares: a request the literal version
// runs must succeed with identical arrays, wherever it wrote (within the
// arrays' generous room); any other must be refused with nothing written.
void Compare(int32_t mode, const std::vector<double>& x, const std::vector<int32_t>& y,
             double startX, double endX, int32_t outCount, int32_t subSteps, int round,
             int& accepted, int& pastOutCount) {
    // Room for what the literal version touches: outCount and a guard zone,
    // or, where it writes further, up to there.
    size_t room = size_t(std::max(outCount, 0)) + kGuard;
    for (int attempt = 0;; ++attempt) {
        Call call(mode, x, y, startX, endX, outCount, subSteps, room);
        test::LiteralRequest literal{mode,
                                     test::TrackedArray<double>(call.inX),
                                     test::TrackedArray<int32_t>(call.inY),
                                     test::TrackedArray<double>(call.outX),
                                     test::TrackedArray<int32_t>(call.outY),
                                     startX,
                                     endX,
                                     outCount,
                                     subSteps};
        const auto outcome = test::LiteralSplineInterpolation(literal);
        if (outcome == test::LiteralOutcome::kBeyondTheTestArrays) {
            room = size_t(std::max({literal.inX.Highest(), literal.inY.Highest(), literal.outX.Highest(),
                                    literal.outY.Highest()})) + kGuard;
            if (attempt == 0 && room < (size_t(1) << 22)) continue;
            return;
        }
        CompareCall(call, literal, outcome, outCount, round, accepted, pastOutCount);
        return;
    }
}

TEST(SplineInterpolation, SubStepRequestsMatchLiteralVersion) {
    test::SplitMix64 rng(0x5B11E);
    test::AllocationBalance balance;
    int accepted = 0, pastOutCount = 0;
    for (int round = 0; round < 1500; ++round) {
        int32_t n = int32_t(rng.Uniform(2, rng.Uniform(0, 40) == 0 ? 1100 : 60));
        int32_t steps = int32_t(rng.Uniform(1, 128));
        if (rng.Uniform(0, 3) == 0) steps = 64;
        if (rng.Uniform(0, 40) == 0) steps = int32_t(rng.Uniform(-3, 0));
        if (rng.Uniform(0, 80) == 0)  // about the limits: 1025 knots, 65536 points
            steps = rng.Uniform(0, 1) == 0 ? 1 : 64, n = int32_t(rng.Uniform(1023, 1026));
        int32_t outCount = steps * n + 1;
        switch (rng.Uniform(0, 6)) {
            case 0: outCount += int32_t(rng.Uniform(-2, 2)); break;
            case 1: outCount = int32_t(rng.Uniform(-2, std::max(2, steps * n * 2))); break;
            case 2: outCount += steps * int32_t(rng.Uniform(0, 3)); break;
            default: break;
        }
        const auto x = RandomAbscissae(rng, n, std::max(outCount, 0));
        double startX = x[0], endX = x[n - 1];
        switch (rng.Uniform(0, 5)) {
            case 0: startX = x[size_t(rng.Uniform(0, n - 1))], endX = x[size_t(rng.Uniform(0, n - 1))]; break;
            case 1:
                startX = x[0] + rng.Unit() * (x[n - 1] - x[0]);
                endX = startX + rng.Unit() * (x[n - 1] - x[0]);
                break;
            case 2: startX = x[0] - 5, endX = x[n - 1] + 5; break;
            case 3: endX = 1e12; break;  // met by nothing but a 0.0 abscissa
            default: break;
        }
        Compare(1, x, RandomOrdinates(rng, std::max(n, outCount)), startX, endX, outCount, steps,
                round, accepted, pastOutCount);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(accepted, 700);
    EXPECT_GT(pastOutCount, 60);
}

TEST(SplineInterpolation, MidpointRequestsMatchLiteralVersion) {
    test::SplitMix64 rng(0x313D);
    test::AllocationBalance balance;
    int accepted = 0, pastOutCount = 0;
    for (int round = 0; round < 1500; ++round) {
        const int32_t n = int32_t(rng.Uniform(1, rng.Uniform(0, 20) == 0 ? 300 : 25));
        int32_t outCount = 8 * (n - 1) + 2;
        switch (rng.Uniform(0, 4)) {
            case 0: outCount += int32_t(rng.Uniform(-3, 3)); break;
            case 1: outCount = int32_t(rng.Uniform(-1, 10 * n)); break;
            case 2: outCount += int32_t(rng.Uniform(0, 40)); break;
            default: break;
        }
        const auto x = RandomAbscissae(rng, n, std::max(outCount, 0));
        double endX = x[n - 1];
        switch (rng.Uniform(0, 4)) {
            case 0: endX = x[size_t(rng.Uniform(0, n - 1))]; break;
            case 1: endX = x[0] + rng.Unit() * (x[n - 1] - x[0]) * 1.2; break;
            case 2: endX = 1e12; break;
            default: break;
        }
        Compare(0, x, RandomOrdinates(rng, std::max(n, outCount)), rng.Unit(), endX, outCount,
                int32_t(rng.Uniform(-5, 5)), round, accepted, pastOutCount);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(accepted, 600);
    EXPECT_GT(pastOutCount, 5);
}

}  // namespace
}  // namespace lumitra::numeric
