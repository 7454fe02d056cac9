// Window means two outputs at a time in SSE2 lanes, the baseline of every
// build.
#include <emmintrin.h>

#include "numeric/filter_kernels.h"
#include "numeric/filter_lanes.h"

namespace lumitra::numeric {
namespace {

struct Sse2Lanes {
    static constexpr int kLanes = 2;
#if defined(__x86_64__)
    static constexpr int kVectors = 8;
#else
    static constexpr int kVectors = 4;  // eight vector registers only
#endif
    using Vec = __m128d;
    static Vec Zero() { return _mm_setzero_pd(); }
    static Vec Load(const double* p) { return _mm_loadu_pd(p); }
    static void Store(double* p, Vec v) { _mm_storeu_pd(p, v); }
    // Written out so that the running sum stays the first operand, whose NaN
    // x86 keeps when both are NaN (the compiler may swap an intrinsic's).
    static Vec Add(Vec a, Vec b) {
        asm("addpd %1, %0" : "+x"(a) : "x"(b));
        return a;
    }
    static Vec Sub(Vec a, Vec b) { return _mm_sub_pd(a, b); }
    static Vec Div(Vec a, Vec b) { return _mm_div_pd(a, b); }
    static Vec AddLanes(Vec acc, const double* base, int first, int last) {
        if (first == 0 && last == 1) return Add(acc, _mm_loadu_pd(base));
        if (first == 0) {
            asm("addsd %1, %0" : "+x"(acc) : "x"(_mm_load_sd(base)));
            return acc;
        }
        // Lane 1 only: lane 0 keeps acc's value.
        const Vec sum = Add(acc, _mm_loadh_pd(_mm_setzero_pd(), base + 1));
        return _mm_move_sd(sum, acc);
    }
};

}  // namespace

void SubtractWindowMeansSse2(const double* signal, std::int32_t count, std::uint32_t halfWidth,
                             double* result) {
    SubtractWindowMeansInLanes<Sse2Lanes>(signal, count, halfWidth, result);
}

}  // namespace lumitra::numeric
