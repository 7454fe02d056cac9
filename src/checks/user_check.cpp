#include "checks/user_check.h"

#include <cstdlib>
#include <limits>

#include "module/task_array.h"
#include "numeric/cubic_spline.h"
#include "numeric/truncation.h"
#include "optics/dispersion.h"
#include "optics/display_grid.h"

namespace lumitra::checks {
namespace {

using module::TaskArray;

// The search grid: every 0.01 nm from 190.00 to 800.00 nm.
constexpr std::int32_t kGridStart = optics::kDisplayGridFirst;
constexpr std::int32_t kGridCount = optics::kDisplayGridLast - kGridStart + 1;

// Evaluates one line on the resampled grid; E_FAIL when its window does
// not lie within the grid, E_INVALIDARG when it does but is empty (a
// negative half-window leaves no point to take).
std::int32_t EvaluateUserLine(UserCheckLine& line, const std::int32_t* values,
                              const std::int32_t* abscissas) {
    const std::int64_t j = static_cast<std::int64_t>(line.targetWavelength) - kGridStart;
    if (j < 0 || j >= kGridCount || abscissas[j] != line.targetWavelength) return E_FAIL;
    const std::int64_t lo = j - line.halfWindow;
    const std::int64_t hi = j + line.halfWindow;
    if (lo < 0 || hi >= kGridCount || lo >= kGridCount || hi < 0) return E_FAIL;
    if (line.halfWindow < 0) return E_INVALIDARG;

    const bool valley = line.findMinimum != 0;
    std::int32_t best = valley ? std::numeric_limits<std::int32_t>::max()
                               : std::numeric_limits<std::int32_t>::min();
    std::int64_t chosen = lo;  // ties, and a window of extreme values, keep the lowest wavelength
    for (std::int64_t k = lo; k <= hi; ++k) {
        if (valley ? values[k] < best : values[k] > best) {
            best = values[k];
            chosen = k;
        }
    }
    line.foundWavelength = abscissas[chosen];
    line.difference = line.targetWavelength - line.foundWavelength;
    line.passed = std::llabs(line.difference) <= line.allowedDeviation ? 1 : 0;
    return S_OK;
}

}  // namespace

std::int32_t DoUserDefinedWavelengthCheck(std::int32_t display,
                                          const CalibrationRecord& calibration, const double* first,
                                          const double* second, UserCheckList& lines) {
    const std::int32_t n = display == 0 ? LUMITRA_ELEMENT_COUNT : LUMITRA_DISPLAY_GRID_COUNT;

    numeric::CCubicSpline spline;
    auto values = TaskArray<std::int32_t>::Zeroed(kGridCount);
    if (!values) return E_OUTOFMEMORY;
    auto abscissas = TaskArray<std::int32_t>::Zeroed(kGridCount);
    if (!abscissas) return E_OUTOFMEMORY;
    auto knots = TaskArray<std::int32_t>::Zeroed(4 * static_cast<std::size_t>(n));
    if (!knots) return E_OUTOFMEMORY;
    std::int32_t* knotValues = knots.get();
    std::int32_t* knotAbscissas = knots.get() + n;

    const auto dispersion = optics::DecodeCalibration(calibration);
    if (display == 0) {
        std::int32_t count = 0;
        optics::BuildWavelengthTable(knotAbscissas, &count, dispersion.slope,
                                     dispersion.modelPosition, dispersion.measuredPosition, 1,
                                     LUMITRA_ELEMENT_COUNT, 1);
    } else {
        // Display-grid spectra: the knots are the grid's wavelengths.
        for (std::int32_t i = 0; i < n; ++i)
            knotAbscissas[i] = optics::kDisplayGridFirst + optics::kDisplayGridStep * i;
    }
    for (std::int32_t i = 0; i < n; ++i)
        knotValues[i] = numeric::TruncateToInt32(second[i] - first[i]);

    std::int32_t status = spline.Create(n, knotAbscissas, knotValues, 0.0, 0.0);
    if (status != S_OK) return status;
    status = spline.EvaluateRounded(kGridCount, kGridStart, 1, values.get(), abscissas.get());
    if (status != S_OK) return status;

    for (int i = 0; i < lines.checkCount; ++i) {
        status = EvaluateUserLine(lines.lines[i], values.get(), abscissas.get());
        if (status != S_OK) break;
    }
    return status;
}

}  // namespace lumitra::checks
