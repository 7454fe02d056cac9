#include "calibration/wavelength_calibration.h"

#include <cstring>

#include "calibration/calibration_record.h"
#include "calibration/fine_grid.h"
#include "calibration/line_location.h"
#include "calibration/peak_refinement.h"
#include "module/task_array.h"
#include "numeric/truncation.h"
#include "optics/dispersion.h"

namespace lumitra::calibration {
namespace {

using module::TaskArray;
constexpr std::int32_t kElements = LUMITRA_ELEMENT_COUNT;
constexpr std::size_t kSpectrumBytes = kElements * sizeof(double);
// The fine-grid method filters the 360.8 nm spectrum with a window of ten
// elements on either side, which leaves the narrow line on a flat base.
constexpr std::uint32_t kFilterHalfWidth = 640;

void Subtract(const double* spectrum, const double* dark, double* difference) {
    for (std::int32_t i = 0; i < kElements; ++i)
        difference[i] = spectrum[i] - (dark != nullptr ? dark[i] : 0.0);
}

// Coarse line search of the refinement method: the first strictly greatest
// element above 0.0 among the 40 around the line's nominal element.
std::int32_t CoarseMaximum(const double* difference, double wavelength) {
    const std::int32_t element =
        numeric::TruncateToInt32(optics::NominalElementOf(wavelength) + 0.5);
    double best = 0.0;
    std::int32_t index = 0;
    for (std::int32_t i = element - 20; i <= element + 19; ++i) {
        if (difference[i] > best) {
            best = difference[i];
            index = i;
        }
    }
    return index;
}

// Refined position of the line near `wavelength`, in elements.
std::int32_t RefineLine(const double* difference, double wavelength, double* position) {
    return RefinePeakPosition(kElements, CoarseMaximum(difference, wavelength), position,
                              difference);
}

std::uint16_t RecordPosition(double elements) {
    return static_cast<std::uint16_t>(numeric::TruncateToInt32(elements * 64 + 0.5));
}

}  // namespace

std::int32_t DoWavelengthCalibration(std::int32_t method, const double* dark1,
                                     const double* spectrum1, const double* dark2,
                                     const double* spectrum2, CalibrationRecord* record) {
    if (spectrum1 == nullptr || spectrum2 == nullptr || record == nullptr) return E_INVALIDARG;
    const bool fineGrid = method == kFineGridMethod;

    auto difference1 = TaskArray<double>::Zeroed(kElements);
    if (!difference1) return E_OUTOFMEMORY;
    auto difference2 = TaskArray<double>::Zeroed(kElements);
    if (!difference2) return E_OUTOFMEMORY;
    TaskArray<double> fine1, fine2;
    if (fineGrid) {
        fine1 = TaskArray<double>::Zeroed(kFineAllocation);
        if (!fine1) return E_OUTOFMEMORY;
        fine2 = TaskArray<double>::Zeroed(kFineAllocation);
        if (!fine2) return E_OUTOFMEMORY;
    }

    std::int32_t status = S_OK;
    double refined656 = 0.0, refined360 = 0.0;
    Subtract(spectrum1, dark1, difference1.get());
    status = fineGrid ? ResampleToFineGrid(kElements, difference1.get(), fine1.get())
                      : RefineLine(difference1.get(), 656.1, &refined656);
    if (status != S_OK) return status;

    Subtract(spectrum2, dark2, difference2.get());
    if (fineGrid) {
        status = ResampleToFineGrid(kElements, difference2.get(), fine2.get());
        if (status != S_OK) return status;
        status = Lumitra_FiltrateLowFrequency(fine2.get(), kFineCount, kFilterHalfWidth);
    } else {
        status = RefineLine(difference2.get(), 360.8, &refined360);
    }
    if (status != S_OK) return status;

    std::uint16_t position1, position2;
    if (fineGrid) {
        std::uint32_t anchor = 0, second = 0;
        LocateCalibrationLines(fine1.get(), fine2.get(), &anchor, &second);
        // No anchor line: the 360.8 nm window would lie before the array.
        if (anchor == 0) return E_FAIL;
        position2 = static_cast<std::uint16_t>(anchor + kFineToRecord);
        position1 = static_cast<std::uint16_t>(second + kFineToRecord);
    } else {
        position1 = RecordPosition(refined360);
        position2 = RecordPosition(refined656);
    }
    return MakeCalibrationRecord(position1, position2, record);
}

std::int32_t DoWavelengthCalibrationForWideSlit(const double* spectrum, CalibrationRecord* record) {
    if (spectrum == nullptr || record == nullptr) return E_INVALIDARG;
    auto fine = TaskArray<double>::Zeroed(kFineAllocation);
    if (!fine) return E_OUTOFMEMORY;
    const std::int32_t status = ResampleToFineGrid(kElements, spectrum, fine.get());
    if (status != S_OK) return status;

    std::uint32_t anchor = 0;
    LocateCalibrationLines(fine.get(), nullptr, &anchor, nullptr);
    if (anchor == 0) return E_FAIL;
    const auto peak = static_cast<std::int32_t>(anchor);
    const std::int32_t centre =
        HalfHeightCenter(fine.get(), peak, peak - kHalfHeightSpan, peak + kHalfHeightSpan);
    // A line without positive width measured nothing to move the record by.
    if (centre == 0) return E_FAIL;

    const std::int32_t position2 = centre + kFineToRecord;
    const auto shift = static_cast<std::uint32_t>(position2) -
                       static_cast<std::uint32_t>(record->position2);
    record->position2 = position2;
    record->position1 =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(record->position1) + shift);
    return status;
}

std::int32_t DoWavelengthCalibrationEx(std::int32_t method, const double* spectrum1,
                                       const double* spectrum2, double* copy1, double* copy2,
                                       CalibrationRecord* record, std::int32_t kind) {
    std::int32_t status;
    if (kind == 0) {
        status = DoWavelengthCalibration(method, nullptr, spectrum1, nullptr, spectrum2, record);
        if (status == S_OK && method == kFineGridMethod) {
            if (copy1 != nullptr) std::memcpy(copy1, spectrum1, kSpectrumBytes);
            if (copy2 != nullptr) std::memcpy(copy2, spectrum2, kSpectrumBytes);
        }
    } else if (kind == 1) {
        status = DoWavelengthCalibrationForWideSlit(spectrum1, record);
        if (status == S_OK && method == kFineGridMethod && copy1 != nullptr)
            std::memcpy(copy1, spectrum1, kSpectrumBytes);
    } else {
        status = E_INVALIDARG;
    }
    return status;
}

}  // namespace lumitra::calibration
