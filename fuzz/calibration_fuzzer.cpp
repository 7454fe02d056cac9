// The calibration exports: either line-search method (the refinement
// library answering any position, NaN and infinities included), any
// spectra and darks of 512 values, null pointers, records of any contents
// for the wide-slit calibration, any calibration kind, optional copies.
#include <dlfcn.h>

#include <cstdint>
#include <vector>

#include "calibration/calibration_record.h"
#include "calibration/line_location.h"
#include "fuzz_expect.h"
#include "fuzz_input.h"
#include "lumitra/lumitra.h"

namespace {

using lumitra::fuzz::CallScope;
using lumitra::fuzz::ExactArray;
using lumitra::fuzz::Input;
using lumitra::fuzz::SameBytes;
namespace cal = lumitra::calibration;

constexpr size_t kElements = LUMITRA_ELEMENT_COUNT;

// The refinement stand-in next to this program, kept loaded so that the
// positions set here survive the library's loading and freeing it.
void SetRefinedPositions(double first, double second) {
    using SetResults = void (*)(double, double);
    static void* const library = ::dlopen("libkestrona.so", RTLD_NOW);
    static const auto set = reinterpret_cast<SetResults>(
        library ? ::dlsym(library, "FuzzRefinement_SetResults") : nullptr);
    FUZZ_EXPECT(set != nullptr);
    set(first, second);
}

// A refined position: near the line's element, or any double.
double RefinedPosition(Input& in, double element) {
    return in.Flag() ? element + in.InRange<int32_t>(-4000, 4000) / 1000.0 : in.Double();
}

// A record the two-line calibration wrote: its two reference lines, and a
// status that agrees with its range test.
void ExpectNewRecord(const CalibrationRecord& record, int32_t status) {
    FUZZ_EXPECT(record.wavelength1 == 36080 && record.wavelength2 == 65610);
    FUZZ_EXPECT(record.position1 >= 0 && record.position1 <= 65535);
    FUZZ_EXPECT(record.position2 >= 0 && record.position2 <= 65535);
    CalibrationRecord again{};
    FUZZ_EXPECT(cal::MakeCalibrationRecord(uint16_t(record.position1), uint16_t(record.position2),
                                           &again) == status);
}

int32_t Method(Input& in) { return in.Flag() ? 0 : in.Int32(); }

void FuzzTwoLines(Input& in) {
    const int32_t method = Method(in);
    const std::vector<double> s1 = in.Spectrum(kElements), s2 = in.Spectrum(kElements),
                              d1 = in.Spectrum(kElements), d2 = in.Spectrum(kElements);
    const ExactArray<double> first(s1), second(s2), dark1(d1), dark2(d2);
    const bool withDark1 = in.Flag(), withDark2 = in.Flag();
    const CalibrationRecord before = in.Record();
    CalibrationRecord record = before;
    SetRefinedPositions(RefinedPosition(in, 385.0), RefinedPosition(in, 148.6));
    const bool withFirst = !in.OneIn(16), withSecond = !in.OneIn(16), withRecord = !in.OneIn(16);

    CallScope scope(in.AllocationToFail());
    const int32_t status = Lumitra_DoWavelengthCalibration(
        method, withDark1 ? dark1.get() : nullptr, withFirst ? first.get() : nullptr,
        withDark2 ? dark2.get() : nullptr, withSecond ? second.get() : nullptr,
        withRecord ? &record : nullptr);
    FUZZ_EXPECT(first.Holds(s1) && second.Holds(s2) && dark1.Holds(d1) && dark2.Holds(d2));
    if (!withFirst || !withSecond || !withRecord) {
        FUZZ_EXPECT(status == E_INVALIDARG && SameBytes(record, before));
        return;
    }
    if (CallScope::FailureDelivered()) FUZZ_EXPECT(status == E_OUTOFMEMORY);
    if (status != S_OK && status != E_CALIBRATION_RANGE) {
        FUZZ_EXPECT(status == E_OUTOFMEMORY || status == E_FAIL);
        FUZZ_EXPECT(SameBytes(record, before));
        return;
    }
    ExpectNewRecord(record, status);
    if (method == 0) {
        // Both lines lie in their windows of the fine grid (the second at 0
        // when no value of its window exceeds the search's start value).
        const int32_t anchor = record.position2 - 64, line = record.position1 - 64;
        FUZZ_EXPECT(anchor >= cal::kAnchorWindowFirst && anchor <= cal::kAnchorWindowLast);
        FUZZ_EXPECT((line >= anchor + cal::kSecondLineFromAnchorFirst &&
                     line <= anchor + cal::kSecondLineFromAnchorLast) ||
                    line == 0);
    }
}

void FuzzWideSlit(Input& in) {
    const ExactArray<double> spectrum(in.Spectrum(kElements));
    const CalibrationRecord before = in.Record();
    CalibrationRecord record = before;
    const bool withSpectrum = !in.OneIn(16), withRecord = !in.OneIn(16);
    CallScope scope(in.AllocationToFail());
    const int32_t status = Lumitra_DoWavelengthCalibrationForWideSlit(
        withSpectrum ? spectrum.get() : nullptr, withRecord ? &record : nullptr);
    if (!withSpectrum || !withRecord) {
        FUZZ_EXPECT(status == E_INVALIDARG && SameBytes(record, before));
        return;
    }
    if (CallScope::FailureDelivered()) FUZZ_EXPECT(status == E_OUTOFMEMORY);
    if (status != S_OK) {
        FUZZ_EXPECT(status == E_OUTOFMEMORY || status == E_FAIL);
        FUZZ_EXPECT(SameBytes(record, before));
        return;
    }
    // Both positions moved by the same amount (32-bit wrapping), the
    // anchor to a centre near its window.
    FUZZ_EXPECT(record.wavelength1 == before.wavelength1 &&
                record.wavelength2 == before.wavelength2);
    FUZZ_EXPECT(uint32_t(record.position2) - uint32_t(before.position2) ==
                uint32_t(record.position1) - uint32_t(before.position1));
    const int32_t centre = record.position2 - 64;
    FUZZ_EXPECT(centre >= cal::kAnchorWindowFirst - cal::kHalfHeightSpan &&
                centre <= cal::kAnchorWindowLast + cal::kHalfHeightSpan);
}

void FuzzCombined(Input& in) {
    const int32_t method = Method(in);
    static constexpr int32_t kKinds[] = {0, 1, 0, 1, 2, -1};
    const int32_t kind = in.Flag() ? in.PickFrom(kKinds) : in.Int32();
    const std::vector<double> s1 = in.Spectrum(kElements), s2 = in.Spectrum(kElements);
    const ExactArray<double> first(s1), second(s2);
    const std::vector<double> untouched(kElements, -7.25);
    const ExactArray<double> copy1(untouched), copy2(untouched);
    const bool withCopy1 = in.Flag(), withCopy2 = in.Flag();
    const CalibrationRecord before = in.Record();
    CalibrationRecord record = before;
    SetRefinedPositions(RefinedPosition(in, 385.0), RefinedPosition(in, 148.6));

    CallScope scope(in.AllocationToFail());
    const int32_t status = Lumitra_DoWavelengthCalibrationEx(
        method, first.get(), second.get(), withCopy1 ? copy1.get() : nullptr,
        withCopy2 ? copy2.get() : nullptr, &record, kind);
    if (kind != 0 && kind != 1) FUZZ_EXPECT(status == E_INVALIDARG && SameBytes(record, before));
    const bool copied = status == S_OK && method == 0;
    FUZZ_EXPECT(copy1.Holds(copied && withCopy1 ? s1 : untouched));
    FUZZ_EXPECT(copy2.Holds(copied && withCopy2 && kind == 0 ? s2 : untouched));
    if (kind == 0 && (status == S_OK || status == E_CALIBRATION_RANGE))
        ExpectNewRecord(record, status);
    else if (status != S_OK)
        FUZZ_EXPECT(SameBytes(record, before));
    FUZZ_EXPECT(first.Holds(s1) && second.Holds(s2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    switch (in.InRange(0, 2)) {
        case 0:
            FuzzTwoLines(in);
            break;
        case 1:
            FuzzWideSlit(in);
            break;
        default:
            FuzzCombined(in);
            break;
    }
    return 0;
}
