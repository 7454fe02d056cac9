// Lamp diagnostics for the host: reference value and band maximum of a
// deuterium or tungsten lamp spectrum, and the maximum signal voltage.
// Exports check their pointers, enumerations and sizes here, at the front
// door; the domain code behind them checks only what depends on the data.
#include "lamps/lamp_maxima.h"
#include "lamps/max_voltage.h"
#include "lumitra/lumitra.h"

namespace {

using lumitra::lamps::LampBand;
using lumitra::lamps::LampMaxima;

int32_t LampSpectrumMaxInfo(const LampBand& band, int32_t display, const int32_t* wavelengths,
                            int32_t n, const double* spectrum, double* reference,
                            double* maximum, int32_t* maximumWavelength) {
    // Every pointer the call reads or writes must be given; the element
    // form's knot table holds 1024 entries.
    if (spectrum == nullptr || reference == nullptr || maximum == nullptr ||
        maximumWavelength == nullptr)
        return E_INVALIDARG;
    if (display == 0 && (wavelengths == nullptr || n > lumitra::lamps::kMaxElementKnots))
        return E_INVALIDARG;

    LampMaxima maxima;
    int32_t status = S_OK;
    if (display != 0)
        maxima = lumitra::lamps::DisplayGridMaxima(band, spectrum);
    else
        status = lumitra::lamps::ElementMaxima(band, wavelengths, n, spectrum, &maxima);
    if (status < 0) return status;
    *reference = maxima.reference;
    *maximum = maxima.maximum;
    *maximumWavelength = maxima.maximumWavelength;
    return status;
}

}  // namespace

extern "C" int32_t LUMITRA_CALL Lumitra_GetD2LampSpectrumMaxInfo(
    int32_t display, const int32_t* wavelengths, int32_t n, const double* spectrum,
    double* reference, double* maximum, int32_t* maximumWavelength) {
    return LampSpectrumMaxInfo(lumitra::lamps::kDeuteriumBand, display, wavelengths, n, spectrum,
                               reference, maximum, maximumWavelength);
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetWLampSpectrumMaxInfo(
    int32_t display, const int32_t* wavelengths, int32_t n, const double* spectrum,
    double* reference, double* maximum, int32_t* maximumWavelength) {
    return LampSpectrumMaxInfo(lumitra::lamps::kTungstenBand, display, wavelengths, n, spectrum,
                               reference, maximum, maximumWavelength);
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetMaxVoltage(const double* values, int32_t count,
                                                     int32_t* maximum) {
    if (values == nullptr || maximum == nullptr) return E_INVALIDARG;
    *maximum = lumitra::lamps::MaxVoltage(values, count);
    return S_OK;
}
