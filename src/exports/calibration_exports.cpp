// Wavelength calibration from deuterium-lamp spectra.
// Exports check their pointers, enumerations and sizes here, at the front
// door; the domain code behind them checks only what depends on the data.
#include "calibration/wavelength_calibration.h"
#include "lumitra/lumitra.h"

using namespace lumitra::calibration;

extern "C" int32_t LUMITRA_CALL Lumitra_DoWavelengthCalibration(int32_t method,
                                                               const double* dark1,
                                                               const double* spectrum1,
                                                               const double* dark2,
                                                               const double* spectrum2,
                                                               CalibrationRecord* record) {
    if (spectrum1 == nullptr || spectrum2 == nullptr || record == nullptr) return E_INVALIDARG;
    return DoWavelengthCalibration(method, dark1, spectrum1, dark2, spectrum2, record);
}

extern "C" int32_t LUMITRA_CALL Lumitra_DoWavelengthCalibrationForWideSlit(
    const double* spectrum, CalibrationRecord* record) {
    if (spectrum == nullptr || record == nullptr) return E_INVALIDARG;
    return DoWavelengthCalibrationForWideSlit(spectrum, record);
}

extern "C" int32_t LUMITRA_CALL Lumitra_DoWavelengthCalibrationEx(
    int32_t method, const double* spectrum1, const double* spectrum2, double* copy1,
    double* copy2, CalibrationRecord* record, int32_t kind) {
    // Each kind requires what its calibration requires.
    if (kind != kTwoLineKind && kind != kWideSlitKind) return E_INVALIDARG;
    if (spectrum1 == nullptr || record == nullptr) return E_INVALIDARG;
    if (kind == kTwoLineKind && spectrum2 == nullptr) return E_INVALIDARG;
    return DoWavelengthCalibrationEx(method, spectrum1, spectrum2, copy1, copy2, record, kind);
}
