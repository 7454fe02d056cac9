// Window means four outputs at a time in AVX2 lanes.
#include <immintrin.h>

#include <cstdint>

#include "numeric/filter_kernels.h"

// Only this file's functions use the instructions (run-time dispatch picks
// them); clang spells the same as a function attribute.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "numeric/filter_lanes.h"

namespace lumitra::numeric {
namespace {

struct Avx2Lanes {
    static constexpr int kLanes = 4;
#if defined(__x86_64__)
    static constexpr int kVectors = 8;
#else
    static constexpr int kVectors = 4;  // eight vector registers only
#endif
    using Vec = __m256d;
    static Vec Zero() { return _mm256_setzero_pd(); }
    static Vec Load(const double* p) { return _mm256_loadu_pd(p); }
    static void Store(double* p, Vec v) { _mm256_storeu_pd(p, v); }
    // Written out so that the running sum stays the first operand, whose NaN
    // x86 keeps when both are NaN (the compiler may swap an intrinsic's).
    static Vec Add(Vec a, Vec b) {
        Vec sum;
        asm("vaddpd %2, %1, %0" : "=x"(sum) : "x"(a), "xm"(b));
        return sum;
    }
    static Vec Sub(Vec a, Vec b) { return _mm256_sub_pd(a, b); }
    static Vec Div(Vec a, Vec b) { return _mm256_div_pd(a, b); }
    static Vec AddLanes(Vec acc, const double* base, int first, int last) {
        const __m256i lane = _mm256_setr_epi64x(0, 1, 2, 3);
        const __m256i mask = _mm256_and_si256(_mm256_cmpgt_epi64(lane, _mm256_set1_epi64x(first - 1)),
                                              _mm256_cmpgt_epi64(_mm256_set1_epi64x(last + 1), lane));
        // The masked load does not touch the lanes left out.
        const Vec values = _mm256_maskload_pd(base, mask);
        return _mm256_blendv_pd(acc, Add(acc, values), _mm256_castsi256_pd(mask));
    }
};

}  // namespace

void SubtractWindowMeansAvx2(const double* signal, std::int32_t count, std::uint32_t halfWidth,
                             double* result) {
    SubtractWindowMeansInLanes<Avx2Lanes>(signal, count, halfWidth, result);
}

}  // namespace lumitra::numeric

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
