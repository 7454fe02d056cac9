// Interpolating cubic spline through knots with integer abscissas,
// evaluated on evenly spaced integer grids.
//
// The lamp diagnostics and the user-defined wavelength check resample
// element spectra onto wavelength grids in 0.01 nm with it, both end slopes
// clamped to zero. Use: Create, then any number of Evaluate or
// EvaluateRounded calls; a further Create replaces the whole spline.
// Statuses are HRESULT values: S_OK, E_INVALIDARG, E_OUTOFMEMORY, E_FAIL.
// The arrays live on the ordinary heap and belong to the object. One thread
// at a time: Evaluate updates the interval cache.
#pragma once

#include <cstdint>

#include "numeric/runtime_object.h"

namespace lumitra::numeric {

// The fewest knots a spline is set up with.
inline constexpr std::int32_t kCubicSplineMinKnots = 3;

class CCubicSpline : public CRuntimeObject {
public:
    CCubicSpline() noexcept;
    ~CCubicSpline() override;
    CCubicSpline(const CCubicSpline&) = delete;
    CCubicSpline& operator=(const CCubicSpline&) = delete;

    const RuntimeClass* GetRuntimeClass() const noexcept override;
    static CRuntimeObject* CreateObject() noexcept;
    static const RuntimeClass classCCubicSpline;

    // Sets up the spline through n knots (n >= 3, x strictly increasing).
    // A slope above 9.9e29 selects a natural end (zero second derivative).
    // y may be null: the knots are then set but the spline cannot be
    // evaluated. E_INVALIDARG: x null, nothing changed. Any other failure
    // leaves the object empty.
    std::int32_t Create(std::int32_t n, const std::int32_t* x, const double* y, double yp1,
                        double ypn);
    std::int32_t Create(std::int32_t n, const std::int32_t* x, const std::int32_t* y, double yp1,
                        double ypn);

    // values[i] (and abscissas[i] unless null) for t = start + i*step,
    // i < count, in wrapping 32-bit arithmetic. Points outside [x[0], x[n-1])
    // give 0.0. E_INVALIDARG: count < 1 or values null. E_FAIL: no solved
    // spline. E_OUTOFMEMORY: the interval cache could not be rebuilt; no
    // grid is cached then, so the next call rebuilds it.
    std::int32_t Evaluate(std::int32_t count, std::int32_t start, std::int32_t step,
                          double* values, std::int32_t* abscissas);
    // The same, each value + 0.5 truncated toward zero. E_INVALIDARG only
    // for count < 1; values is not tested.
    std::int32_t EvaluateRounded(std::int32_t count, std::int32_t start, std::int32_t step,
                                 std::int32_t* values, std::int32_t* abscissas);

    // Frees every array and empties the object.
    void Release() noexcept;

    // The steps of Create, for callers that set up a spline in parts.
    std::int32_t Allocate(std::int32_t n);
    std::int32_t SetAbscissas(const std::int32_t* x);
    std::int32_t SolveSecondDerivatives(const double* y, double yp1, double ypn);
    std::int32_t SolveSecondDerivatives(const std::int32_t* y, double yp1, double ypn);

    // Read access for diagnostics: knots and second derivatives (null when
    // not set up).
    std::int32_t KnotCount() const noexcept { return m_nCount; }
    const double* SecondDerivatives() const noexcept { return m_pY2; }

private:
    std::int32_t RebuildIntervalCache(std::int32_t count, std::int32_t start, std::int32_t step);
    void FillAscendingIntervals(std::int32_t count, std::int32_t start, std::int32_t step) noexcept;
    void WalkIntervals(std::int32_t count, std::int32_t start, std::int32_t step) noexcept;

    std::int32_t m_bInitialized;  // 1 once Allocate succeeded
    std::int32_t m_nCount;        // knots n
    std::int32_t* m_pX;           // knot abscissas, strictly increasing
    double* m_pY;                 // knot values
    double* m_pSig;               // (x[i]-x[i-1]) / (x[i+1]-x[i-1]), 0 at both ends
    double* m_pU;                 // elimination right-hand sides; present once solved
    double* m_pY2;                // second derivatives at the knots
    std::int32_t m_nCacheCount;   // grid points whose intervals are cached (0: none)
    std::int32_t m_nCacheStart;
    std::int32_t m_nCacheStep;
    std::int32_t* m_pCacheIndex;  // upper knot of each point's interval, 0 outside
};

}  // namespace lumitra::numeric
