// Lamp diagnostics: both lamp maxima on display-grid spectra (611 values)
// and on element spectra with their wavelength tables (n values each, any
// n and any wavelengths), and the maximum voltage of any series.
#include <cmath>
#include <cstdint>
#include <vector>

#include "fuzz_expect.h"
#include "fuzz_input.h"
#include "lumitra/lumitra.h"

namespace {

using lumitra::fuzz::CallScope;
using lumitra::fuzz::ExactArray;
using lumitra::fuzz::Input;

void FuzzLampMaxima(Input& in) {
    const bool deuterium = in.Flag();
    const int32_t display = in.Flag() ? 0 : in.Int32();
    int32_t n = 0;
    std::vector<int32_t> wavelengths;
    std::vector<double> spectrum;
    if (display == 0) {
        n = in.OneIn(8) ? in.Int32() : in.Count(600, 1100);
        const size_t length = n > 0 && n <= 1100 ? size_t(n) : 0;
        wavelengths = in.Wavelengths(length);
        spectrum = in.Spectrum(length);
        if (n > 1100) n = in.InRange<int32_t>(1025, INT32_MAX);  // refused unread
    } else {
        spectrum = in.Spectrum(LUMITRA_DISPLAY_GRID_COUNT);
        n = in.Int32();  // not read
    }
    const ExactArray<int32_t> table(wavelengths);
    const ExactArray<double> values(spectrum);
    double reference = -5.0, maximum = -6.0;
    int32_t maximumWavelength = -7;
    const bool withWavelengths = !in.OneIn(16), withSpectrum = !in.OneIn(16);
    const bool withOutputs = !in.OneIn(16);

    CallScope scope(in.AllocationToFail());
    const auto call =
        deuterium ? Lumitra_GetD2LampSpectrumMaxInfo : Lumitra_GetWLampSpectrumMaxInfo;
    const int32_t status = call(display, withWavelengths ? table.get() : nullptr, n,
                                withSpectrum ? values.get() : nullptr,
                                withOutputs ? &reference : nullptr, &maximum, &maximumWavelength);
    const bool written = reference != -5.0 || maximum != -6.0 || maximumWavelength != -7;
    if (status != S_OK) {
        FUZZ_EXPECT(!written);
        FUZZ_EXPECT(status == E_INVALIDARG || status == E_FAIL || status == E_OUTOFMEMORY);
    }
    const bool pointersValid =
        withSpectrum && withOutputs && (display != 0 || (withWavelengths && n <= 1024));
    if (!pointersValid) {
        FUZZ_EXPECT(status == E_INVALIDARG);
        return;
    }
    if (display != 0) FUZZ_EXPECT(status == S_OK);
    if (display == 0 && n < 3 && !CallScope::FailureDelivered()) FUZZ_EXPECT(status == E_FAIL);
    if (CallScope::FailureDelivered() && status != S_OK)
        FUZZ_EXPECT(status == E_OUTOFMEMORY || status == E_FAIL);
    if (status != S_OK) return;
    const int32_t low = deuterium ? 20000 : 40000, high = deuterium ? 26000 : 80000;
    FUZZ_EXPECT(maximumWavelength == -1 || (maximumWavelength >= low && maximumWavelength <= high));
    // Only a value above the start value -2147483648 is taken.
    FUZZ_EXPECT((maximumWavelength == -1) == (maximum == -2147483648.0));
    if (display == 0) FUZZ_EXPECT(reference == std::trunc(reference));
}

void FuzzMaxVoltage(Input& in) {
    const int32_t count = in.OneIn(8) ? in.InRange<int32_t>(INT32_MIN, 0) : in.Count(100, 5000);
    const std::vector<double> values = in.Spectrum(size_t(count > 0 ? count : 0));
    const ExactArray<double> series(values);
    int32_t maximum = 12345;
    const bool withValues = !in.OneIn(16), withMaximum = !in.OneIn(16);
    const int32_t status = Lumitra_GetMaxVoltage(withValues ? series.get() : nullptr, count,
                                                 withMaximum ? &maximum : nullptr);
    if (!withValues || !withMaximum) {
        FUZZ_EXPECT(status == E_INVALIDARG && maximum == 12345);
        return;
    }
    FUZZ_EXPECT(status == S_OK);
    double largest = -2147483648.0;
    for (double v : values)
        if (largest < v) largest = v;
    FUZZ_EXPECT(maximum == (largest >= 2147483648.0 ? INT32_MIN : int32_t(largest)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    if (in.OneIn(3))
        FuzzMaxVoltage(in);
    else
        FuzzLampMaxima(in);
    return 0;
}
