// The calibration exports: either line-search method (the refinement
// library answering any position, NaN and infinities included), any
// spectra and darks of 512 values, null pointers, records of any contents,
// any calibration kind, optional copies. The record changes only where
// the contract lets it.
#include <dlfcn.h>

#include "fuzz_support.h"

namespace {
using namespace lumitra::fuzz;

// The refinement stand-in beside this program, kept loaded so that the
// positions set here survive the library's loading and freeing it.
void SetRefinedPositions(double first, double second) {
    static void* const library = ::dlopen("libkestrona.so", RTLD_NOW);
    static const auto set = reinterpret_cast<void (*)(double, double)>(
        library ? ::dlsym(library, "FuzzRefinement_SetResults") : nullptr);
    FUZZ_EXPECT(set != nullptr);
    set(first, second);
}

std::unique_ptr<ExactArray<double>> Optional(Input& in, bool given) {
    return given ? std::make_unique<ExactArray<double>>(in.Spectrum(LUMITRA_ELEMENT_COUNT)) : nullptr;
}
double* Get(const std::unique_ptr<ExactArray<double>>& a) { return a ? a->get() : nullptr; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int which = in.InRange<int>(0, 2);
    const int32_t method = in.Flag() ? 0 : in.Int32();
    SetRefinedPositions(in.Flag() ? 385.0 + in.InRange<int32_t>(-4000, 4000) / 1000.0 : in.Double(),
                        in.Flag() ? 148.0 + in.InRange<int32_t>(-4000, 4000) / 1000.0 : in.Double());
    const auto first = Optional(in, !in.OneIn(16)), second = Optional(in, !in.OneIn(16));
    const auto dark1 = Optional(in, in.Flag()), dark2 = Optional(in, in.Flag());
    const auto copy1 = Optional(in, in.Flag()), copy2 = Optional(in, in.Flag());
    const CalibrationRecord given = in.Record();
    CalibrationRecord record = given;
    const int32_t kind = in.Flag() ? in.InRange<int32_t>(0, 1) : in.Int32();
    const bool withRecord = !in.OneIn(16);
    CallScope scope(in.AllocationToFail());
    int32_t status;
    if (which == 0)
        status = Lumitra_DoWavelengthCalibration(method, Get(dark1), Get(first), Get(dark2), Get(second),
                                                 withRecord ? &record : nullptr);
    else if (which == 1)
        status = Lumitra_DoWavelengthCalibrationForWideSlit(Get(first), withRecord ? &record : nullptr);
    else
        status = Lumitra_DoWavelengthCalibrationEx(method, Get(first), Get(second), Get(copy1), Get(copy2),
                                                   withRecord ? &record : nullptr, kind);
    FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_OUTOFMEMORY, E_FAIL, E_CALIBRATION_RANGE}));
    const bool changed = std::memcmp(&record, &given, sizeof record) != 0;
    if (status != S_OK && status != E_CALIBRATION_RANGE) FUZZ_EXPECT(!changed);
    if (status == E_CALIBRATION_RANGE || (changed && which != 1 && kind == 0))
        FUZZ_EXPECT(record.wavelength1 == 36080 && record.wavelength2 == 65610);
    return 0;
}
