#include "checks/mercury_check.h"

#include "checks/check_buffers.h"

namespace lumitra::checks {
namespace {
// Entries of the result: the two deuterium lines, then the mercury lines.
constexpr double kReferences[6] = {486.0, 656.1, 253.7, 404.7, 435.8, 546.1};
// Order in which the lines are measured and evaluated (result entries).
constexpr int kMeasureOrder[6] = {2, 3, 4, 0, 5, 1};
}  // namespace

std::int32_t DoWavelengthCheckD2Hg(double tolerance, const CalibrationRecord* calibration,
                                   const double* background, const double* d2,
                                   const double* hg1, const double* hg2,
                                   WavelengthCheckResult* result) {
    if (calibration == nullptr || d2 == nullptr || hg1 == nullptr || hg2 == nullptr ||
        result == nullptr)
        return E_INVALIDARG;
    result->lineCount = 6;
    for (int i = 0; i < 6; ++i) result->referenceWavelength[i] = kReferences[i];

    auto wavelengths = AllocateFineArray();
    if (!wavelengths) return E_OUTOFMEMORY;
    auto fineD2 = AllocateFineArray();
    if (!fineD2) return E_OUTOFMEMORY;
    auto fineHg2 = AllocateFineArray();
    if (!fineHg2) return E_OUTOFMEMORY;
    auto fineHg1 = AllocateFineArray();
    if (!fineHg1) return E_OUTOFMEMORY;
    auto scratch = Scratch::Allocate(5);
    if (!scratch) return E_OUTOFMEMORY;

    const auto dispersion = optics::DecodeCalibration(*calibration);
    std::int64_t centres[6];
    centres[1] = AnchorSearchCentre(dispersion);
    for (int entry : {0, 2, 3, 4, 5}) centres[entry] = SearchCentre(kReferences[entry], dispersion);
    FillFineWavelengths(dispersion, wavelengths.get());

    for (auto [spectrum, fine] : {std::pair{d2, fineD2.get()}, std::pair{hg1, fineHg1.get()},
                                  std::pair{hg2, fineHg2.get()}}) {
        const std::int32_t status =
            PrepareFineSpectrum(spectrum, background, fine, scratch.Blocks());
        if (status != S_OK) return status;
    }

    // The deuterium windows start from 0.0: a window without a positive
    // value reports index 0.
    const double* fineOf[6] = {fineD2.get(),  fineD2.get(),  fineHg1.get(),
                               fineHg2.get(), fineHg2.get(), fineHg2.get()};
    std::int32_t index[6];
    index[1] = FindWindowMaximum(fineD2.get(), centres[1], 1280, 0.0);
    index[0] = FindWindowMaximum(fineD2.get(), centres[0], 256, 0.0);
    for (int entry : {2, 3, 4, 5})
        index[entry] = FindWindowMaximum(fineOf[entry], centres[entry], 640, kInitialMaximum);

    MidpointLine lines[6];
    for (int entry : kMeasureOrder) {
        lines[entry] = MeasureMidpointLine(fineOf[entry], wavelengths.get(), index[entry]);
        result->lineWidth[entry] = lines[entry].width;
    }
    for (int entry : kMeasureOrder)
        EvaluateMidpointLine(lines[entry], dispersion, kReferences[entry], tolerance, result, entry);
    return S_OK;
}

}  // namespace lumitra::checks
