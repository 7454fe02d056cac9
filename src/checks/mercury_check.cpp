#include "checks/mercury_check.h"

#include "checks/check_buffers.h"

namespace lumitra::checks {

std::int32_t DoWavelengthCheckD2Hg(double tolerance, const CalibrationRecord& calibration,
                                   const double* background, const double* d2, const double* hg1,
                                   const double* hg2, WavelengthCheckResult* result) {
    WriteReferences(kMercuryCheck, result);
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

    const auto dispersion = optics::DecodeCalibration(calibration);
    FillFineWavelengths(dispersion, wavelengths.get());
    double* fine[] = {fineD2.get(), fineHg1.get(), fineHg2.get()};
    const double* spectra[] = {d2, hg1, hg2};
    for (int input = 0; input < 3; ++input) {
        const std::int32_t status =
            PrepareFineSpectrum(spectra[input], background, fine[input], scratch.Blocks());
        if (status != S_OK) return status;
    }
    MeasureCheckLines(kMercuryCheck, fine, wavelengths.get(), dispersion, tolerance, result);
    return S_OK;
}

}  // namespace lumitra::checks
