// The records that cross the interface must have exactly the host's layout
// on 32-bit targets; the build fails here otherwise.
#include <cstddef>

#include "lumitra/lumitra.h"

static_assert(sizeof(CalibrationRecord) == 16);
static_assert(sizeof(WavelengthCheckResult) == 296);
static_assert(offsetof(WavelengthCheckResult, referenceWavelength) == 8);
static_assert(offsetof(WavelengthCheckResult, withinTolerance) == 264);
static_assert(sizeof(UserCheckList) == 244 && sizeof(UserCheckLine) == 60);
static_assert(sizeof(LambdaList) == 164 && offsetof(LambdaList, list1) == 84);

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(SplineRequest) == 48);
static_assert(offsetof(SplineRequest, inX) == 4 && offsetof(SplineRequest, inY) == 8);
static_assert(offsetof(SplineRequest, outX) == 12 && offsetof(SplineRequest, outY) == 16);
static_assert(offsetof(SplineRequest, startX) == 24 && offsetof(SplineRequest, endX) == 32);
static_assert(offsetof(SplineRequest, outCount) == 40 && offsetof(SplineRequest, subSteps) == 44);
static_assert(sizeof(BGSubtractionRequest) == 20);
static_assert(offsetof(BGSubtractionRequest, dataSource) == 12);
static_assert(offsetof(BGSubtractionRequest, selectorB) == 16);
static_assert(offsetof(BGSubtractionRequest, selectorA) == 18);
static_assert(sizeof(UVSpecData) == 48);
static_assert(offsetof(UVSpecData, maxValue) == 16 && offsetof(UVSpecData, minValue) == 24);
static_assert(offsetof(UVSpecData, values) == 32 && offsetof(UVSpecData, wavelengths) == 36);
static_assert(offsetof(UVSpecData, reserved1) == 40 && offsetof(UVSpecData, reserved2) == 44);
static_assert(offsetof(ISpectrumSourceVtbl, GetSpectrum) == 48);
#endif
