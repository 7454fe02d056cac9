// Midpoint mode of the spline interpolation: three passes, each inserting
// the middle of every interval, the new ordinates from the four-point rule
// (-1, 9, 9, -1)/16. The first pass goes from the input to the output
// arrays, the second back into the input arrays, the third to the output
// arrays again.
//
// Where a pass stops depends on abscissae that earlier passes wrote, so a
// request is first run dry: the same pass code walks a model of the four
// arrays that computes every abscissa from the input on demand and writes
// nothing. A request is refused when one of its range scans reaches index
// outCount - 1 without meeting endX or a 0.0 abscissa (it would run past
// the caller's data); any other is then run on the caller's arrays, which
// the caller sizes for the eight-fold series of the points up to endX and
// the places after it that the four-point rule reads (see lumitra.h).
#include <cstdint>

#include "numeric/spline_interpolation.h"
#include "numeric/truncation.h"
#include "numeric/wrapping_int.h"

namespace lumitra::numeric {
namespace {

using Index = long long;

// One pass from source (sx, sy) to destination (dx, dy) through an array
// access A (the caller's arrays, or the dry-run model).
template <class A>
void CopyPoint(A& a, Index c) {
    a.SetDestX(2 * c, a.SourceX(c));
    a.SetDestX(2 * c + 1, (a.SourceX(c + 1) + a.SourceX(c)) * 0.5);
    a.SetDestY(2 * c, a.SourceY(c));
}

template <class A>
void MidpointPass(A& a, double endX, Index outCount) {
    const Index last = outCount - 1;
    // Source points to the even places, abscissa midpoints to the odd ones.
    Index c = 0;
    if (endX > a.ScannedSourceX(0)) {
        for (;;) {
            if (a.Refused()) return;
            if (c == last) {
                a.StoppedAtBound(a.ScannedSourceX(c));
                break;
            }
            if (a.ScannedSourceX(c) == 0.0) break;
            CopyPoint(a, c);
            if (c == 1)  // the first midpoint: integer mean of points 0 and 2
                a.SetDestY(1, WrapAdd(a.SourceY(0), a.SourceY(2)) / 2);
            ++c;
            if (!(endX > a.ScannedSourceX(c))) break;
        }
    }
    if (a.Refused()) return;
    CopyPoint(a, c);
    a.CopiedUpTo(c);
    if (!(endX > a.ScannedDestX(3)) || a.Refused()) return;
    // Odd ordinates from the four neighbours, or from two where the next
    // interval does not increase.
    for (Index j = 3;;) {
        if (a.Refused()) return;
        if (j == last) {
            a.StoppedAtBound(a.ScannedDestX(j));
            break;
        }
        if (a.ScannedDestX(j) == 0.0) break;
        if (j < outCount - 3) {
            if (a.DestX(j + 4) > a.DestX(j + 3)) {
                const double sum = 9.0 * a.DestY(j - 1) - a.DestY(j - 3) + 9.0 * a.DestY(j + 1) -
                                   a.DestY(j + 3);
                a.SetDestY(j, TruncateToInt32(sum * 0.0625));
            } else {
                const std::int32_t sum = WrapAdd(a.DestY(j - 1), a.DestY(j + 1));
                a.SetDestY(j, TruncateToInt32(static_cast<double>(sum) * 0.5));
            }
        }
        j += 2;
        if (!(endX > a.ScannedDestX(j))) break;
    }
}

// The caller's arrays for one pass (indices already proven inside).
struct CallerArrays {
    const double* sx;
    const std::int32_t* sy;
    double* dx;
    std::int32_t* dy;

    double SourceX(Index i) const { return sx[i]; }
    double ScannedSourceX(Index i) const { return sx[i]; }
    std::int32_t SourceY(Index i) const { return sy[i]; }
    double DestX(Index i) const { return dx[i]; }
    double ScannedDestX(Index i) const { return dx[i]; }
    std::int32_t DestY(Index i) const { return dy[i]; }
    void SetDestX(Index i, double v) const { dx[i] = v; }
    void SetDestY(Index i, std::int32_t v) const { dy[i] = v; }
    static constexpr bool Refused() { return false; }
    static void StoppedAtBound(double) {}
    static void CopiedUpTo(Index) {}
};

// The abscissae of the arrays as the passes leave them, from the input
// alone, at indices below outCount. Level 0 is inX as given, 1 outX after
// pass 1, 2 inX after pass 2, 3 outX after pass 3. A pass writes places
// 0..2c+1 of its destination; the rest keeps what the array held before:
// the cleared 0.0 of outX, the caller's inX, or pass 1's outX.
class AbscissaModel {
public:
    explicit AbscissaModel(const double* inX) : inX_(inX) {}
    void SetCopied(int pass, Index c) { copied_[pass - 1] = c; }
    double At(int level, Index i) const {
        if (level == 0) return inX_[i];
        if (i <= 2 * copied_[level - 1] + 1) {
            const Index c = i / 2;
            if (i % 2 == 0) return At(level - 1, c);
            return (At(level - 1, c + 1) + At(level - 1, c)) * 0.5;
        }
        return level == 1 ? 0.0 : At(level - 2, i);
    }

private:
    const double* inX_;
    Index copied_[3] = {-1, -1, -1};
};

// The dry run of one pass: the scans read the model and nothing is
// written. A scan that stops at index outCount - 1 without meeting endX or
// a 0.0 abscissa there, or that would read beyond it, refuses the request.
class DryRun {
public:
    DryRun(AbscissaModel& model, int pass, Index outCount)
        : model_(model), pass_(pass), outCount_(outCount) {}

    double ScannedSourceX(Index i) { return Scan(pass_ - 1, i); }
    double ScannedDestX(Index i) { return Scan(pass_, i); }
    // Reads and writes that do not steer the scans.
    static double SourceX(Index) { return 0.0; }
    static double DestX(Index) { return 0.0; }
    static std::int32_t SourceY(Index) { return 0; }
    static std::int32_t DestY(Index) { return 0; }
    static void SetDestX(Index, double) {}
    static void SetDestY(Index, std::int32_t) {}
    bool Refused() const { return refused_; }
    void StoppedAtBound(double abscissa) {
        if (abscissa != 0.0) refused_ = true;
    }
    void CopiedUpTo(Index c) { model_.SetCopied(pass_, c); }

private:
    double Scan(int level, Index i) {
        if (i >= outCount_) refused_ = true;
        return refused_ ? 0.0 : model_.At(level, i);
    }
    AbscissaModel& model_;
    int pass_;
    Index outCount_;
    bool refused_ = false;
};

bool ScansMeetTheirEnd(const SplineRequest& r) {
    AbscissaModel model(r.inX);
    for (int pass = 1; pass <= 3; ++pass) {
        DryRun dry(model, pass, r.outCount);
        MidpointPass(dry, r.endX, r.outCount);
        if (dry.Refused()) return false;
    }
    return true;
}

}  // namespace

std::int32_t MidpointInterpolation(SplineRequest& request) {
    if (!ScansMeetTheirEnd(request)) return E_INVALIDARG;
    ClearSplineOutputs(request);
    const CallerArrays passes[3] = {{request.inX, request.inY, request.outX, request.outY},
                                    {request.outX, request.outY, request.inX, request.inY},
                                    {request.inX, request.inY, request.outX, request.outY}};
    for (const CallerArrays& arrays : passes) {
        CallerArrays a = arrays;
        MidpointPass(a, request.endX, request.outCount);
    }
    return S_OK;
}

}  // namespace lumitra::numeric
