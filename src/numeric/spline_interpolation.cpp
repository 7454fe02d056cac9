#include "numeric/spline_interpolation.h"

#include <cstddef>
#include <cstring>

namespace lumitra::numeric {

std::int32_t SplineInterpolation(SplineRequest& request) {
    return request.mode == 0 ? MidpointInterpolation(request)
                             : SubStepSplineInterpolation(request);
}

void ClearSplineOutputs(const SplineRequest& request) {
    if (request.outCount <= 0) return;
    const auto count = static_cast<std::size_t>(request.outCount);
    std::memset(request.outX, 0, count * sizeof(double));
    std::memset(request.outY, 0, count * sizeof(std::int32_t));
}

}  // namespace lumitra::numeric
