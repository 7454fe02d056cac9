#include "chromdata/uv_spectrum_record.h"

#include <cfloat>
#include <cstring>

#include "chromdata/background_subtraction.h"

namespace lumitra::chromdata {

std::int32_t BuildUVSpecData(const BGSubtractionRequest& request,
                             LumitraAllocateUVSpecDataFn allocate, UVSpecData* record) noexcept {
    std::memset(record, 0, sizeof *record);
    SubtractedSpectrum spectrum;
    std::int32_t status = SubtractBackground(request, &spectrum);
    if (status < 0) return status;
    // The subtracted arrays are freed with `spectrum` on every path.
    const auto& values = spectrum.values;
    const auto& wavelengths = spectrum.wavelengths;
    const std::int32_t count = spectrum.count;
    if (wavelengths[0] != count) return E_UNEXPECTED;
    status = allocate(record, count);
    if (status < 0) return status;

    record->time = request.spectrumTime;
    record->pointCount = count;
    record->firstWavelength = wavelengths[1];
    record->lastWavelength = wavelengths[static_cast<std::size_t>(count)];
    const auto points = static_cast<std::size_t>(count);
    if (points > 0) {
        std::memcpy(record->values, values.get(), points * sizeof(double));
        std::memcpy(record->wavelengths, wavelengths.get() + 1, points * sizeof(std::int32_t));
    }
    double maxValue = -DBL_MAX;
    double minValue = DBL_MAX;
    for (std::size_t i = 0; i < points; ++i) {
        if (values[i] > maxValue) maxValue = values[i];
        if (values[i] < minValue) minValue = values[i];
    }
    record->maxValue = maxValue;
    record->minValue = minValue;
    record->reserved1 = 0;
    record->reserved2 = 0;
    return status;
}

}  // namespace lumitra::chromdata
