// Lamp diagnostics: both lamp maxima on display-grid spectra and on element
// spectra with wavelength tables of any length and contents (the call reads
// exactly n of each), null pointers; the maximum voltage of any series.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumitra::fuzz;
    Input in(data, size);
    if (in.OneIn(3)) {
        const int32_t count = in.OneIn(8) ? in.InRange<int32_t>(INT32_MIN, 0) : in.Count(100, 5000);
        const ExactArray<double> values(in.Spectrum(size_t(std::max(count, 0))));
        int32_t maximum = 0;
        FUZZ_EXPECT(OneOf(Lumitra_GetMaxVoltage(in.OneIn(16) ? nullptr : values.get(), count, &maximum),
                          {S_OK, E_INVALIDARG}));
        return 0;
    }
    const int32_t display = in.Flag() ? 0 : in.Int32();
    int32_t n = display == 0 ? in.Count(600, 1100) : in.Int32();  // read only for display 0
    const size_t length = display == 0 ? size_t(n) : LUMITRA_DISPLAY_GRID_COUNT;
    std::vector<int32_t> wavelengths(display == 0 ? size_t(n) : 0);
    int32_t w = in.InRange<int32_t>(10000, 40000);
    for (auto& v : wavelengths) v = in.Flag() ? in.Int32() : (w += in.InRange<int32_t>(-5, 400));
    if (display == 0 && n > 1024 && in.Flag()) n = in.InRange<int32_t>(1025, INT32_MAX);  // refused unread
    const ExactArray<int32_t> table(wavelengths);
    const ExactArray<double> spectrum(in.Spectrum(length));
    double reference = 0, maximum = 0;
    int32_t at = 0;
    CallScope scope(in.AllocationToFail());
    const auto call = in.Flag() ? Lumitra_GetD2LampSpectrumMaxInfo : Lumitra_GetWLampSpectrumMaxInfo;
    const int32_t status = call(display, in.OneIn(16) ? nullptr : table.get(), n, in.OneIn(16) ? nullptr : spectrum.get(),
                                in.OneIn(16) ? nullptr : &reference, &maximum, &at);
    FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_FAIL, E_OUTOFMEMORY}));
    return 0;
}
