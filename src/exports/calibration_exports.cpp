// Wavelength calibration from deuterium-lamp spectra.
#include "calibration/wavelength_calibration.h"
#include "lumitra/lumitra.h"

extern "C" int32_t LUMITRA_CALL Lumitra_DoWavelengthCalibration(int32_t method,
                                                               const double* dark1,
                                                               const double* spectrum1,
                                                               const double* dark2,
                                                               const double* spectrum2,
                                                               CalibrationRecord* record) {
    return lumitra::calibration::DoWavelengthCalibration(method, dark1, spectrum1, dark2,
                                                         spectrum2, record);
}

extern "C" int32_t LUMITRA_CALL Lumitra_DoWavelengthCalibrationForWideSlit(
    const double* spectrum, CalibrationRecord* record) {
    return lumitra::calibration::DoWavelengthCalibrationForWideSlit(spectrum, record);
}

extern "C" int32_t LUMITRA_CALL Lumitra_DoWavelengthCalibrationEx(
    int32_t method, const double* spectrum1, const double* spectrum2, double* copy1,
    double* copy2, CalibrationRecord* record, int32_t kind) {
    return lumitra::calibration::DoWavelengthCalibrationEx(method, spectrum1, spectrum2, copy1,
                                                           copy2, record, kind);
}
