// Sub-step spline mode of the spline interpolation: a clamped cubic spline
// through a range of samples, evaluated subSteps times per interval.
//
// The knots are the sample positions within the range, 0, 1, 2, ..., so the
// interval of an evaluation point follows from its position instead of a
// search, and each interval's points are evaluated in one run with its
// coefficients at hand.
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define LUMITRA_SPLINE_SSE2 1
#else
#define LUMITRA_SPLINE_SSE2 0
#endif

#include "module/task_allocator.h"
#include "numeric/spline_interpolation.h"
#include "numeric/truncation.h"

namespace lumitra::numeric {
namespace {

// What a request covers: q input samples on the output grid, knots from
// sample i0 on, m knots, evaluation points 0..n.
struct SubStepRange {
    std::int32_t q;
    std::int32_t i0;
    std::int32_t m;
    std::int32_t n;
};

// Finds the range of a request; false for the requests the routine cannot
// serve: sub-steps <= 0, fewer than two samples on the output grid or two
// knots, more knots or evaluation points than the working blocks hold, a
// range scan that reaches index outCount - 1 without meeting endX or a 0.0
// abscissa, and outputs that no array in this address space can hold.
bool FindRange(const SplineRequest& r, SubStepRange& range) {
    const std::int32_t count = r.outCount;
    const std::int32_t steps = r.subSteps;
    const double* inX = r.inX;
    if (steps <= 0) return false;
    const std::int32_t q = count / steps;
    if (q < 2) return false;
    const std::int32_t last = count - 1;

    // i0: the last sample whose abscissa lies below startX.
    std::int32_t i0 = 0;
    if (!(r.startX <= inX[0])) {
        std::int32_t i = 0;
        while (i != last && inX[i] != 0.0) {
            ++i;
            if (r.startX <= inX[i]) break;
        }
        i0 = i == 0 ? 0 : i - 1;
    }
    // i1: the first sample from i0 on whose abscissa reaches endX.
    std::int32_t i1 = i0;
    while (r.endX > inX[i1] && i1 != last && inX[i1] != 0.0) ++i1;
    if (i1 == last && r.endX > inX[last] && inX[last] != 0.0) return false;

    const std::int32_t m = i1 - i0 + 1;
    if (m < 2 || m > kSplineMaxKnots) return false;
    const double points = static_cast<double>(m) / (1.0 / steps);
    if (!(points < kSplineMaxPoints)) return false;  // n + 1 points at most
    const std::int32_t n = TruncateToInt32(points);
    // The caller sizes outY for i0*F + n + 1 values (outX for q*F + 1 <=
    // outCount + 1).
    const auto highest = static_cast<std::uint64_t>(i0) * static_cast<std::uint64_t>(steps) +
                         static_cast<std::uint64_t>(n);
    if (highest >= PTRDIFF_MAX / sizeof(double)) return false;
    range = {q, i0, m, n};
    return true;
}

// The fixed working blocks, from the task allocator in this order.
constexpr std::size_t kKnotArrayLength = kSplineMaxKnots + 1;  // index 0 unused
class WorkingBlocks {
public:
    WorkingBlocks() noexcept {
        abscissae_ = module::TaskAllocate(kSplineMaxPoints * sizeof(double));
        if (abscissae_ == nullptr) return;
        values_ = module::TaskAllocate(kSplineMaxPoints * sizeof(double));
        if (values_ == nullptr) return;
        knots_ = static_cast<double*>(module::TaskAllocate(8 * kKnotArrayLength * sizeof(double)));
    }
    ~WorkingBlocks() {
        module::TaskFree(knots_);
        module::TaskFree(values_);
        module::TaskFree(abscissae_);
    }
    WorkingBlocks(const WorkingBlocks&) = delete;
    WorkingBlocks& operator=(const WorkingBlocks&) = delete;

