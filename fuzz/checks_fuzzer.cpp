// The wavelength checks: any record (far off, reversed, degenerate), any
// tolerance, any spectra and backgrounds, null pointers; user lines with
// any targets, windows, allowed deviations and kinds, on element or
// display-grid spectra. The record and spectra are never written.
#include "fuzz_support.h"

namespace {
using namespace lumitra::fuzz;

std::unique_ptr<ExactArray<double>> Optional(Input& in, bool given, size_t n = LUMITRA_ELEMENT_COUNT) {
    return given ? std::make_unique<ExactArray<double>>(in.Spectrum(n)) : nullptr;
}
const double* Get(const std::unique_ptr<ExactArray<double>>& a) { return a ? a->get() : nullptr; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int which = in.InRange<int>(0, 2);
    const CalibrationRecord given = in.Record();
    const CalibrationRecord* record = in.OneIn(16) ? nullptr : &given;
    const double tolerance = in.Flag() ? in.InRange<int32_t>(-100, 100) / 100.0 : in.Double();
    int32_t status;
    CallScope scope(in.AllocationToFail());
    if (which < 2) {
        const auto background = Optional(in, in.Flag()), d2 = Optional(in, !in.OneIn(16));
        const auto first = Optional(in, !in.OneIn(8)), second = Optional(in, !in.OneIn(8));
        WavelengthCheckResult result;
        status = which == 0 ? Lumitra_DoWavelengthCheckD2Ho(in.Int32(), tolerance, record, Get(background), Get(d2),
                                                            Get(second), Get(first), in.OneIn(16) ? nullptr : &result)
                            : Lumitra_DoWavelengthCheckD2Hg(in.Int32(), tolerance, record, Get(background), Get(d2),
                                                            Get(first), Get(second), in.OneIn(16) ? nullptr : &result);
        FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_OUTOFMEMORY}));
    } else {
        const int32_t display = in.Flag() ? 0 : in.Int32();
        const size_t n = display == 0 ? LUMITRA_ELEMENT_COUNT : LUMITRA_DISPLAY_GRID_COUNT;
        const auto first = Optional(in, !in.OneIn(16), n), second = Optional(in, !in.OneIn(16), n);
        UserCheckList list{};
        list.checkCount = in.Flag() ? in.InRange<int16_t>(1, 4) : int16_t(in.Int32());
        list.option = in.Flag() ? in.InRange<int16_t>(0, 3) : int16_t(in.Int32());
        for (auto& line : list.lines) {
            line.targetWavelength = in.Flag() ? in.Int32() : in.InRange<int32_t>(18900, 80100);
            line.halfWindow = in.Flag() ? in.Int32() : in.InRange<int32_t>(-5, 500);
            line.allowedDeviation = in.Int32();
            line.findMinimum = in.Int32();
        }
        status = Lumitra_DoUserDefinedWavelengthCheck(display, record, Get(first), Get(second),
                                                      in.OneIn(16) ? nullptr : &list);
        FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_OUTOFMEMORY, E_FAIL}));
    }
    return 0;
}
