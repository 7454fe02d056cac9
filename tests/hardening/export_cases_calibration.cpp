// Representative calls of the calibration and check exports, on lamp
// spectra of a detector with a known calibration.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "checks/lamp_spectra.h"
#include "export_cases.h"
#include "lumitra/lumitra.h"

namespace lumitra::test {
namespace {

constexpr CalibrationRecord kTruth{36080, 9420, 65610, 24580};
constexpr CalibrationRecord kStored{36080, 9376, 65610, 24528};
constexpr int32_t kNotCalled = 0x7A7A7A7A;

const Lamps& Spectra() {
    static const Lamps lamps = MakeLamps(kTruth);
    return lamps;
}

// A dark spectrum, and a lamp spectrum with the dark on top of it.
std::vector<double> Dark() { return std::vector<double>(LUMITRA_ELEMENT_COUNT, 37.5); }
std::vector<double> WithDark(const std::vector<double>& spectrum) {
    std::vector<double> sum = spectrum;
    for (double& v : sum) v += 37.5;
    return sum;
}

// ----------------------------------------------------------- calibration

ExportCase CalibrationCase(const char* input, int32_t method, bool withDarks) {
    return {"Lumitra_DoWavelengthCalibration", input, [=](bool call) {
                const auto dark = Dark();
                const auto first = withDarks ? WithDark(Spectra().d2) : Spectra().d2;
                const auto second = withDarks ? WithDark(Spectra().holmium) : Spectra().holmium;
                const double* darkOrNone = withDarks ? dark.data() : nullptr;
                CalibrationRecord record{-1, -2, -3, -4};
                Outcome o;
                o.status = call
                               ? Lumitra_DoWavelengthCalibration(method, darkOrNone, first.data(),
                                                                 darkOrNone, second.data(), &record)
                               : kNotCalled;
                o.Add(record);
                return o;
            }};
}

ExportCase WideSlitCase(const char* input, double sigma) {
    return {
        "Lumitra_DoWavelengthCalibrationForWideSlit", input, [=](bool call) {
            const auto spectrum = SyntheticSpectrum({{PositionOf(kTruth, 656.1), 9000.0, sigma}});
            CalibrationRecord record = kStored;
            Outcome o;
            o.status = call ? Lumitra_DoWavelengthCalibrationForWideSlit(spectrum.data(), &record)
                            : kNotCalled;
            o.Add(record);
            return o;
        }};
}

ExportCase CalibrationExCase(const char* input, int32_t kind) {
    return {"Lumitra_DoWavelengthCalibrationEx", input, [=](bool call) {
                std::vector<double> copy1(LUMITRA_ELEMENT_COUNT, -1.0), copy2 = copy1;
                CalibrationRecord record = kStored;
                Outcome o;
                o.status = call ? Lumitra_DoWavelengthCalibrationEx(
                                      0, Spectra().d2.data(), Spectra().holmium.data(),
                                      copy1.data(), copy2.data(), &record, kind)
                                : kNotCalled;
                o.Add(record).AddArray(copy1.data(), copy1.size());
                o.AddArray(copy2.data(), copy2.size());
                return o;
            }};
}

// ---------------------------------------------------------------- checks

WavelengthCheckResult Sentinel() {
    WavelengthCheckResult result;
    std::memset(&result, 0xAB, sizeof result);
    return result;
}

WavelengthCheckResult ResultOf(const Outcome& o) {
    WavelengthCheckResult result;
    EXPECT_EQ(o.state.size(), sizeof result);
    std::memcpy(&result, o.state.data(), sizeof result);
    return result;
}

// What a check leaves when its working memory fails: the line count and
// the reference wavelengths, nothing else.
WavelengthCheckResult OnlyReferences(const WavelengthCheckResult& reference) {
    WavelengthCheckResult result = Sentinel();
    result.lineCount = reference.lineCount;
    std::memcpy(result.referenceWavelength, reference.referenceWavelength,
                sizeof result.referenceWavelength);
    return result;
}

// Entry i of every array of the result.
bool SameEntry(const WavelengthCheckResult& a, const WavelengthCheckResult& b, int i) {
    return std::memcmp(&a.measuredWavelength[i], &b.measuredWavelength[i], 8) == 0 &&
           std::memcmp(&a.deviation[i], &b.deviation[i], 8) == 0 &&
           std::memcmp(&a.lineWidth[i], &b.lineWidth[i], 8) == 0 &&
           a.withinTolerance[i] == b.withinTolerance[i];
}

// A failed allocation of the working memory leaves only the references; a
// failed filter (holmium check) evaluates every line on unfiltered data:
// the deuterium lines as in the reference, the holmium bands written.
void ExpectCheckFailure(const Outcome& o, const Outcome&, const Outcome& reference) {
    EXPECT_EQ(o.status, E_OUTOFMEMORY);
    const WavelengthCheckResult expected = ResultOf(reference);
    const WavelengthCheckResult partial = OnlyReferences(expected);
    const WavelengthCheckResult seen = ResultOf(o);
    if (std::memcmp(&seen, &partial, sizeof seen) == 0) return;
    ASSERT_EQ(expected.lineCount, 4) << "only the holmium check evaluates after a failure";
    EXPECT_TRUE(SameEntry(seen, expected, 0) && SameEntry(seen, expected, 1));
    EXPECT_FALSE(SameEntry(seen, partial, 2) || SameEntry(seen, partial, 3));
}

template <typename Call>
ExportCase CheckCase(const char* name, const char* input, Call check) {
    return {name, input,
            [=](bool call) {
                WavelengthCheckResult result = Sentinel();
                Outcome o;
                o.status = call ? check(&result) : kNotCalled;
                o.Add(result);
                return o;
            },
            ExpectCheckFailure};
}

ExportCase HolmiumCase(const char* input, bool withHolmium, bool withBackgrounds) {
    return CheckCase("Lumitra_DoWavelengthCheckD2Ho", input, [=](WavelengthCheckResult* result) {
        const auto dark = Dark();
        const auto d2 = withBackgrounds ? WithDark(Spectra().d2) : Spectra().d2;
        const auto ho = withBackgrounds ? WithDark(Spectra().holmium) : Spectra().holmium;
        const double* background = withBackgrounds ? dark.data() : nullptr;
        return Lumitra_DoWavelengthCheckD2Ho(0, 0.2, &kStored, background, d2.data(), background,
                                             withHolmium ? ho.data() : nullptr, result);
    });
}

ExportCase MercuryCase(const char* input, bool withBackground, CalibrationRecord record) {
    return CheckCase("Lumitra_DoWavelengthCheckD2Hg", input, [=](WavelengthCheckResult* result) {
        const auto dark = Dark();
        const auto& s = Spectra();
        const auto d2 = withBackground ? WithDark(s.d2) : s.d2;
        const auto hg1 = withBackground ? WithDark(s.hg1) : s.hg1;
        const auto hg2 = withBackground ? WithDark(s.hg2) : s.hg2;
        return Lumitra_DoWavelengthCheckD2Hg(0, -0.3, &record,
                                             withBackground ? dark.data() : nullptr, d2.data(),
                                             hg1.data(), hg2.data(), result);
    });
}

// Two lines of the difference of a mercury spectrum and its dark: one as
// a peak, one as a valley (on the negated difference).
ExportCase UserCheckCase(const char* input, int32_t display) {
    return {"Lumitra_DoUserDefinedWavelengthCheck", input,
            [=](bool call) {
                std::vector<double> first, second;
                if (display == 0) {
                    first = Dark();
                    second = WithDark(Spectra().hg2);
                } else {
                    // The display grid: a peak at 435 nm, a dip at 546 nm.
                    first.assign(LUMITRA_DISPLAY_GRID_COUNT, 10.0);
                    second = first;
                    second[435 - 190] += 500.0;
                    second[546 - 190] -= 300.0;
                }
                UserCheckList list{};
                list.checkCount = 2;
                list.option = 1;
                list.lines[0] = {43580, 150, 20, -1, -1, 0, -1, {}};
                list.lines[1] = {54610, 200, 20, -1, -1, 1, -1, {}};
                if (display == 0) list.lines[1].findMinimum = 0;
                Outcome o;
                o.status = call ? Lumitra_DoUserDefinedWavelengthCheck(
                                      display, &kTruth, first.data(), second.data(), &list)
                                : kNotCalled;
                o.Add(list);
                return o;
            },
            ExpectSplineSetUpFailure};
}

}  // namespace

std::vector<ExportCase> CalibrationCases() {
    return {
        CalibrationCase("fine grid, with darks", 0, true),
        CalibrationCase("fine grid, no darks", 0, false),
        CalibrationCase("refinement method, sibling absent", 5, false),
        WideSlitCase("wide line", 3.0),
        WideSlitCase("narrow line", 1.0),
        CalibrationExCase("two-line calibration with copies", 0),
        CalibrationExCase("wide slit with copy", 1),
    };
}

std::vector<ExportCase> CheckCases() {
    return {
        HolmiumCase("deuterium and holmium", true, false),
        HolmiumCase("with backgrounds", true, true),
        HolmiumCase("deuterium only", false, false),
        MercuryCase("stored record", false, kStored),
        MercuryCase("uncalibrated, with background", true, CalibrationRecord{0, 0, 0, 0}),
        UserCheckCase("element spectra", 0),
        UserCheckCase("display grid", 1),
    };
}

}  // namespace lumitra::test
