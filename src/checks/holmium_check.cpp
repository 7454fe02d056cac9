#include "checks/holmium_check.h"

#include "checks/check_buffers.h"
#include "numeric/low_frequency_filter.h"

namespace lumitra::checks {

std::int32_t DoWavelengthCheckD2Ho(double tolerance, const CalibrationRecord& calibration,
                                   const double* d2Background, const double* d2,
                                   const double* hoBackground, const double* ho,
                                   WavelengthCheckResult* result) {
    WriteReferences(kHolmiumCheck, result);
    auto wavelengths = AllocateFineArray();
    if (!wavelengths) return E_OUTOFMEMORY;
    auto fineD2 = AllocateFineArray();
    if (!fineD2) return E_OUTOFMEMORY;
    auto fineHo = AllocateFineArray();
    if (!fineHo) return E_OUTOFMEMORY;
    auto scratch = Scratch::Allocate(4);
    if (!scratch) return E_OUTOFMEMORY;

    const auto dispersion = optics::DecodeCalibration(calibration);
    FillFineWavelengths(dispersion, wavelengths.get());
    std::int32_t status = PrepareFineSpectrum(d2, d2Background, fineD2.get(), scratch.Blocks());
    if (status != S_OK) return status;
    if (ho != nullptr) {
        status = PrepareFineSpectrum(ho, hoBackground, fineHo.get(), scratch.Blocks());
        if (status != S_OK) return status;
        // The bands stand out only once the lamp's slow continuum is gone; a
        // filter without memory leaves the data unfiltered and says so.
        status = numeric::FiltrateLowFrequency(fineHo.get(), numeric::kFineCount,
                                               numeric::kLineFilterHalfWidth);
    }
    // Without a holmium spectrum its bands keep their references only.
    const double* fine[] = {fineD2.get(), ho != nullptr ? fineHo.get() : nullptr};
    MeasureCheckLines(kHolmiumCheck, fine, wavelengths.get(), dispersion, tolerance, result);
    return status;
}

}  // namespace lumitra::checks
