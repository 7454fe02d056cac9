// Window means eight outputs at a time in AVX-512 lanes.
#include <immintrin.h>

#include <cstdint>

#include "numeric/filter_kernels.h"

// Only this file's functions use the instructions (run-time dispatch picks
// them); clang spells the same as a function attribute.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif

#include "numeric/filter_lanes.h"

namespace lumitra::numeric {
namespace {

struct Avx512Lanes {
    static constexpr int kLanes = 8;
#if defined(__x86_64__)
    static constexpr int kVectors = 8;
#else
    static constexpr int kVectors = 4;  // eight vector registers only
#endif
    using Vec = __m512d;
    static Vec Zero() { return _mm512_setzero_pd(); }
    static Vec Load(const double* p) { return _mm512_loadu_pd(p); }
    static void Store(double* p, Vec v) { _mm512_storeu_pd(p, v); }
    // Written out so that the running sum stays the first operand, whose NaN
    // x86 keeps when both are NaN (the compiler may swap an intrinsic's).
    static Vec Add(Vec a, Vec b) {
        Vec sum;
        asm("vaddpd %2, %1, %0" : "=v"(sum) : "v"(a), "vm"(b));
        return sum;
    }
    static Vec Sub(Vec a, Vec b) { return _mm512_sub_pd(a, b); }
    static Vec Div(Vec a, Vec b) { return _mm512_div_pd(a, b); }
    static Vec AddLanes(Vec acc, const double* base, int first, int last) {
        const auto mask = static_cast<__mmask8>((0xFFu >> (7 - last)) & (0xFFu << first));
        // The masked load does not touch the lanes left out.
        const Vec values = _mm512_maskz_loadu_pd(mask, base);
        asm("vaddpd %2, %0, %0%{%1%}" : "+v"(acc) : "Yk"(mask), "v"(values));
        return acc;
    }
};

}  // namespace

void SubtractWindowMeansAvx512(const double* signal, std::int32_t count,
                               std::uint32_t halfWidth, double* result) {
    SubtractWindowMeansInLanes<Avx512Lanes>(signal, count, halfWidth, result);
}

}  // namespace lumitra::numeric

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
