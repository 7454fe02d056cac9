// The low-frequency filter: the documented cases, its failures, its one
// allocation, and bit-for-bit agreement of every vector width with the
// step-by-step version.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "literal_filter.h"
#include "lumitra/lumitra.h"
#include "numeric/filter_kernels.h"
#include "numeric/low_frequency_filter.h"
#include "support/allocation_guard.h"
#include "support/random.h"
#include "support/ulps.h"

namespace lumitra::numeric {
namespace {

using test::Bits;

std::vector<uint64_t> BitsOf(const std::vector<double>& values) {
    std::vector<uint64_t> bits;
    for (double v : values) bits.push_back(Bits(v));
    return bits;
}

std::vector<double> Filtered(std::vector<double> signal, uint32_t halfWidth) {
    EXPECT_EQ(FiltrateLowFrequency(signal.data(), int32_t(signal.size()), halfWidth), S_OK);
    return signal;
}

TEST(LowFrequencyFilter, ZeroHalfWidthChangesNothing) {
    test::AllocationBalance balance;
    std::vector<double> signal = {1.5, std::numeric_limits<double>::quiet_NaN(), -0.0, 1e308, 3};
    const auto before = BitsOf(signal);
    module::allocation_hook::FailNthAllocation(1);  // nothing is allocated
    EXPECT_EQ(FiltrateLowFrequency(signal.data(), 5, 0), S_OK);
    EXPECT_FALSE(module::allocation_hook::FailureDelivered());
    EXPECT_EQ(BitsOf(signal), before);
    EXPECT_EQ(FiltrateLowFrequency(nullptr, -1, 0), S_OK);
}

TEST(LowFrequencyFilter, ConstantSignalsBecomeExactlyZero) {
    for (double level : {0.0, 7.0, -123456.0, 4096.0}) {
        for (uint32_t w : {1u, 3u, 640u, 5000u, 0xFFFFFFFFu}) {
            for (double v : Filtered(std::vector<double>(2000, level), w))
                ASSERT_EQ(Bits(v), Bits(0.0)) << level << " w " << w;
        }
    }
}

TEST(LowFrequencyFilter, RampVanishesAwayFromTheEnds) {
    const uint32_t w = 50;
    std::vector<double> ramp(1000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = 3.0 + 0.25 * double(i);
    const auto out = Filtered(ramp, w);
    for (size_t i = 0; i < out.size(); ++i) {
        if (i >= w && i + w < out.size())
            EXPECT_NEAR(out[i], 0.0, 1e-9) << i;
        else
            EXPECT_GT(std::fabs(out[i]), 0.1) << i;  // clipped windows lean to one side
    }
    EXPECT_NEAR(out[0], -0.25 * w / 2, 1e-12);  // mean of samples 0..w
    EXPECT_NEAR(out[999], 0.25 * w / 2, 1e-12);
}

TEST(LowFrequencyFilter, SpikeLosesItsShareOfTheWindow) {
    struct Case {
        uint32_t w;
        double height;
    };
    for (const Case c : {Case{1, 3.0}, Case{10, 1000.0}, Case{640, 65536.0}, Case{640, -17.5}}) {
        const size_t n = 6 * c.w + 8, spike = 3 * c.w + 2;
        std::vector<double> signal(n, 0.0);
        signal[spike] = c.height;
        const auto out = Filtered(signal, c.w);
        const double share = c.height / double(2 * c.w + 1);
        for (size_t i = 0; i < n; ++i) {
            const size_t distance = i > spike ? i - spike : spike - i;
            const double expected = distance == 0 ? c.height - share : distance <= c.w ? -share : 0.0;
            ASSERT_EQ(Bits(out[i]), Bits(0.0 + expected)) << "w " << c.w << " i " << i;
        }
    }
}

TEST(LowFrequencyFilter, WholeArrayWindowsSubtractTheMean) {
    const std::vector<double> signal = {4, -1, 9.5, 2, 2, 100, -30};
    double sum = 0.0;
    for (double v : signal) sum += v;
    const double mean = sum / 7.0;
    for (uint32_t w : {6u, 7u, 1000u, 0xFFFFFFFFu}) {
        const auto out = Filtered(signal, w);
        for (size_t i = 0; i < signal.size(); ++i) EXPECT_EQ(out[i], signal[i] - mean) << w;
    }
}

TEST(LowFrequencyFilter, ImpossibleCountsReportOutOfMemory) {
    test::AllocationBalance balance;
    std::vector<double> signal = {1, 2, 3};
    struct Case {
        int32_t count;
        int32_t status;
    };
    const Case cases[] = {{-1, E_OUTOFMEMORY},
                          {INT32_MIN, E_OUTOFMEMORY},
                          {0x20000000, E_OUTOFMEMORY},  // 4 GiB: beyond 32 bits
                          {INT32_MAX, E_OUTOFMEMORY},
                          {0, S_OK}};
    for (const auto& c : cases) {
        EXPECT_EQ(FiltrateLowFrequency(signal.data(), c.count, 4), c.status) << c.count;
        EXPECT_EQ(signal, (std::vector<double>{1, 2, 3}));
    }
}

TEST(LowFrequencyFilter, FailedAllocationLeavesTheSignal) {
    std::vector<double> signal(300);
    for (size_t i = 0; i < signal.size(); ++i) signal[i] = std::sin(0.1 * double(i));
    const auto original = signal;
    auto expected = signal;
    test::LiteralFiltrateLowFrequency(expected.data(), 300, 20);
    int32_t status = 0;
    const int points = test::SweepAllocationFailures(
        [&] {
            std::copy(original.begin(), original.end(), signal.begin());
            status = FiltrateLowFrequency(signal.data(), 300, 20);
        },
        [&](bool failed) {
            EXPECT_EQ(status, failed ? E_OUTOFMEMORY : S_OK);
            EXPECT_EQ(BitsOf(signal), BitsOf(failed ? original : expected));
        });
    EXPECT_EQ(points, 1);
}

double FromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Signals of every kind the filter meets or must survive.
std::vector<double> MakeSignal(test::SplitMix64& rng, int32_t count, int kind) {
    std::vector<double> s(count);
    const double specials[] = {std::numeric_limits<double>::quiet_NaN(),
                               FromBits(0x7FF0000000000001ull),  // signalling
                               FromBits(0xFFF8000000000123ull),  // negative, with payload
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               -0.0,
                               1e308,
                               -1e308,
                               4.9e-324,
                               std::numeric_limits<double>::denorm_min() * 12345};
    const double a = rng.Unit() * 1000, b = rng.Unit() * 0.01;
    for (int32_t i = 0; i < count; ++i) {
        switch (kind) {
            case 0: s[i] = rng.Unit() * 2.0 - 1.0; break;
            case 1:  // a fine-grid lamp spectrum: lines on a sloping background
                s[i] = 5000.0 * std::exp(-std::pow((i - count * 0.6) / 40.0, 2)) +
                       800.0 * std::exp(-std::pow((i - count * 0.25) / 90.0, 2)) + a + b * i +
                       std::floor(rng.Unit() * 8.0);
                break;
            case 2: s[i] = double(rng.Uniform(-3, 3)); break;  // ties
            case 3: s[i] = a; break;
            case 4: s[i] = a + b * i; break;
            case 5: s[i] = (rng.Unit() - 0.5) * std::ldexp(1.0, int(rng.Uniform(-1074, 1023))); break;
            default:
                s[i] = rng.Uniform(0, 9) == 0 ? specials[rng.Uniform(0, 9)] : rng.Unit() - 0.5;
                break;
        }
    }
    return s;
}

// The kernels of every width this processor has, and the dispatched entry.
std::vector<InstructionSet> AvailableSets() {
    std::vector<InstructionSet> sets;
    for (int s = 0; s <= int(BestInstructionSet()); ++s) sets.push_back(InstructionSet(s));
    return sets;
}

void ExpectSameAsLiteral(const std::vector<double>& signal, uint32_t w, const char* what) {
    const int32_t count = int32_t(signal.size());
    auto expected = signal;
    ASSERT_EQ(test::LiteralFiltrateLowFrequency(expected.data(), count, w), S_OK);
    const auto want = BitsOf(expected);
    ASSERT_EQ(BitsOf(Filtered(signal, w)), want) << what << " count " << count << " w " << w;
    if (w == 0) return;
    for (InstructionSet set : AvailableSets()) {
        std::vector<double> result(count, -1.0);
        WindowMeanKernelFor(set)(signal.data(), count, w, result.data());
        ASSERT_EQ(BitsOf(result), want)
            << what << " " << InstructionSetName(set) << " count " << count << " w " << w;
    }
}

TEST(LowFrequencyFilter, EveryWindowOfShortSignalsMatchesLiteralVersion) {
    test::SplitMix64 rng(0xF117E4);
    for (int32_t count = 0; count <= 48; ++count) {
        for (int kind = 0; kind <= 6; ++kind) {
            const auto signal = MakeSignal(rng, count, kind);
            for (uint32_t w = 0; w <= uint32_t(count) + 3; ++w) ExpectSameAsLiteral(signal, w, "short");
            ExpectSameAsLiteral(signal, 0xFFFFFFFFu, "short");
            ExpectSameAsLiteral(signal, 0x80000000u, "short");
        }
    }
}

TEST(LowFrequencyFilter, RandomSignalsMatchLiteralVersion) {
    test::SplitMix64 rng(0xF117E5);
    for (int round = 0; round < 1500; ++round) {
        const int32_t count = int32_t(rng.Uniform(0, rng.Uniform(0, 4) == 0 ? 4000 : 300));
        const auto signal = MakeSignal(rng, count, int(rng.Uniform(0, 6)));
        uint32_t w;
        switch (rng.Uniform(0, 3)) {
            case 0: w = uint32_t(rng.Uniform(1, 8)); break;
            case 1: w = uint32_t(rng.Uniform(1, count / 2 + 2)); break;
            case 2: w = uint32_t(rng.Uniform(count / 2 + 1, count + 70)); break;
            default: w = uint32_t(rng.Uniform(60, 700)); break;
        }
        ExpectSameAsLiteral(signal, w, "random");
    }
}

TEST(LowFrequencyFilter, FineGridSpectrumMatchesLiteralVersion) {
    test::SplitMix64 rng(0xF117E6);
    for (int kind : {1, 6}) ExpectSameAsLiteral(MakeSignal(rng, 32832, kind), 640, "fine grid");
}

}  // namespace
}  // namespace lumitra::numeric
