// The spline interpolation one plain step after another: the sub-step
// spline with its interval search from the first knot for every point, and
// the three midpoint passes, each scan reading its array afresh. It works
// on tracked arrays that note every index touched, so that a test can tell
// whether a request stays within the arrays it gave. The tests and
// benchmarks compare the library with it bit for bit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace lumitra::test {

// An array with room to spare that notes the highest index touched; an
// index outside it reads as 0 and is noted too.
template <typename T>
class TrackedArray {
public:
    explicit TrackedArray(std::vector<T> values) : data_(std::move(values)) {}
    T& operator[](int64_t i) {
        highest_ = std::max(highest_, i);
        if (i < 0 || i >= int64_t(data_.size())) {
            outside_ = true;
            spare_ = T();
            return spare_;
        }
        return data_[size_t(i)];
    }
    int64_t Highest() const { return highest_; }
    bool TouchedOutside() const { return outside_; }
    std::vector<T>& Data() { return data_; }
    void Forget() { highest_ = -1; }

private:
    std::vector<T> data_;
    int64_t highest_ = -1;
    bool outside_ = false;
    T spare_{};
};

// The caller's array as the steps use it, nothing noted (benchmarks).
template <typename T>
class PlainArray {
public:
    explicit PlainArray(T* values) : data_(values) {}
    T& operator[](int64_t i) const { return data_[i]; }

private:
    T* data_;
};

template <template <typename> class Array>
struct LiteralRequestOf {
    int32_t mode;
    Array<double> inX;
    Array<int32_t> inY;
    Array<double> outX;
    Array<int32_t> outY;
    double startX, endX;
    int32_t outCount, subSteps;
};
using LiteralRequest = LiteralRequestOf<TrackedArray>;

inline int32_t LiteralTruncate(double v) {
    return (v > -2147483649.0 && v < 2147483648.0) ? int32_t(v) : INT32_MIN;
}
inline int32_t LiteralWrapAdd(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }

// Sub-step spline mode. Returns false where the steps are undefined
// (sub-steps <= 0, fewer than two covered samples or knots, more knots or
// points than the working blocks hold); the caller then compares nothing.
template <class Request>
bool LiteralSubStepSpline(Request& r) {
    const int32_t N = r.outCount, F = r.subSteps;
    if (F <= 0) return false;
    for (int32_t o = 0; o < N; ++o) r.outX[o] = 0.0, r.outY[o] = 0;
    std::vector<double> evalX(65536), evalY(65536);
    std::vector<std::vector<double>> block(8, std::vector<double>(1026));
    auto &a = block[0], &b = block[1], &c = block[2], &d = block[3], &x = block[4], &e = block[5],
         &h = block[6], &delta = block[7];
    const int32_t q = N / F;
    if (q < 2) return false;
    int32_t i0 = 0;
    if (!(r.startX <= r.inX[0])) {
        int32_t i = 0;
        for (;;) {
            if (i == N - 1 || r.inX[i] == 0.0) break;
            ++i;
            if (r.startX <= r.inX[i]) break;
        }
        i0 = i == 0 ? 0 : i - 1;
    }
    int32_t i1 = i0;
    while (r.endX > r.inX[i1]) {
        if (i1 == N - 1 || r.inX[i1] == 0.0) break;
        i1 = i1 + 1;
    }
    // Refused: the scan stopped at index outCount - 1 without meeting endX
    // or a 0.0 abscissa.
    if (i1 == N - 1 && r.endX > r.inX[i1] && r.inX[i1] != 0.0) return false;
    const int32_t m = i1 - i0 + 1;
    if (m < 2 || m > 1025) return false;
    for (int32_t k = 1; k <= m; ++k) x[k] = k - 1, a[k] = double(r.inY[i0 + k - 1]);
    b[1] = b[m] = 0.0, e[1] = 1.0, h[1] = 0.0;
    for (int32_t k = 2; k <= m; ++k) h[k] = x[k] - x[k - 1], delta[k] = (a[k] - a[k - 1]) / h[k];
    for (int32_t k = 2; k <= m - 1; ++k)
        b[k] = 3.0 * (delta[k] * h[k + 1] + delta[k + 1] * h[k]), e[k] = 2.0 * (h[k] + h[k + 1]);
    for (int32_t k = 2; k <= m - 1; ++k) {
        const double w = h[k + 1] / e[k - 1];
        e[k] = e[k] - w * h[k - 1];
        b[k] = b[k] - w * b[k - 1];
    }
    for (int32_t k = m - 1; k >= 2; --k) b[k] = (b[k] - h[k] * b[k + 1]) / e[k];
    for (int32_t k = 1; k <= m - 1; ++k) {
        const double t = b[k] + b[k + 1] - 2.0 * delta[k + 1];
        c[k] = (delta[k + 1] - b[k] - t) / h[k + 1];
        d[k] = t / (h[k + 1] * h[k + 1]);
    }
    const double g = 1.0 / F;
    const double nd = double(m) / g;
    if (!(nd < 65536.0)) return false;
    const int32_t n = int32_t(nd);
    for (int32_t j = 0; j <= n; ++j) evalX[j] = j * g + x[1];
    for (int32_t j = 0; j <= n; ++j) {
        const double u = evalX[j];
        int32_t k = 1;
        if (!(u < x[1])) {
            k = m - 1;
            for (int32_t kk = m - 1; kk >= 1; --kk)
                if (x[kk + 1] > u) k = kk;  // the smallest such kk
        }
        const double rr = u - x[k];
        evalY[j] = ((d[k] * rr + c[k]) * rr + b[k]) * rr + a[k];
    }
    for (int32_t rr = 0; rr <= q - 2; ++rr)
        for (int32_t s = 0; s < F; ++s)
            r.outX[int64_t(rr) * F + s] = r.inX[rr] + ((r.inX[rr + 1] - r.inX[rr]) * s) / F;
    const double dd = (r.inX[q - 1] - r.inX[q - 2]) / F;
    double v = r.inX[q - 1];
    for (int32_t s = 0; s < F; ++s) r.outX[int64_t(q - 1) * F + s] = v, v = v + dd;
    r.outX[int64_t(q) * F] = v;
    for (int32_t j = 0; j <= n; ++j) r.outY[int64_t(i0) * F + j] = LiteralTruncate(evalY[j]);
    return true;
}

