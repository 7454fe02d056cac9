#include "numeric/cubic_spline.h"

#include <cstddef>
#include <cstring>
#include <limits>

#include "lumitra/lumitra.h"
#include "module/task_allocator.h"
#include "numeric/truncation.h"
#include "numeric/wrapping_int.h"

namespace lumitra::numeric {
namespace {

using module::HeapAllocate;
using module::HeapFree;

// An array of n elements from the ordinary heap; null when its byte size
// does not fit the address space (so a 32-bit build never wraps it) or
// memory runs out.
template <typename T>
T* AllocateArray(std::int32_t n) noexcept {
    const unsigned long long bytes = static_cast<unsigned long long>(n) * sizeof(T);
    if (n < 0 || bytes > std::numeric_limits<std::size_t>::max()) return nullptr;
    return static_cast<T*>(HeapAllocate(static_cast<std::size_t>(bytes)));
}

template <typename T>
void FreeArray(T*& array) noexcept {
    HeapFree(array);
    array = nullptr;
}

// Above this end slope an end is natural (zero second derivative).
constexpr double kNaturalEndSlope = 9.9e29;

}  // namespace

const RuntimeClass CCubicSpline::classCCubicSpline = {
    "CCubicSpline", static_cast<std::int32_t>(sizeof(CCubicSpline)), 0xFFFF,
    &CCubicSpline::CreateObject, &CRuntimeObject::classCRuntimeObject};

CRuntimeObject* CCubicSpline::CreateObject() noexcept { return new CCubicSpline; }

const RuntimeClass* CCubicSpline::GetRuntimeClass() const noexcept { return &classCCubicSpline; }

CCubicSpline::CCubicSpline() noexcept
    : m_bInitialized(0),
      m_nCount(0),
      m_pX(nullptr),
      m_pY(nullptr),
      m_pSig(nullptr),
      m_pU(nullptr),
      m_pY2(nullptr),
      m_nCacheCount(0),
      m_nCacheStart(0),
      m_nCacheStep(0),
      m_pCacheIndex(nullptr) {}

CCubicSpline::~CCubicSpline() { Release(); }

void CCubicSpline::Release() noexcept {
    FreeArray(m_pX);
    FreeArray(m_pY);
    FreeArray(m_pSig);
    FreeArray(m_pU);
    FreeArray(m_pY2);
    FreeArray(m_pCacheIndex);
    m_nCount = 0;
    m_nCacheCount = 0;
    m_bInitialized = 0;
}

namespace {
// Set-up shared by both value types: the knots, then (when values are
// given) the second derivatives; any failure leaves the spline empty.
template <typename Value>
std::int32_t CreateSpline(CCubicSpline& spline, std::int32_t n, const std::int32_t* x,
                          const Value* y, double yp1, double ypn) {
    if (x == nullptr) return E_INVALIDARG;
    spline.Release();
    std::int32_t status = spline.Allocate(n);
    if (status == S_OK) status = spline.SetAbscissas(x);
    if (status == S_OK && y != nullptr) status = spline.SolveSecondDerivatives(y, yp1, ypn);
    if (status != S_OK) spline.Release();
    return status;
}
}  // namespace

std::int32_t CCubicSpline::Create(std::int32_t n, const std::int32_t* x, const double* y,
                                  double yp1, double ypn) {
    return CreateSpline(*this, n, x, y, yp1, ypn);
}

std::int32_t CCubicSpline::Create(std::int32_t n, const std::int32_t* x, const std::int32_t* y,
                                  double yp1, double ypn) {
    return CreateSpline(*this, n, x, y, yp1, ypn);
}

std::int32_t CCubicSpline::Allocate(std::int32_t n) {
    if (n < kCubicSplineMinKnots || m_bInitialized == 1) return E_FAIL;
    // All three are requested before any is checked; the value array is
    // not checked here (solving reports its absence).
    m_pX = AllocateArray<std::int32_t>(n);
    m_pY = AllocateArray<double>(n);
    m_pY2 = AllocateArray<double>(n);
    if (m_pX == nullptr || m_pY2 == nullptr) {
        Release();
        return E_OUTOFMEMORY;
    }
    m_bInitialized = 1;
    m_nCount = n;
    std::memset(m_pX, 0, static_cast<std::size_t>(n) * sizeof(std::int32_t));
    std::memset(m_pY2, 0, static_cast<std::size_t>(n) * sizeof(double));
    return S_OK;
}

std::int32_t CCubicSpline::SetAbscissas(const std::int32_t* x) {
    if (x == nullptr) return E_INVALIDARG;
    const std::int32_t n = m_nCount;
    if (m_pSig == nullptr) {
        m_pSig = AllocateArray<double>(n);
        if (m_pSig == nullptr) {
            Release();
            return E_OUTOFMEMORY;
        }
    }
    std::memset(m_pSig, 0, static_cast<std::size_t>(n) * sizeof(double));
    if (m_pX == nullptr) return E_FAIL;
    std::memcpy(m_pX, x, static_cast<std::size_t>(n) * sizeof(std::int32_t));
    for (std::int32_t i = 1; i <= n - 2; ++i) {
        if (x[i] <= x[i - 1]) return E_FAIL;
        m_pSig[i] = static_cast<double>(WrapSub(x[i], x[i - 1])) /
                    static_cast<double>(WrapSub(x[i + 1], x[i - 1]));
    }
    if (x[n - 1] <= x[n - 2]) return E_FAIL;
    return S_OK;
}

std::int32_t CCubicSpline::SolveSecondDerivatives(const std::int32_t* y, double yp1, double ypn) {
    if (y == nullptr) return E_INVALIDARG;
    double* values = AllocateArray<double>(m_nCount);
    if (values == nullptr) return E_OUTOFMEMORY;
    for (std::int32_t i = 0; i < m_nCount; ++i) values[i] = static_cast<double>(y[i]);
    const std::int32_t status = SolveSecondDerivatives(values, yp1, ypn);
    FreeArray(values);
    return status;
}

std::int32_t CCubicSpline::SolveSecondDerivatives(const double* y, double yp1, double ypn) {
    if (y == nullptr) return E_INVALIDARG;
    if (m_pY2 == nullptr || m_pX == nullptr || m_pY == nullptr || m_pSig == nullptr) return E_FAIL;
    const std::int32_t n = m_nCount;
    if (m_pU == nullptr) {
        m_pU = AllocateArray<double>(n);
        if (m_pU == nullptr) return E_OUTOFMEMORY;
    }
    std::memcpy(m_pY, y, static_cast<std::size_t>(n) * sizeof(double));

    const std::int32_t* x = m_pX;
    const double* v = m_pY;
    const double* sig = m_pSig;
    double* u = m_pU;
    double* y2 = m_pY2;
    auto width = [x](std::int32_t i) { return static_cast<double>(WrapSub(x[i + 1], x[i])); };

    if (yp1 > kNaturalEndSlope) {
        y2[0] = 0.0;
        u[0] = 0.0;
    } else {
        y2[0] = -0.5;
        u[0] = ((v[1] - v[0]) / width(0) - yp1) * (3.0 / width(0));
    }
    for (std::int32_t i = 1; i <= n - 2; ++i) {
        const double p = y2[i - 1] * sig[i] + 2.0;
        y2[i] = (sig[i] - 1.0) / p;
        const double d = (v[i + 1] - v[i]) / width(i) - (v[i] - v[i - 1]) / width(i - 1);
        u[i] = (d * 6.0 / static_cast<double>(WrapSub(x[i + 1], x[i - 1])) - sig[i] * u[i - 1]) / p;
    }
    double qn = 0.0;
    double un = 0.0;
    if (!(ypn > kNaturalEndSlope)) {
        qn = 0.5;
        un = (ypn - (v[n - 1] - v[n - 2]) / width(n - 2)) * (3.0 / width(n - 2));
    }
    y2[n - 1] = (un - qn * u[n - 2]) / (qn * y2[n - 2] + 1.0);
    for (std::int32_t k = n - 2; k >= 0; --k) y2[k] = y2[k] * y2[k + 1] + u[k];
    return S_OK;
}

std::int32_t CCubicSpline::RebuildIntervalCache(std::int32_t count, std::int32_t start,
                                                std::int32_t step) {
    // The key goes with the old array, so a failed rebuild is never
    // mistaken for a cache of this grid.
    FreeArray(m_pCacheIndex);
    m_nCacheCount = 0;
    m_pCacheIndex = AllocateArray<std::int32_t>(count);
    if (m_pCacheIndex == nullptr) return E_OUTOFMEMORY;
    m_nCacheCount = count;
    m_nCacheStart = start;
    m_nCacheStep = step;
    const long long end = start + static_cast<long long>(count - 1) * step;
    if (step > 0 && end <= INT32_MAX)
        FillAscendingIntervals(count, start, step);
    else
        WalkIntervals(count, start, step);
    return S_OK;
}

void CCubicSpline::FillAscendingIntervals(std::int32_t count, std::int32_t start,
                                          std::int32_t step) noexcept {
    // On a rising grid that does not wrap, the points of interval k are
    // those from the first at or past x[k] to the last before x[k+1].
    auto firstAtOrPast = [=](std::int32_t knot) -> std::int32_t {
        const long long distance = static_cast<long long>(knot) - start;
        if (distance <= 0) return 0;
        const long long i = (distance + step - 1) / step;
        return i < count ? static_cast<std::int32_t>(i) : count;
    };
    std::int32_t* index = m_pCacheIndex;
    std::int32_t i = firstAtOrPast(m_pX[0]);
    for (std::int32_t p = 0; p < i; ++p) index[p] = 0;
    for (std::int32_t k = 0; k + 1 < m_nCount; ++k) {
        const std::int32_t end = firstAtOrPast(m_pX[k + 1]);
        for (; i < end; ++i) index[i] = k + 1;
    }
    for (; i < count; ++i) index[i] = 0;  // at the last knot and beyond
}

void CCubicSpline::WalkIntervals(std::int32_t count, std::int32_t start,
                                 std::int32_t step) noexcept {
    std::int32_t* index = m_pCacheIndex;
    std::memset(index, 0, static_cast<std::size_t>(count) * sizeof(std::int32_t));
    const std::int32_t* x = m_pX;
    const std::int32_t last = m_nCount - 1;
    std::int32_t i = 0;
    while (i < count && WrapAdd(start, WrapMul(i, step)) < x[0]) ++i;
    // The knot pointer only moves forward; a point it cannot reach ends
    // the search, and every later point stays outside.
    std::int32_t k = 0;
    for (; i < count; ++i) {
        const std::int32_t t = WrapAdd(start, WrapMul(i, step));
        if (t > x[last]) break;
        while (k < last && !(x[k] <= t && t < x[k + 1])) ++k;
        if (k == last) break;
        index[i] = k + 1;
    }
}

std::int32_t CCubicSpline::Evaluate(std::int32_t count, std::int32_t start, std::int32_t step,
                                    double* values, std::int32_t* abscissas) {
    if (count < 1 || values == nullptr) return E_INVALIDARG;
    if (m_pU == nullptr) return E_FAIL;
    if (count != m_nCacheCount || start != m_nCacheStart || step != m_nCacheStep) {
        const std::int32_t status = RebuildIntervalCache(count, start, step);
        if (status != S_OK) return status;
    }
    if (abscissas != nullptr)
        for (std::int32_t i = 0; i < count; ++i) abscissas[i] = WrapAdd(start, WrapMul(i, step));

    // Consecutive points share their interval; its constants are loaded
    // once per run of points.
    const std::int32_t* index = m_pCacheIndex;
    std::int32_t i = 0;
    while (i < count) {
        const std::int32_t hi = index[i];
        std::int32_t end = i + 1;
        while (end < count && index[end] == hi) ++end;
        if (hi == 0) {
            for (; i < end; ++i) values[i] = 0.0;
            continue;
        }
        const std::int32_t lo = hi - 1;
        const std::int32_t xLo = m_pX[lo];
        const std::int32_t xHi = m_pX[hi];
        const double yLo = m_pY[lo];
        const double yHi = m_pY[hi];
        const double y2Lo = m_pY2[lo];
        const double y2Hi = m_pY2[hi];
        const double h = static_cast<double>(WrapSub(xHi, xLo));
        const double hh = h * h;
        for (; i < end; ++i) {
            const std::int32_t t = WrapAdd(start, WrapMul(i, step));
            const double a = static_cast<double>(WrapSub(xHi, t)) / h;
            const double b = static_cast<double>(WrapSub(t, xLo)) / h;
            values[i] =
                (b * yHi + a * yLo) + hh * ((a * a * a - a) * y2Lo + (b * b * b - b) * y2Hi) / 6.0;
        }
    }
    return S_OK;
}

std::int32_t CCubicSpline::EvaluateRounded(std::int32_t count, std::int32_t start,
                                           std::int32_t step, std::int32_t* values,
                                           std::int32_t* abscissas) {
    if (count < 1) return E_INVALIDARG;
    double* exact = AllocateArray<double>(count);
    if (exact == nullptr) return E_OUTOFMEMORY;
    const std::int32_t status = Evaluate(count, start, step, exact, abscissas);
    if (status == S_OK)
        for (std::int32_t i = 0; i < count; ++i) values[i] = TruncateToInt32(exact[i] + 0.5);
    FreeArray(exact);
    return status;
}

}  // namespace lumitra::numeric
