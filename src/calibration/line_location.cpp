#include "calibration/line_location.h"

#include <cstring>

#include "lumitra/lumitra.h"
#include "module/task_array.h"
#include "numeric/fine_grid.h"
#include "numeric/low_frequency_filter.h"
#include "numeric/truncation.h"
#include "optics/dispersion.h"

namespace lumitra::calibration {

std::int32_t FindMaximum(const double* values, SampleWindow window, double floor) {
    double best = floor;
    std::int32_t index = kNoLine;
    for (std::int32_t i = window.first; i <= window.last; ++i) {
        if (values[i] > best) {
            best = values[i];
            index = i;
        }
    }
    return index;
}

SampleWindow CoarseWindow(double wavelength) {
    const std::int32_t element =
        numeric::TruncateToInt32(optics::NominalElementOf(wavelength) + 0.5);
    return {element - 20, element + 19};
}

void LocateCalibrationLines(const double* first, const double* second, std::uint32_t* anchorIndex,
                            std::uint32_t* secondIndex) {
    *anchorIndex = IndexOrZero(FindMaximum(first, kAnchorWindow, kNoLineBelow));
    if (secondIndex == nullptr) return;
    *secondIndex = 0;
    if (*anchorIndex == 0) return;
    *secondIndex = IndexOrZero(FindMaximum(second, SecondLineWindow(*anchorIndex), kNoLineBelow));
}

double SamplePosition(std::int32_t k, std::int32_t samplesPerElement) {
    return samplesPerElement == numeric::kFineSteps ? numeric::PositionOfFineIndex(k) : k + 1.0;
}

std::int32_t SearchedValues(const double* difference, std::int32_t samplesPerElement,
                            std::uint32_t filterHalfWidth, double* data, std::int32_t* count) {
    const bool fine = samplesPerElement == numeric::kFineSteps;
    const std::int32_t n = fine ? numeric::kFineCount : LUMITRA_ELEMENT_COUNT;
    auto values = module::TaskArray<double>::Zeroed(static_cast<std::size_t>(n));
    if (!values) return E_OUTOFMEMORY;
    if (fine) {
        const std::int32_t status =
            numeric::ResampleToFineGrid(LUMITRA_ELEMENT_COUNT, difference, values.get());
        if (status != S_OK) return status;
    } else {
        std::memcpy(values.get(), difference, LUMITRA_ELEMENT_COUNT * sizeof(double));
    }
    const std::int32_t status = numeric::FiltrateLowFrequency(values.get(), n, filterHalfWidth);
    if (status != S_OK) return status;
    std::memcpy(data, values.get(), static_cast<std::size_t>(n) * sizeof(double));
    *count = n;
    return S_OK;
}

std::int32_t HalfHeightCenter(const double* y, std::int32_t p, std::int32_t lo, std::int32_t hi) {
    double leftMinimum = y[p];
    for (std::int32_t i = p - 1; i >= lo; --i)
        if (y[i] < leftMinimum) leftMinimum = y[i];
    double rightMinimum = y[p];
    for (std::int32_t i = p + 1; i < hi; ++i)
        if (y[i] < rightMinimum) rightMinimum = y[i];

    const double base = leftMinimum > rightMinimum ? leftMinimum : rightMinimum;
    const double height = y[p] - base;
    const double half = 50.0 * height / 100.0;

    double left = lo;
    double previous = height;
    for (std::int32_t i = p - 1; i >= lo; --i) {
        const double current = y[i] - base;
        if (current <= half) {
            left = current == half ? i : i + (half - current) / (previous - current);
            break;
        }
        previous = current;
    }
    double right = hi;
    previous = height;
    for (std::int32_t i = p + 1; i <= hi; ++i) {
        const double current = y[i] - base;
        if (current <= half) {
            right = current == half ? i : i - (half - current) / (previous - current);
            break;
        }
        previous = current;
    }
    if (right > left) return numeric::TruncateToInt32(left + (right - left) * 0.5);
    return 0;
}

}  // namespace lumitra::calibration