// One midpoint pass from (sx, sy) to (dx, dy). `refused` is set where the
// library refuses the request: a scan that stops at index outCount - 1
// without meeting endX or a 0.0 abscissa there, or reads beyond it.
inline void LiteralMidpointPass(TrackedArray<double>& sx, TrackedArray<int32_t>& sy,
                                TrackedArray<double>& dx, TrackedArray<int32_t>& dy, double endX,
                                int32_t outCount, bool& refused) {
    const int64_t L = int64_t(outCount) - 1;
    auto scanned = [&](TrackedArray<double>& a, int64_t i) {
        if (i > L) refused = true;
        return a[i];
    };
    int64_t c = 0;
    if (endX > scanned(sx, 0)) {
        for (;;) {
            if (refused) return;
            if (c == L || sx[c] == 0.0) {
                if (c == L && sx[c] != 0.0) refused = true;
                break;
            }
            dx[2 * c] = sx[c];
            dx[2 * c + 1] = (sx[c + 1] + sx[c]) * 0.5;
            dy[2 * c] = sy[c];
            if (c == 1) dy[1] = LiteralWrapAdd(sy[0], sy[2]) / 2;
            c = c + 1;
            if (!(endX > scanned(sx, c))) break;
        }
    }
    if (refused) return;
    dx[2 * c] = sx[c];
    dx[2 * c + 1] = (sx[c + 1] + sx[c]) * 0.5;
    dy[2 * c] = sy[c];
    if (endX > scanned(dx, 3)) {
        int64_t j = 3;
        for (;;) {
            if (refused) return;
            if (j == L || dx[j] == 0.0) {
                if (j == L && dx[j] != 0.0) refused = true;
                break;
            }
            if (j < int64_t(outCount) - 3) {
                if (dx[j + 4] > dx[j + 3])
                    dy[j] = LiteralTruncate(
                        (9.0 * dy[j - 1] - dy[j - 3] + 9.0 * dy[j + 1] - dy[j + 3]) * 0.0625);
                else
                    dy[j] = LiteralTruncate(double(LiteralWrapAdd(dy[j - 1], dy[j + 1])) * 0.5);
            }
            j = j + 2;
            if (!(endX > scanned(dx, j))) break;
        }
    }
}

// False when the library refuses the request.
inline bool LiteralMidpoint(LiteralRequest& r) {
    for (int32_t o = 0; o < r.outCount; ++o) r.outX[o] = 0.0, r.outY[o] = 0;
    bool refused = false;
    LiteralMidpointPass(r.inX, r.inY, r.outX, r.outY, r.endX, r.outCount, refused);
    if (!refused) LiteralMidpointPass(r.outX, r.outY, r.inX, r.inY, r.endX, r.outCount, refused);
    if (!refused) LiteralMidpointPass(r.inX, r.inY, r.outX, r.outY, r.endX, r.outCount, refused);
    return !refused;
}

enum class LiteralOutcome { kRefused, kDone, kBeyondTheTestArrays };

// Runs the request as the library should: refused, or done with every
// index it touched inside the (generously sized) tracked arrays.
inline LiteralOutcome LiteralSplineInterpolation(LiteralRequest& r) {
    const bool done = r.mode != 0 ? LiteralSubStepSpline(r) : LiteralMidpoint(r);
    if (!done) return LiteralOutcome::kRefused;
    const bool outside = r.inX.TouchedOutside() || r.inY.TouchedOutside() ||
                         r.outX.TouchedOutside() || r.outY.TouchedOutside();
    return outside ? LiteralOutcome::kBeyondTheTestArrays : LiteralOutcome::kDone;
}

}  // namespace lumitra::test
