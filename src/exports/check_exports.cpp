// Wavelength-accuracy checks.
// Exports check their pointers, enumerations and sizes here, at the front
// door; the domain code behind them checks only what depends on the data.
#include "checks/holmium_check.h"
#include "checks/mercury_check.h"
#include "checks/user_check.h"
#include "lumitra/lumitra.h"

extern "C" int32_t LUMITRA_CALL Lumitra_DoWavelengthCheckD2Ho(
    int32_t /*reserved*/, double tolerance, const CalibrationRecord* calibration,
    const double* d2Background, const double* d2, const double* hoBackground, const double* ho,
    WavelengthCheckResult* result) {
    if (calibration == nullptr || d2 == nullptr || result == nullptr) return E_INVALIDARG;
    return lumitra::checks::DoWavelengthCheckD2Ho(tolerance, *calibration, d2Background, d2,
                                                  hoBackground, ho, result);
}

extern "C" int32_t LUMITRA_CALL Lumitra_DoWavelengthCheckD2Hg(
    int32_t /*reserved*/, double tolerance, const CalibrationRecord* calibration,
    const double* background, const double* d2, const double* hg1, const double* hg2,
    WavelengthCheckResult* result) {
    if (calibration == nullptr || d2 == nullptr || hg1 == nullptr || hg2 == nullptr ||
        result == nullptr)
        return E_INVALIDARG;
    return lumitra::checks::DoWavelengthCheckD2Hg(tolerance, *calibration, background, d2, hg1, hg2,
                                                  result);
}

extern "C" int32_t LUMITRA_CALL Lumitra_DoUserDefinedWavelengthCheck(
    int32_t display, const CalibrationRecord* calibration, const double* first,
    const double* second, UserCheckList* lines) {
    using namespace lumitra::checks;
    if (calibration == nullptr || first == nullptr || second == nullptr || lines == nullptr)
        return E_INVALIDARG;
    if (lines->checkCount < 1 || lines->checkCount > kUserCheckMaxLines) return E_INVALIDARG;
    if (lines->option < 0 || lines->option > kUserCheckMaxOption) return E_INVALIDARG;
    return DoUserDefinedWavelengthCheck(display, *calibration, first, second, *lines);
}