    bool Obtained() const noexcept { return knots_ != nullptr; }
    // Knot array `which` (0..7) of the spline block.
    double* KnotArray(int which) const noexcept { return knots_ + which * kKnotArrayLength; }

private:
    // The evaluation points need no table of their own here: each one is
    // computed where it is used.
    void* abscissae_ = nullptr;
    void* values_ = nullptr;
    double* knots_ = nullptr;
};

// The clamped spline, knots 1..m: ordinates a, slopes b, coefficients c
// and d, abscissae x, diagonal e, widths h, divided differences delta.
struct KnotArrays {
    double *a, *b, *c, *d, *x, *e, *h, *delta;
};

// Solves for the slopes with zero slope at both ends and forms the cubic
// coefficients. Written for any increasing knots; here every h is 1.
// The cubic spline object (cubic_spline.cpp) solves the same clamped spline
// for its second derivatives instead. The two stay separate because each
// reproduces the operation order of its own routine bit for bit: in exact
// arithmetic they agree, in doubles they differ in the last bits, and now
// and then a value truncated to an integer differs by one.
void SolveClampedSpline(const KnotArrays& s, std::int32_t m) {
    s.b[1] = 0.0;
    s.b[m] = 0.0;
    s.e[1] = 1.0;
    s.h[1] = 0.0;
    for (std::int32_t k = 2; k <= m; ++k) {
        s.h[k] = s.x[k] - s.x[k - 1];
        s.delta[k] = (s.a[k] - s.a[k - 1]) / s.h[k];
    }
    for (std::int32_t k = 2; k <= m - 1; ++k) {
        s.b[k] = 3.0 * (s.delta[k] * s.h[k + 1] + s.delta[k + 1] * s.h[k]);
        s.e[k] = 2.0 * (s.h[k] + s.h[k + 1]);
    }
    for (std::int32_t k = 2; k <= m - 1; ++k) {
        const double w = s.h[k + 1] / s.e[k - 1];
        s.e[k] = s.e[k] - w * s.h[k - 1];
        s.b[k] = s.b[k] - w * s.b[k - 1];
    }
    for (std::int32_t k = m - 1; k >= 2; --k) s.b[k] = (s.b[k] - s.h[k] * s.b[k + 1]) / s.e[k];
    for (std::int32_t k = 1; k <= m - 1; ++k) {
        const double t = s.b[k] + s.b[k + 1] - 2.0 * s.delta[k + 1];
        s.c[k] = (s.delta[k + 1] - s.b[k] - t) / s.h[k + 1];
        s.d[k] = t / (s.h[k + 1] * s.h[k + 1]);
    }
}

// Point j of the evaluation grid lies at j*g past the first knot (0.0).
inline double GridPosition(std::int32_t j, double g) { return static_cast<double>(j) * g; }

// The cubic of one interval (knot at x, coefficients a..d) at the grid
// points j..end-1, each value truncated into out[j]. Two points per SSE2
// vector: every operation is the scalar one in the scalar order, and
// cvttpd2dq gives INT32_MIN exactly where TruncateToInt32 does.
void EvaluateCubic(double x, double a, double b, double c, double d, double g, std::int32_t j,
                   std::int32_t end, std::int32_t* out) {
#if LUMITRA_SPLINE_SSE2
    const __m128d vx = _mm_set1_pd(x), va = _mm_set1_pd(a), vb = _mm_set1_pd(b);
    const __m128d vc = _mm_set1_pd(c), vd = _mm_set1_pd(d), vg = _mm_set1_pd(g);
    const __m128d two = _mm_set1_pd(2.0);
    __m128d position = _mm_set_pd(static_cast<double>(j) + 1.0, static_cast<double>(j));
    for (; end - j >= 2; j += 2) {
        const __m128d r = _mm_sub_pd(_mm_mul_pd(position, vg), vx);
        __m128d value = _mm_add_pd(_mm_mul_pd(vd, r), vc);
        value = _mm_add_pd(_mm_mul_pd(value, r), vb);
        value = _mm_add_pd(_mm_mul_pd(value, r), va);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_cvttpd_epi32(value));
        position = _mm_add_pd(position, two);
    }
#endif
    for (; j < end; ++j) {
        const double r = GridPosition(j, g) - x;
        out[j] = TruncateToInt32(((d * r + c) * r + b) * r + a);
    }
}

// Evaluates the spline at points 0..n and stores each value truncated to
// out[j]. Interval k (knots k and k+1 at k-1 and k) holds the points below
// k; the last interval also takes every point beyond the last knot.
void EvaluateOnGrid(const KnotArrays& s, std::int32_t m, std::int32_t steps, std::int32_t n,
                    std::int32_t* out) {
    const double g = 1.0 / steps;
    std::int32_t j = 0;
    for (std::int32_t k = 1; k <= m - 1; ++k) {
        std::int32_t end = n + 1;
        if (k < m - 1) {
            // The first point at or past k: near k*F, found exactly with
            // the rounded positions themselves.
            const double knot = k;
            end = static_cast<std::int32_t>(static_cast<long long>(k) * steps);
            if (end > n + 1) end = n + 1;
            if (end < j) end = j;
            while (end > j && GridPosition(end - 1, g) >= knot) --end;
            while (end <= n && GridPosition(end, g) < knot) ++end;
        }
        EvaluateCubic(s.x[k], s.a[k], s.b[k], s.c[k], s.d[k], g, j, end, out);
        j = end;
    }
}

// Output abscissa o stands for the fractional sample position o / F:
// linear between the samples, repeated steps of the last interval's width
// past sample q-2. Dividing by a power of two is multiplying by its exact
// reciprocal, which gives the same bits.
void RefineAbscissae(const double* inX, std::int32_t q, std::int32_t steps, double* outX) {
    const double f = steps;
    const bool powerOfTwo = (steps & (steps - 1)) == 0;
    const double reciprocal = 1.0 / f;
    for (std::int32_t r = 0; r <= q - 2; ++r) {
        const double x0 = inX[r];
        const double width = inX[r + 1] - inX[r];
        double* row = outX + static_cast<std::ptrdiff_t>(r) * steps;
        std::int32_t s = 0;
        if (powerOfTwo) {
#if LUMITRA_SPLINE_SSE2
            const __m128d vx0 = _mm_set1_pd(x0), vwidth = _mm_set1_pd(width);
            const __m128d vreciprocal = _mm_set1_pd(reciprocal), two = _mm_set1_pd(2.0);
            __m128d step = _mm_set_pd(1.0, 0.0);
            for (; steps - s >= 2; s += 2) {
                _mm_storeu_pd(row + s,
                              _mm_add_pd(vx0, _mm_mul_pd(_mm_mul_pd(vwidth, step), vreciprocal)));
                step = _mm_add_pd(step, two);
            }
#endif
            for (; s < steps; ++s) row[s] = x0 + (width * s) * reciprocal;
        } else {
            for (; s < steps; ++s) row[s] = x0 + (width * s) / f;
        }
    }
    const double d = (inX[q - 1] - inX[q - 2]) / f;
    double v = inX[q - 1];
    double* tail = outX + static_cast<std::ptrdiff_t>(q - 1) * steps;
    for (std::int32_t s = 0; s < steps; ++s) {
        tail[s] = v;
        v = v + d;
    }
    tail[steps] = v;
}

// Clears a[from .. to-1] within a[0 .. count-1].
template <typename T>
void ClearBetween(T* a, std::int64_t from, std::int64_t to, std::int64_t count) {
    if (from < 0) from = 0;
    if (to > count) to = count;
    if (from < to) std::memset(a + from, 0, static_cast<std::size_t>(to - from) * sizeof(T));
}

}  // namespace

