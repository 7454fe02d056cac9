// Refinement of a sampled series onto a finer grid, as the host requests it
// with a SplineRequest (abscissae as doubles, ordinates as 32-bit integers).
//
// Sub-step spline mode (mode != 0): a cubic spline with zero slope at both
// ends through the ordinates of a range of samples, evaluated subSteps
// times per sample interval; the abscissae are refined linearly. The fine
// grid of the calibration (64 sub-steps per element) is made this way.
// Midpoint mode (mode 0): three passes that each insert the middle of every
// interval, the new ordinates from a four-point rule.
#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::numeric {

// Limits of the sub-step spline mode, set by its fixed working blocks.
inline constexpr std::int32_t kSplineMaxKnots = 1025;
inline constexpr std::int32_t kSplineMaxPoints = 65536;

// Either mode. Requests outside the routine's limits (see lumitra.h) give
// E_INVALIDARG with nothing written. Otherwise outX/outY[0..outCount-1] are
// cleared first; E_OUTOFMEMORY (sub-step mode only) leaves them cleared.
// The input and output arrays must not overlap.
std::int32_t SplineInterpolation(SplineRequest& request);

// The two modes on their own, with the same statuses and outputs.
std::int32_t SubStepSplineInterpolation(SplineRequest& request);
std::int32_t MidpointInterpolation(SplineRequest& request);

// The first step of both modes: outX/outY[0..outCount-1] = 0.
void ClearSplineOutputs(const SplineRequest& request);

}  // namespace lumitra::numeric
