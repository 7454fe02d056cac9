#include "calibration/wavelength_calibration.h"

#include <cstring>

#include "calibration/calibration_record.h"
#include "calibration/peak_refinement.h"
#include "module/task_array.h"
#include "numeric/fine_grid.h"
#include "numeric/low_frequency_filter.h"
#include "numeric/truncation.h"
#include "numeric/wrapping_int.h"

namespace lumitra::calibration {
namespace {

using module::TaskArray;
using numeric::kFineAllocation;
using numeric::kFineCount;
using numeric::kFineToRecord;
constexpr std::size_t kSpectrumBytes = LUMITRA_ELEMENT_COUNT * sizeof(double);

void Subtract(const double* spectrum, const double* dark, double* difference) {
    for (std::int32_t i = 0; i < LUMITRA_ELEMENT_COUNT; ++i)
        difference[i] = spectrum[i] - (dark != nullptr ? dark[i] : 0.0);
}

// Refined position of the line near `wavelength`, in elements: the coarse
// maximum handed to the sibling library.
std::int32_t RefineLine(const double* difference, double wavelength, double* position) {
    const std::uint32_t coarse =
        IndexOrZero(FindMaximum(difference, CoarseWindow(wavelength), kCoarseFloor));
    return RefinePeakPosition(LUMITRA_ELEMENT_COUNT, static_cast<std::int32_t>(coarse), position,
                              difference);
}

std::uint16_t RecordPosition(double elements) {
    return static_cast<std::uint16_t>(
        numeric::TruncateToInt32(elements * numeric::kFineSteps + 0.5));
}

}  // namespace

std::int32_t DoWavelengthCalibration(std::int32_t method, const double* dark1,
                                     const double* spectrum1, const double* dark2,
                                     const double* spectrum2, CalibrationRecord* record) {
    const bool fineGrid = method == kFineGridMethod;
    auto difference1 = TaskArray<double>::Zeroed(LUMITRA_ELEMENT_COUNT);
    if (!difference1) return E_OUTOFMEMORY;
    auto difference2 = TaskArray<double>::Zeroed(LUMITRA_ELEMENT_COUNT);
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
    status = fineGrid ? numeric::ResampleToFineGrid(LUMITRA_ELEMENT_COUNT, difference1.get(),
                                                    fine1.get())
                      : RefineLine(difference1.get(), kAnchorLine, &refined656);
    if (status != S_OK) return status;

    Subtract(spectrum2, dark2, difference2.get());
    if (fineGrid) {
        status = numeric::ResampleToFineGrid(LUMITRA_ELEMENT_COUNT, difference2.get(), fine2.get());
        if (status != S_OK) return status;
        status =
            numeric::FiltrateLowFrequency(fine2.get(), kFineCount, numeric::kLineFilterHalfWidth);
    } else {
        status = RefineLine(difference2.get(), kSecondLine, &refined360);
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
    auto fine = TaskArray<double>::Zeroed(kFineAllocation);
    if (!fine) return E_OUTOFMEMORY;
    const std::int32_t status =
        numeric::ResampleToFineGrid(LUMITRA_ELEMENT_COUNT, spectrum, fine.get());
    if (status != S_OK) return status;

    std::uint32_t anchor = 0;
    LocateCalibrationLines(fine.get(), nullptr, &anchor, nullptr);
    if (anchor == 0) return E_FAIL;
    const auto peak = static_cast<std::int32_t>(anchor);
    const std::int32_t centre = HalfHeightCenter(fine.get(), peak, peak - numeric::kBaselineSpan,
                                                 peak + numeric::kBaselineSpan);
    // A line without positive width measured nothing to move the record by.
    if (centre == 0) return E_FAIL;

    const std::int32_t position2 = centre + kFineToRecord;
    const std::int32_t shift = numeric::WrapSub(position2, record->position2);
    record->position2 = position2;
    record->position1 = numeric::WrapAdd(record->position1, shift);
    return status;
}

std::int32_t DoWavelengthCalibrationEx(std::int32_t method, const double* spectrum1,
                                       const double* spectrum2, double* copy1, double* copy2,
                                       CalibrationRecord* record, std::int32_t kind) {
    const bool copies = method == kFineGridMethod;
    if (kind == kTwoLineKind) {
        const std::int32_t status =
            DoWavelengthCalibration(method, nullptr, spectrum1, nullptr, spectrum2, record);
        if (status == S_OK && copies && copy1 != nullptr)
            std::memcpy(copy1, spectrum1, kSpectrumBytes);
        if (status == S_OK && copies && copy2 != nullptr)
            std::memcpy(copy2, spectrum2, kSpectrumBytes);
        return status;
    }
    const std::int32_t status = DoWavelengthCalibrationForWideSlit(spectrum1, record);
    if (status == S_OK && copies && copy1 != nullptr) std::memcpy(copy1, spectrum1, kSpectrumBytes);
    return status;
}

std::int32_t CalibrationSearchCount(CalibrationSearches which) {
    return which == CalibrationSearches::kWideSlit ? 1 : kMaxCalibrationSearches;
}

std::int32_t DescribeCalibrationSearches(CalibrationSearches which,
                                         const double* const* differences, LineSearch* searches) {
    const std::int32_t steps = which == CalibrationSearches::kRefinement ? 1 : numeric::kFineSteps;
    // The searched data of each input: the differences themselves for the
    // refinement method, else resampled (and, the 360.8 nm line of the
    // fine-grid method, filtered).
    TaskArray<double> data[kMaxCalibrationSearches];
    const std::uint32_t filter[kMaxCalibrationSearches] = {
        0, which == CalibrationSearches::kFineGrid ? numeric::kLineFilterHalfWidth : 0u};
    for (std::int32_t input = 0; input < CalibrationSearchCount(which); ++input) {
        if (differences[input] == nullptr) continue;
        data[input] = TaskArray<double>::Zeroed(kFineAllocation);
        if (!data[input]) return E_OUTOFMEMORY;
        std::int32_t count = 0;
        const std::int32_t status =
            SearchedValues(differences[input], steps, filter[input], data[input].get(), &count);
        if (status != S_OK) return status;
    }

    LineSearch anchor{kAnchorLine, 0, steps, 0, kAnchorWindow, kNoLine, kNoLineBelow};
    const auto filter1 = static_cast<std::int32_t>(filter[1]);
    LineSearch second{kSecondLine, 1, steps, filter1, {0, -1}, kNoLine, kNoLineBelow};
    if (which == CalibrationSearches::kRefinement) {
        anchor.window = CoarseWindow(kAnchorLine);
        second.window = CoarseWindow(kSecondLine);
        anchor.floor = second.floor = kCoarseFloor;
    }
    if (data[0]) anchor.found = FindMaximum(data[0].get(), anchor.window, anchor.floor);
    if (which == CalibrationSearches::kFineGrid && anchor.found != kNoLine)
        second.window = SecondLineWindow(IndexOrZero(anchor.found));
    if (data[1]) second.found = FindMaximum(data[1].get(), second.window, second.floor);

    if (which == CalibrationSearches::kWideSlit) {
        searches[0] = anchor;
    } else {
        searches[0] = second;
        searches[1] = anchor;
    }
    return S_OK;
}

}  // namespace lumitra::calibration