std::int32_t SubStepSplineInterpolation(SplineRequest& request) {
    SubStepRange range;
    if (!FindRange(request, range)) return E_INVALIDARG;
    // The outputs are cleared before anything else; where the evaluation
    // then writes them anyway, clearing them would change nothing a caller
    // sees, so only the rest is cleared.
    WorkingBlocks blocks;
    if (!blocks.Obtained()) {
        ClearSplineOutputs(request);
        return E_OUTOFMEMORY;
    }
    const std::int32_t steps = request.subSteps;
    const std::int64_t count = request.outCount;
    const std::int64_t first = static_cast<std::int64_t>(range.i0) * steps;
    ClearBetween(request.outX, static_cast<std::int64_t>(range.q) * steps + 1, count, count);
    ClearBetween(request.outY, 0, first, count);
    ClearBetween(request.outY, first + range.n + 1, count, count);

    const KnotArrays s = {blocks.KnotArray(0), blocks.KnotArray(1), blocks.KnotArray(2),
                          blocks.KnotArray(3), blocks.KnotArray(4), blocks.KnotArray(5),
                          blocks.KnotArray(6), blocks.KnotArray(7)};
    for (std::int32_t k = 1; k <= range.m; ++k) {
        s.x[k] = k - 1;
        s.a[k] = request.inY[range.i0 + k - 1];
    }
    SolveClampedSpline(s, range.m);
    EvaluateOnGrid(s, range.m, steps, range.n, request.outY + first);
    RefineAbscissae(request.inX, range.q, steps, request.outX);
    return S_OK;
}

}  // namespace lumitra::numeric
