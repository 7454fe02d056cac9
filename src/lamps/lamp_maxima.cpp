#include "lamps/lamp_maxima.h"

#include <array>

#include "lumitra/lumitra.h"
#include "module/task_array.h"
#include "numeric/cubic_spline.h"
#include "numeric/truncation.h"
#include "optics/display_grid.h"

namespace lumitra::lamps {
namespace {

using optics::kDisplayGridCount;
using optics::kDisplayGridFirst;
using optics::kDisplayGridStep;

// Keeps the first strictly greater value: ties keep the lowest wavelength.
void TakeIfGreater(double value, std::int32_t wavelength, LampMaxima& maxima) noexcept {
    if (value > maxima.maximum) {
        maxima.maximum = value;
        maxima.maximumWavelength = wavelength;
    }
}

}  // namespace

LampMaxima DisplayGridMaxima(const LampBand& band, const double* spectrum) noexcept {
    LampMaxima maxima;
    maxima.reference = spectrum[band.referenceIndex];
    for (std::int32_t i = band.firstIndex; i <= band.lastIndex; ++i)
        TakeIfGreater(spectrum[i], kDisplayGridFirst + kDisplayGridStep * i, maxima);
    return maxima;
}

std::int32_t ElementMaxima(const LampBand& band, const std::int32_t* wavelengths, std::int32_t n,
                           const double* spectrum, LampMaxima* maxima) noexcept {
    numeric::CCubicSpline spline;
    auto resampled = module::TaskArray<std::int32_t>::Zeroed(kDisplayGridCount);
    auto abscissas = module::TaskArray<std::int32_t>::Zeroed(kDisplayGridCount);
    if (!resampled || !abscissas) return E_OUTOFMEMORY;

    // The spline runs through the spectrum truncated to whole counts.
    std::array<std::int32_t, kMaxElementKnots> knots{};
    for (std::int32_t i = 0; i < n; ++i) knots[static_cast<std::size_t>(i)] =
        numeric::TruncateToInt32(spectrum[i]);
    std::int32_t status = spline.Create(n, wavelengths, knots.data(), 0.0, 0.0);
    if (status < 0) return status;
    status = spline.EvaluateRounded(kDisplayGridCount, kDisplayGridFirst, kDisplayGridStep,
                                    resampled.get(), abscissas.get());
    if (status < 0) return status;

    LampMaxima result;
    result.reference = static_cast<double>(resampled[static_cast<std::size_t>(band.referenceIndex)]);
    // The maximum comes from the measured points themselves, not the spline.
    for (std::int32_t i = 0; i < n; ++i)
        if (wavelengths[i] >= band.firstWavelength && wavelengths[i] <= band.lastWavelength)
            TakeIfGreater(spectrum[i], wavelengths[i], result);
    *maxima = result;
    return status;
}

}  // namespace lumitra::lamps
