// The low-frequency filter: bit-for-bit agreement of every vector width with
// the plain version (one output at a time, its window summed afresh in
// ascending order), half-width 0 and windows beyond the signal included.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "literal_filter.h"
#include "numeric/filter_kernels.h"
#include "numeric/low_frequency_filter.h"
#include "support/test_support.h"

namespace lumitra::numeric {
namespace {

std::vector<uint64_t> BitsOf(const std::vector<double>& values) {
    std::vector<uint64_t> bits;
    for (double v : values) bits.push_back(test::Bits(v));
    return bits;
}

double FromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::vector<double> Signal(test::SplitMix64& rng, int32_t count, int kind) {
    const double specials[] = {std::numeric_limits<double>::quiet_NaN(), FromBits(0x7FF0000000000001ull),
                               FromBits(0xFFF8000000000123ull), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), -0.0, 1e308, 4.9e-324};
    std::vector<double> s(static_cast<size_t>(count));
    const double a = rng.Unit() * 1000, b = rng.Unit() * 0.01;
    for (int32_t i = 0; i < count; ++i) {
        double& v = s[size_t(i)];
        switch (kind) {
            case 0: v = 5000.0 * std::exp(-std::pow((i - count * 0.6) / 40.0, 2)) + a + b * i; break;
            case 1: v = double(rng.Uniform(-3, 3)); break;
            case 2: v = (rng.Unit() - 0.5) * std::ldexp(1.0, int(rng.Uniform(-1074, 1023))); break;
            default: v = rng.Uniform(0, 9) == 0 ? specials[rng.Uniform(0, 7)] : rng.Unit() - 0.5; break;
        }
    }
    return s;
}

// The dispatched entry and the kernel of every width this processor has.
void ExpectSameAsPlain(const std::vector<double>& signal, uint32_t w) {
    const int32_t count = int32_t(signal.size());
    auto expected = signal, filtered = signal;
    ASSERT_EQ(test::LiteralFiltrateLowFrequency(expected.data(), count, w), S_OK);
    ASSERT_EQ(FiltrateLowFrequency(filtered.data(), count, w), S_OK);
    ASSERT_EQ(BitsOf(filtered), BitsOf(expected)) << "count " << count << " w " << w;
    for (int set = 0; w != 0 && set <= int(BestInstructionSet()); ++set) {
        std::vector<double> result(static_cast<size_t>(count), -1.0);
        WindowMeanKernelFor(InstructionSet(set))(signal.data(), count, w, result.data());
        ASSERT_EQ(BitsOf(result), BitsOf(expected))
            << InstructionSetName(InstructionSet(set)) << " count " << count << " w " << w;
    }
}

TEST(LowFrequencyFilter, EveryWidthAgreesWithThePlainVersion) {
    test::SplitMix64 rng(0xF117E4);
    for (int32_t count = 0; count <= 40; ++count)  // every window of short signals
        for (int kind = 0; kind <= 3; ++kind) {
            const auto signal = Signal(rng, count, kind);
            for (uint32_t w = 0; w <= uint32_t(count) + 3; ++w) ExpectSameAsPlain(signal, w);
            ExpectSameAsPlain(signal, 0x80000000u);
        }
    for (int round = 0; round < 400; ++round) {
        const int32_t count = int32_t(rng.Uniform(0, rng.Uniform(0, 4) == 0 ? 4000 : 300));
        ExpectSameAsPlain(Signal(rng, count, int(rng.Uniform(0, 3))), uint32_t(rng.Uniform(1, count + 70)));
    }
    for (int kind : {0, 3}) ExpectSameAsPlain(Signal(rng, 32832, kind), 640);  // the fine grid
}

}  // namespace
}  // namespace lumitra::numeric
