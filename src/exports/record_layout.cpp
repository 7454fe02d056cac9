// The records that cross the interface must have exactly the host's layout:
// the 32-bit one, and on 64-bit targets (Linux and Windows alike) the same
// fields with 8-byte pointers. The build fails here otherwise.
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
#else
static_assert(sizeof(void*) == 8);
static_assert(sizeof(SplineRequest) == 72);
static_assert(offsetof(SplineRequest, inX) == 8 && offsetof(SplineRequest, inY) == 16);
static_assert(offsetof(SplineRequest, outX) == 24 && offsetof(SplineRequest, outY) == 32);
static_assert(offsetof(SplineRequest, startX) == 48 && offsetof(SplineRequest, endX) == 56);
static_assert(offsetof(SplineRequest, outCount) == 64 && offsetof(SplineRequest, subSteps) == 68);
static_assert(sizeof(BGSubtractionRequest) == 32);
static_assert(offsetof(BGSubtractionRequest, dataSource) == 16);
static_assert(offsetof(BGSubtractionRequest, selectorB) == 24);
static_assert(offsetof(BGSubtractionRequest, selectorA) == 26);
static_assert(sizeof(UVSpecData) == 56);
static_assert(offsetof(UVSpecData, maxValue) == 16 && offsetof(UVSpecData, minValue) == 24);
static_assert(offsetof(UVSpecData, values) == 32 && offsetof(UVSpecData, wavelengths) == 40);
static_assert(offsetof(UVSpecData, reserved1) == 48 && offsetof(UVSpecData, reserved2) == 52);
static_assert(offsetof(ISpectrumSourceVtbl, GetSpectrum) == 96);
#endif
