#include "numeric/fine_grid.h"

#include <cstddef>

#include "module/task_array.h"
#include "numeric/spline_interpolation.h"
#include "numeric/truncation.h"

namespace lumitra::numeric {

std::int32_t ResampleToFineGrid(std::int16_t count, const double* spectrum, double* fine) {
    using module::TaskArray;
    const auto slots = static_cast<std::size_t>(count) * kFineSteps + kFineSteps;
    // Four arrays of eight-byte slots: knot abscissae and ordinates, output
    // abscissae and ordinates (the integer arrays use the first half).
    auto knotX = TaskArray<double>::Zeroed(slots);
    if (!knotX) return E_OUTOFMEMORY;
    auto knotY = TaskArray<std::int32_t>::Zeroed(2 * slots);
    if (!knotY) return E_OUTOFMEMORY;
    auto outX = TaskArray<double>::Zeroed(slots);
    if (!outX) return E_OUTOFMEMORY;
    auto outY = TaskArray<std::int32_t>::Zeroed(2 * slots);
    if (!outY) return E_OUTOFMEMORY;

    for (std::int32_t i = 0; i < count; ++i) {
        knotX[static_cast<std::size_t>(i)] = i + 1;
        knotY[static_cast<std::size_t>(i)] = TruncateToInt32(spectrum[i] * kFineScale);
    }

    SplineRequest request{};
    request.mode = 1;
    request.inX = knotX.get();
    request.inY = knotY.get();
    request.outX = outX.get();
    request.outY = outY.get();
    request.startX = 1.0;
    request.endX = count;
    request.outCount = count * kFineSteps + 1;
    request.subSteps = kFineSteps;
    const std::int32_t status = SplineInterpolation(request);
    if (status != S_OK) return status;

    for (std::size_t k = 0; k < slots; ++k) fine[k] = outY[k] / kFineScale;
    return S_OK;
}

}  // namespace lumitra::numeric
