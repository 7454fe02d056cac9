#include "chromdata/background_subtraction.h"

#include <cstring>
#include <utility>

#include "module/task_allocator.h"
#include "module/task_array.h"
#include "numeric/wrapping_int.h"

namespace lumitra::chromdata {
namespace {

using module::TaskArray;

// One spectrum as the data source hands it over; its arrays are ours to
// free from then on, whatever happens next.
struct ReceivedSpectrum {
    double* values = nullptr;
    std::int32_t count = 0;
    std::int32_t* wavelengths = nullptr;

    ReceivedSpectrum() = default;
    ReceivedSpectrum(const ReceivedSpectrum&) = delete;
    ReceivedSpectrum& operator=(const ReceivedSpectrum&) = delete;
    ~ReceivedSpectrum() {
        module::TaskFree(values);
        module::TaskFree(wavelengths);
    }

    std::int32_t Fetch(const BGSubtractionRequest& request, std::int32_t time) noexcept {
        ISpectrumSource* source = request.dataSource;
        return source->lpVtbl->GetSpectrum(source, time, &values, &count, &wavelengths,
                                           static_cast<std::int32_t>(request.selectorA), 0,
                                           static_cast<std::int32_t>(request.selectorB), 1);
    }

    // The arrays its count needs: the point-count element and the values.
    bool HasArrays() const noexcept {
        return wavelengths != nullptr && (count == 0 || values != nullptr);
    }
};

// The three spectra share a count and the wavelengths of every point
// (element 0 of the wavelength arrays is not compared).
bool FitTogether(const ReceivedSpectrum& s, const ReceivedSpectrum& b1,
                 const ReceivedSpectrum& b2) noexcept {
    if (s.count != b1.count || s.count != b2.count) return false;
    // A negative point count, or arrays missing for the count, cannot be
    // read safely: such data do not fit together either.
    if (s.count < 0 || !s.HasArrays() || !b1.HasArrays() || !b2.HasArrays()) return false;
    for (std::int32_t i = 1; i <= s.count; ++i) {
        const std::int32_t w = s.wavelengths[i];
        if (b2.wavelengths[i] != w || b1.wavelengths[i] != w) return false;
    }
    return true;
}

}  // namespace

double SubtractedValue(double spectrum, double background1, double background2,
                       std::int32_t time, std::int32_t time1, std::int32_t time2) noexcept {
    if (time == time1) return spectrum - background1;
    if (time == time2) return spectrum - background2;
    if (background2 == background1) return spectrum - background1;
    const double sinceFirst = static_cast<double>(numeric::WrapSub(time, time1));
    const double between = static_cast<double>(numeric::WrapSub(time2, time1));
    return spectrum - (((background2 - background1) * sinceFirst) / between + background1);
}

std::int32_t SubtractBackground(const BGSubtractionRequest& request,
                                SubtractedSpectrum* result) noexcept {
    ReceivedSpectrum spectrum, background1, background2;
    std::int32_t status = spectrum.Fetch(request, request.spectrumTime);
    if (status < 0) return status;
    status = background1.Fetch(request, request.backgroundTime1);
    if (status < 0) return status;
    status = background2.Fetch(request, request.backgroundTime2);
    if (status < 0) return status;
    if (!FitTogether(spectrum, background1, background2)) return E_UNEXPECTED;

    const std::int32_t count = spectrum.count;
    const auto points = static_cast<std::size_t>(count);
    auto values = TaskArray<double>::Zeroed(points);
    if (!values) return E_OUTOFMEMORY;
    // The point-count element and the wavelengths; never fewer than two
    // elements, the second zero for an empty spectrum.
    auto wavelengths = TaskArray<std::int32_t>::Zeroed(points < 1 ? 2 : points + 1);
    if (!wavelengths) return E_OUTOFMEMORY;

    for (std::size_t i = 0; i < points; ++i)
        values[i] = SubtractedValue(spectrum.values[i], background1.values[i],
                                    background2.values[i], request.spectrumTime,
                                    request.backgroundTime1, request.backgroundTime2);
    std::memcpy(wavelengths.get(), spectrum.wavelengths, (points + 1) * sizeof(std::int32_t));

    result->values = std::move(values);
    result->count = count;
    result->wavelengths = std::move(wavelengths);
    return status;
}

}  // namespace lumitra::chromdata
