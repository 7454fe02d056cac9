// The wavelength checks: the holmium and mercury checks with any record
// (degenerate and far-off ones put the search windows anywhere), any
// tolerance, any spectra with optional backgrounds and null pointers; the
// user-defined check with any line list and both spectrum forms.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_expect.h"
#include "fuzz_input.h"
#include "lumitra/lumitra.h"

namespace {

using lumitra::fuzz::CallScope;
using lumitra::fuzz::ExactArray;
using lumitra::fuzz::Input;
using lumitra::fuzz::SameBytes;

constexpr size_t kElements = LUMITRA_ELEMENT_COUNT;

// An optional spectrum of 512 values.
struct Optional {
    std::vector<double> values;
    ExactArray<double> array;
    bool given;
    Optional(Input& in, bool required)
        : values(in.Spectrum(kElements)),
          array(values),
          given(required ? !in.OneIn(16) : in.Flag()) {}
    const double* get() const { return given ? array.get() : nullptr; }
};

WavelengthCheckResult Sentinel() {
    WavelengthCheckResult result;
    std::memset(&result, 0xAB, sizeof result);
    return result;
}

// A lamp check's result: its lines' references, entries beyond the lines
// (and those of lines not measured) untouched, verdicts that agree with
// the deviations.
void ExpectLampResult(const WavelengthCheckResult& r, const std::vector<double>& references,
                      int measured, double tolerance, bool evaluated) {
    const WavelengthCheckResult sentinel = Sentinel();
    FUZZ_EXPECT(r.lineCount == int16_t(references.size()));
    FUZZ_EXPECT(std::memcmp(r.padding, sentinel.padding, sizeof r.padding) == 0);
    for (size_t i = 0; i < 8; ++i) {
        const bool line = i < references.size();
        if (line)
            FUZZ_EXPECT(r.referenceWavelength[i] == references[i]);
        else
            FUZZ_EXPECT(
                std::memcmp(&r.referenceWavelength[i], &sentinel.referenceWavelength[i], 8) == 0);
        const bool written = evaluated && int(i) < measured;
        if (!written) {
            FUZZ_EXPECT(std::memcmp(&r.measuredWavelength[i], &sentinel.measuredWavelength[i], 8) ==
                        0);
            FUZZ_EXPECT(std::memcmp(&r.deviation[i], &sentinel.deviation[i], 8) == 0);
            FUZZ_EXPECT(r.withinTolerance[i] == sentinel.withinTolerance[i]);
            continue;
        }
        FUZZ_EXPECT(r.withinTolerance[i] == 0 || r.withinTolerance[i] == 1);
        if (r.withinTolerance[i] == 1)
            FUZZ_EXPECT(std::fabs(r.deviation[i]) <= std::fabs(tolerance));
    }
}

void FuzzLampCheck(Input& in, bool holmium) {
    const int32_t reserved = in.Int32();
    const double tolerance = in.Flag() ? in.InRange<int32_t>(-100, 100) / 100.0 : in.Double();
    const CalibrationRecord before = in.Record();
    CalibrationRecord calibration = before;
    const bool withCalibration = !in.OneIn(16), withResult = !in.OneIn(16);
    const Optional d2Background(in, false), d2(in, true), other1(in, !holmium),
        other2(in, !holmium), otherBackground(in, false);
    WavelengthCheckResult result = Sentinel();
    const WavelengthCheckResult untouched = result;

    CallScope scope(in.AllocationToFail());
    const CalibrationRecord* record = withCalibration ? &calibration : nullptr;
    WavelengthCheckResult* out = withResult ? &result : nullptr;
    const int32_t status =
        holmium ? Lumitra_DoWavelengthCheckD2Ho(reserved, tolerance, record, d2Background.get(),
                                                d2.get(), otherBackground.get(), other1.get(), out)
                : Lumitra_DoWavelengthCheckD2Hg(reserved, tolerance, record, d2Background.get(),
                                                d2.get(), other1.get(), other2.get(), out);
    FUZZ_EXPECT(SameBytes(calibration, before));
    for (const Optional* s : {&d2Background, &d2, &other1, &other2, &otherBackground})
        FUZZ_EXPECT(s->array.Holds(s->values));
    const bool valid =
        withCalibration && withResult && d2.given && (holmium || (other1.given && other2.given));
    if (!valid) {
        FUZZ_EXPECT(status == E_INVALIDARG && SameBytes(result, untouched));
        return;
    }
    FUZZ_EXPECT(status == S_OK || status == E_OUTOFMEMORY);
    if (CallScope::FailureDelivered()) FUZZ_EXPECT(status == E_OUTOFMEMORY);
    // A failed allocation leaves only the references, except the filter's
    // (holmium check): then every line is evaluated on unfiltered data.
    const bool evaluated = status == S_OK || std::memcmp(&result.withinTolerance[0],
                                                         &untouched.withinTolerance[0], 4) != 0;
    if (holmium) {
        FUZZ_EXPECT(status == S_OK || !evaluated || other1.given);
        ExpectLampResult(result, {486.0, 656.1, 287.6, 360.8}, other1.given ? 4 : 2, tolerance,
                         evaluated);
    } else {
        FUZZ_EXPECT(status == S_OK || !evaluated);
        ExpectLampResult(result, {486.0, 656.1, 253.7, 404.7, 435.8, 546.1}, 6, tolerance,
                         evaluated);
    }
}

// Line targets near the lamps' lines, at the grid's edges, or anywhere.
UserCheckLine RandomLine(Input& in) {
    static constexpr int32_t kTargets[] = {25370, 40470, 43580, 54610, 65610,
                                           19000, 80000, 18999, 80001, 19005};
    UserCheckLine line;
    std::memset(&line, 0xCD, sizeof line);
    line.targetWavelength = in.Flag() ? in.Int32() : in.PickFrom(kTargets) + in.InRange(-300, 300);
    line.halfWindow = in.Flag() ? in.Int32() : in.InRange(0, 500);
    line.allowedDeviation = in.Flag() ? in.Int32() : in.InRange(-5, 200);
    line.findMinimum = in.Flag() ? in.Int32() : in.InRange(0, 1);
    return line;
}

void FuzzUserCheck(Input& in) {
    const int32_t display = in.Flag() ? 0 : in.Int32();
    const size_t n = display == 0 ? kElements : LUMITRA_DISPLAY_GRID_COUNT;
    const std::vector<double> a = in.Spectrum(n), b = in.Spectrum(n);
    const ExactArray<double> first(a), second(b);
    const CalibrationRecord calibration = in.Record();
    UserCheckList list;
    std::memset(&list, 0xEE, sizeof list);
    list.checkCount = in.OneIn(4) ? in.Int16() : in.InRange<int16_t>(1, 4);
    list.option = in.OneIn(4) ? in.Int16() : in.InRange<int16_t>(0, 3);
    for (auto& line : list.lines) line = RandomLine(in);
    const UserCheckList before = list;
    const bool withCalibration = !in.OneIn(16), withFirst = !in.OneIn(16),
               withSecond = !in.OneIn(16), withList = !in.OneIn(16);

    CallScope scope(in.AllocationToFail());
    const int32_t status = Lumitra_DoUserDefinedWavelengthCheck(
        display, withCalibration ? &calibration : nullptr, withFirst ? first.get() : nullptr,
        withSecond ? second.get() : nullptr, withList ? &list : nullptr);
    FUZZ_EXPECT(first.Holds(a) && second.Holds(b));
    bool valid = withCalibration && withFirst && withSecond && withList && before.checkCount >= 1 &&
                 before.checkCount <= 4 && before.option >= 0 && before.option <= 3;
    for (int i = 0; valid && i < before.checkCount; ++i) valid = before.lines[i].halfWindow >= 0;
    if (!valid) {
        FUZZ_EXPECT(status == E_INVALIDARG && SameBytes(list, before));
        return;
    }
    FUZZ_EXPECT(status == S_OK || status == E_OUTOFMEMORY || status == E_FAIL);
    FUZZ_EXPECT(list.checkCount == before.checkCount && list.option == before.option);
    // Lines are evaluated in order until one fails; the rest stay as given,
    // and the inputs and reserved words of every line too.
    int written = 0;
    for (int i = 0; i < 4; ++i) {
        const UserCheckLine& line = list.lines[i];
        const UserCheckLine& given = before.lines[i];
        FUZZ_EXPECT(line.targetWavelength == given.targetWavelength &&
                    line.halfWindow == given.halfWindow &&
                    line.allowedDeviation == given.allowedDeviation &&
                    line.findMinimum == given.findMinimum);
        FUZZ_EXPECT(std::memcmp(line.reserved, given.reserved, sizeof line.reserved) == 0);
        if (SameBytes(line, given)) continue;
        FUZZ_EXPECT(i == written++);
        const int64_t found = line.foundWavelength;
        FUZZ_EXPECT(found >= int64_t(line.targetWavelength) - line.halfWindow &&
                    found <= int64_t(line.targetWavelength) + line.halfWindow);
        FUZZ_EXPECT(found >= 19000 && found <= 80000);
        FUZZ_EXPECT(line.difference == line.targetWavelength - line.foundWavelength);
        FUZZ_EXPECT(line.passed == (std::llabs(line.difference) <= line.allowedDeviation ? 1 : 0));
    }
    if (status == S_OK)
        FUZZ_EXPECT(written == list.checkCount);
    else if (status == E_FAIL)
        FUZZ_EXPECT(written < list.checkCount);
    else
        FUZZ_EXPECT(written == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    switch (in.InRange(0, 2)) {
        case 0:
            FuzzLampCheck(in, true);
            break;
        case 1:
            FuzzLampCheck(in, false);
            break;
        default:
            FuzzUserCheck(in);
            break;
    }
    return 0;
}
