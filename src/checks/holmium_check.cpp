#include "checks/holmium_check.h"

#include "checks/check_buffers.h"

namespace lumitra::checks {
namespace {
constexpr double kReferences[4] = {486.0, 656.1, 287.6, 360.8};
constexpr std::uint32_t kFilterHalfWidth = 640;  // ten elements
}  // namespace

std::int32_t DoWavelengthCheckD2Ho(double tolerance, const CalibrationRecord* calibration,
                                   const double* d2Background, const double* d2,
                                   const double* hoBackground, const double* ho,
                                   WavelengthCheckResult* result) {
    if (calibration == nullptr || d2 == nullptr || result == nullptr) return E_INVALIDARG;
    result->lineCount = 4;
    for (int i = 0; i < 4; ++i) result->referenceWavelength[i] = kReferences[i];

    auto wavelengths = AllocateFineArray();
    if (!wavelengths) return E_OUTOFMEMORY;
    auto fineD2 = AllocateFineArray();
    if (!fineD2) return E_OUTOFMEMORY;
    auto fineHo = AllocateFineArray();
    if (!fineHo) return E_OUTOFMEMORY;
    auto scratch = Scratch::Allocate(4);
    if (!scratch) return E_OUTOFMEMORY;

    const auto dispersion = optics::DecodeCalibration(*calibration);
    const std::int64_t centre656 = AnchorSearchCentre(dispersion);
    const std::int64_t centre486 = SearchCentre(486.0, dispersion);
    const std::int64_t centre287 = SearchCentre(287.6, dispersion);
    const std::int64_t centre360 = SearchCentre(360.8, dispersion);
    FillFineWavelengths(dispersion, wavelengths.get());

    std::int32_t status = PrepareFineSpectrum(d2, d2Background, fineD2.get(), scratch.Blocks());
    if (status != S_OK) return status;
    if (ho != nullptr) {
        status = PrepareFineSpectrum(ho, hoBackground, fineHo.get(), scratch.Blocks());
        if (status != S_OK) return status;
        // The bands stand out only once the lamp's slow continuum is gone; a
        // filter without memory leaves the data unfiltered and says so.
        status = Lumitra_FiltrateLowFrequency(fineHo.get(), calibration::kFineCount,
                                              kFilterHalfWidth);
    }

    const std::int32_t index656 = FindWindowMaximum(fineD2.get(), centre656, 1280, kInitialMaximum);
    const std::int32_t index486 = FindWindowMaximum(fineD2.get(), centre486, 256, kInitialMaximum);
    std::int32_t index360 = 0, index287 = 0;
    if (ho != nullptr) {
        index360 = FindWindowMaximum(fineHo.get(), centre360, 640, kInitialMaximum);
        index287 = FindWindowMaximum(fineHo.get(), centre287, 256, kInitialMaximum);
    }
    const double* w = wavelengths.get();
    if (ho != nullptr) {
        MeasureLineWidth(fineHo.get(), w, index287, 1, 512, 64, 50.0, &result->lineWidth[2],
                         nullptr);
        MeasureLineWidth(fineHo.get(), w, index360, 1, 512, 64, 50.0, &result->lineWidth[3],
                         nullptr);
    }
    const MidpointLine line486 = MeasureMidpointLine(fineD2.get(), w, index486);
    result->lineWidth[0] = line486.width;
    const MidpointLine line656 = MeasureMidpointLine(fineD2.get(), w, index656);
    result->lineWidth[1] = line656.width;

    if (ho != nullptr) {
        EvaluateCheckLine(dispersion.slope, 287.6, dispersion.measuredPosition,
                          PositionOfFineIndex(index287), tolerance, &result->measuredWavelength[2],
                          &result->deviation[2], &result->withinTolerance[2]);
        EvaluateCheckLine(dispersion.slope, 360.8, dispersion.measuredPosition,
                          PositionOfFineIndex(index360), tolerance, &result->measuredWavelength[3],
                          &result->deviation[3], &result->withinTolerance[3]);
    }
    EvaluateMidpointLine(line486, dispersion, 486.0, tolerance, result, 0);
    EvaluateMidpointLine(line656, dispersion, 656.1, tolerance, result, 1);
    return status;
}

}  // namespace lumitra::checks
