// The numerical kernels for the host: spline interpolation onto a finer
// grid and the low-frequency filter. The calibration and the checks call
// the same routines directly.
// Exports check their pointers, enumerations and sizes here, at the front
// door; the domain code behind them checks only what depends on the data.
#include "lumitra/lumitra.h"
#include "numeric/low_frequency_filter.h"
#include "numeric/spline_interpolation.h"

extern "C" int32_t LUMITRA_CALL Lumitra_SplineInterpolation(SplineRequest* request) {
    if (request == nullptr) return E_INVALIDARG;
    return lumitra::numeric::SplineInterpolation(*request);
}

// The one export with the caller-cleans convention.
extern "C" int32_t LUMITRA_CDECL Lumitra_FiltrateLowFrequency(double* signal, int32_t count,
                                                             uint32_t halfWidth) {
    return lumitra::numeric::FiltrateLowFrequency(signal, count, halfWidth);
}
