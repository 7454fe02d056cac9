#include "export_cases.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "chromdata/sibling_standin.h"
#include "chromdata/spectrum_source_standin.h"
#include "support/detector.h"
#include "support/new_failure.h"
#if !defined(_WIN32)
#include "lumitra/lumitra_rules.h"
#endif

namespace lumitra::test {

namespace {

using Check = std::function<void(const Outcome&, const Outcome&, const Outcome&)>;

// A failed allocation: this status, and the state `expected` describes.
Check FailsWith(Outcome expected, int32_t status = E_OUTOFMEMORY) {
    return [=](const Outcome& o, const Outcome&, const Outcome&) {
        EXPECT_EQ(o.status, status);
        EXPECT_EQ(o.state, expected.state);
    };
}

constexpr CalibrationRecord kUncalibrated{0, 0, 0, 0};
constexpr CalibrationRecord kStored{36080, 9376, 65610, 24528};  // 656.1 nm at 383.25
// The true calibration of the simulated detector: 52/64 element from kStored.
constexpr CalibrationRecord kTruth{36080, 9420, 65610, 24580};

const Lamps& TruthLamps() {
    static const Lamps lamps = MakeLamps(kTruth);
    return lamps;
}
std::vector<double> Plus(std::vector<double> a, const std::vector<double>& b) {
    for (size_t i = 0; i < a.size(); ++i) a[i] += b[i];
    return a;
}
// A dark spectrum with structure: a hot element next to the 656.1 nm line,
// which only a subtraction removes.
const std::vector<double>& Dark() {
    static const auto dark = Spectrum({{PositionOf(kTruth, 656.1) + 6.0, 40000.0, 0.8}}, 12.0, 0.02);
    return dark;
}


ExportCase TableCase(const char* input, bool forDisplay, int32_t display, CalibrationRecord record,
                     int16_t n, int32_t status, int32_t first, int32_t last) {
    auto run = [=](const Invoke& call) {
        int32_t* table = reinterpret_cast<int32_t*>(uintptr_t{0x10});
        int32_t count = kNotCalled;
        Outcome o;
        o.status = forDisplay ? call(&Lumitra_GetWavelengthTableForDisplay, display, &record, n, &table, &count)
                              : call(&Lumitra_GetWavelengthTable, display, &record, n, &table, &count);
        const int32_t entries = forDisplay && display != 0 ? 611 : 512;
        o.Expect(o.status == status, "status");
        if (o.status == S_OK) {
            o.Expect(count == n * entries && table[0] == first && table[entries - 1] == last, "table");
            for (int32_t i = entries; i < count; ++i) o.Expect(table[i] == 0, "zeros after the table");
        }
        o.Add(count).AddReturned(o.status == S_OK ? table : nullptr, o.status == S_OK ? size_t(count) : 0);
        return o;
    };
    // No table, a count of 0.
    return {forDisplay ? "Lumitra_GetWavelengthTableForDisplay" : "Lumitra_GetWavelengthTable", input, run,
            FailsWith(Outcome().Add(int32_t{0}).AddReturned(static_cast<int32_t*>(nullptr), 0))};
}

std::vector<uint32_t> Counted(std::vector<uint32_t> entries) {
    entries.insert(entries.begin(), uint32_t(entries.size()));
    return entries;
}

ExportCase ComparisonCase(const char* input, std::vector<uint32_t> a, std::vector<uint32_t> b,
                          uint16_t startA, uint16_t endA, uint16_t startB) {
    auto run = [=](const Invoke& call) {
        uint16_t out[3] = {1, 2, 3};
        Outcome o;
        o.status = call(&Lumitra_IsWavelengthTableEqual, a.data(), b.data(), &out[0], &out[1], &out[2]);
        o.Expect(o.status == S_OK && out[0] == startA && out[1] == endA && out[2] == startB, "stretch");
        return o.AddArray(out, 3);
    };
    const uint16_t none[3] = {65535, 65535, 65535};  // no texts' buffer: no stretch
    return {"Lumitra_IsWavelengthTableEqual", input, run, FailsWith(Outcome().AddArray(none, 3))};
}

const int32_t kLookup[3] = {19000, 19100, 19200};

ExportCase NearestCase(int32_t target, int32_t n, int32_t index) {
    return {"Lumitra_FindTargetElement", std::to_string(target), [=](const Invoke& call) {
                Outcome o;
                o.status = call(&Lumitra_FindTargetElement, target, kLookup, n);
                return o.Expect(o.status == index, "index"), o;
            }};
}

// Equal wavelengths and no entries (n 0) need no table.
ExportCase RangeCase(int32_t w1, int32_t w2, uint16_t first, uint16_t last, int32_t n = 3) {
    return {"Lumitra_GetElementIndexFromWavelengthTable", std::to_string(w1) + ".." + std::to_string(w2),
            [=](const Invoke& call) {
                uint16_t range[2] = {7, 7};
                Outcome o;
                o.status = call(&Lumitra_GetElementIndexFromWavelengthTable, w1, w2, n > 0 ? kLookup : nullptr, n,
                                &range[0], &range[1]);
                o.Expect(o.status == S_OK && range[0] == first && range[1] == last, "range");
                return o.AddArray(range, 2);
            }};
}

ExportCase ElementCase(CalibrationRecord record, int32_t wavelength, double element) {
    return {"Lumitra_GetPdaCorrectedEleNo", std::to_string(wavelength), [=](const Invoke& call) {
                double position = -1.0;
                Outcome o;
                o.status = call(&Lumitra_GetPdaCorrectedEleNo, 0, &record, wavelength, &position);
                o.Expect(o.status == S_OK && std::fabs(position - element) < 5e-6, "element");
                return o.Add(position);
            }};
}


// n samples at 1, 2, ... with a bump in the middle; sub-step mode with 64
// steps (4 for three samples) or midpoint mode. Out of memory after the
// outputs were cleared.
ExportCase SplineCase(const char* input, int32_t mode, int32_t n) {
    const int32_t steps = n == 3 ? 4 : 64, outCount = mode == 0 ? 8 * n + 2 : steps * n + 1;
    auto arrays = [=](double outX, int32_t outY, Outcome& o, const Invoke* call) {
        std::vector<double> inX(size_t(outCount) + 1, 0.0), oX(inX.size(), outX);
        std::vector<int32_t> inY(inX.size(), 0), oY(inX.size(), outY);
        for (int32_t i = 0; i < n; ++i) {
            inX[size_t(i)] = i + 1.0;
            inY[size_t(i)] = n == 3 ? 64 * (i == 1) : 100 * i + (i == n / 2 ? 5000 : 0);
        }
        oX.back() = -1.0;
        oY.back() = -1;
        const std::vector<int32_t> given = inY;
        SplineRequest request{mode, inX.data(), inY.data(), oX.data(), oY.data(), 0, 1.0, double(n), outCount, steps};
        if (call != nullptr) o.status = (*call)(&Lumitra_SplineInterpolation, &request);
        // Through every knot, abscissae refined linearly.
        const size_t per = mode == 0 ? 8 : size_t(steps);
        o.Expect(o.status == S_OK && oX[per] == 2.0 && oX[per / 2] == 1.5, "abscissae");
        for (int32_t i = 0; mode != 0 && i + 1 < n; ++i) o.Expect(oY[per * size_t(i)] == given[size_t(i)], "knot");
        if (n == 3) o.Expect(oY[2] == 32 && oX[12] == 4.0, "three-sample spline");
        o.AddArray(inX.data(), inX.size()).AddArray(inY.data(), inY.size());
        o.AddArray(oX.data(), oX.size()).AddArray(oY.data(), oY.size());
    };
    Outcome cleared;
    arrays(0.0, 0, cleared, nullptr);
    return {"Lumitra_SplineInterpolation", input,
            [=](const Invoke& call) {
                Outcome o;
                arrays(-1.0, -1, o, &call);
                return o;
            },
            FailsWith(cleared)};
}

ExportCase FilterCase(const char* input, int32_t count, uint32_t halfWidth) {
    return {"Lumitra_FiltrateLowFrequency", input, [=](const Invoke& call) {
                std::vector<double> signal(static_cast<size_t>(count));
                for (int32_t i = 0; i < count; ++i) signal[size_t(i)] = (i * 37) % 101 + 0.25 * i;
                if (count == 5) signal = {1, 2, 3, 4, 10};
                const std::vector<double> given = signal;
                Outcome o;
                o.status = call(&Lumitra_FiltrateLowFrequency, signal.data(), count, halfWidth);
                o.Expect(o.status == S_OK, "status");
                // Windows {1,2}, {1,2,3}, {2,3,4}, {3,4,10}, {4,10}.
                if (count == 5) o.Expect(signal == std::vector<double>{-0.5, 0, 0, 4.0 - 17.0 / 3.0, 3}, "five samples");
                if (halfWidth == 0) o.Expect(signal == given, "half-width 0 changes nothing");
                return o.AddArray(signal.data(), signal.size());
            }};
}


ExportCase CalibrationCase(const char* input, int32_t method, bool withDarks) {
    return {"Lumitra_DoWavelengthCalibration", input, [=](const Invoke& call) {
                const auto first = withDarks ? Plus(TruthLamps().d2, Dark()) : TruthLamps().d2;
                const auto second = withDarks ? Plus(TruthLamps().holmium, Dark()) : TruthLamps().holmium;
                const double* dark = withDarks ? Dark().data() : nullptr;
                CalibrationRecord record{-1, -2, -3, -4};
                Outcome o;
                o.status = call(&Lumitra_DoWavelengthCalibration, method, dark, first.data(), dark, second.data(), &record);
                if (method != 0)
                    o.Expect(o.status == E_FAIL && record.position2 == -4, "no refinement sibling");
                else
                    o.Expect(o.status == S_OK && record.wavelength1 == 36080 && record.wavelength2 == 65610 &&
                                 std::abs(record.position1 - kTruth.position1) <= 2 &&
                                 std::abs(record.position2 - kTruth.position2) <= 2,
                             "record");
                return o.Add(record);
            }};
}

// Both positions move by the same amount onto the line.
ExportCase WideSlitCase(const char* input, double sigma) {
    return {"Lumitra_DoWavelengthCalibrationForWideSlit", input, [=](const Invoke& call) {
                const auto spectrum = Spectrum({{PositionOf(kTruth, 656.1), 9000.0, sigma}});
                CalibrationRecord record = kStored;
                Outcome o;
                o.status = call(&Lumitra_DoWavelengthCalibrationForWideSlit, spectrum.data(), &record);
                o.Expect(o.status == S_OK && std::abs(record.position2 - kTruth.position2) <= 1 &&
                             record.position1 - kStored.position1 == record.position2 - kStored.position2,
                         "record");
                return o.Add(record);
            }};
}

ExportCase CalibrationExCase(const char* input, int32_t kind) {
    return {"Lumitra_DoWavelengthCalibrationEx", input, [=](const Invoke& call) {
                std::vector<double> copy1(LUMITRA_ELEMENT_COUNT, -1.0), copy2 = copy1;
                CalibrationRecord record = kStored;
                const Lamps& l = TruthLamps();
                Outcome o;
                o.status = call(&Lumitra_DoWavelengthCalibrationEx, 0, l.d2.data(), l.holmium.data(), copy1.data(),
                                copy2.data(), &record, kind);
                const bool copied1 = copy1 == l.d2, copied2 = copy2 == l.holmium;
                if (kind == 0) o.Expect(o.status == S_OK && copied1 && copied2, "both copies");
                if (kind == 1) o.Expect(o.status == S_OK && copied1 && copy2[0] == -1.0, "one copy");
                if (kind > 1) o.Expect(o.status == E_INVALIDARG && copy1[0] == -1.0 && record.position2 == 24528, "refused");
                return o.Add(record).AddArray(copy1.data(), copy1.size()).AddArray(copy2.data(), copy2.size());
            }};
}


WavelengthCheckResult Sentinel() {
    WavelengthCheckResult result;
    std::memset(&result, 0xAB, sizeof result);
    return result;
}

// After a failed allocation only the line count and the references are
// written; a failing filter (holmium check) leaves every line evaluated on
// unfiltered data: the deuterium lines as in the complete call.
void ExpectCheckFailure(const Outcome& o, const Outcome&, const Outcome& complete) {
    EXPECT_EQ(o.status, E_OUTOFMEMORY);
    WavelengthCheckResult expected, seen, partial = Sentinel();
    std::memcpy(&expected, complete.state.data(), sizeof expected);
    std::memcpy(&seen, o.state.data(), sizeof seen);
    partial.lineCount = expected.lineCount;
    std::memcpy(partial.referenceWavelength, expected.referenceWavelength, sizeof partial.referenceWavelength);
    if (std::memcmp(&seen, &partial, sizeof seen) == 0) return;
    EXPECT_EQ(expected.lineCount, 4) << "only the holmium check evaluates after a failure";
    EXPECT_EQ(std::memcmp(seen.measuredWavelength, expected.measuredWavelength, 16), 0);
    EXPECT_EQ(std::memcmp(seen.withinTolerance, expected.withinTolerance, 8), 0);
}

// The detector is calibrated as the record says: every line within 0.1 nm
// and passed; without a holmium spectrum its bands keep their references
// only. With darks, each spectrum carries the structured dark.
ExportCase CheckCase(const char* input, bool mercury, bool withDarks, bool withHolmium = true) {
    return {mercury ? "Lumitra_DoWavelengthCheckD2Hg" : "Lumitra_DoWavelengthCheckD2Ho", input,
            [=](const Invoke& call) {
                WavelengthCheckResult result = Sentinel();
                const Lamps& l = TruthLamps();
                const double* dark = withDarks ? Dark().data() : nullptr;
                auto lit = [&](const std::vector<double>& s) { return withDarks ? Plus(s, Dark()) : s; };
                const auto d2 = lit(l.d2), ho = lit(l.holmium), hg1 = lit(l.hg1), hg2 = lit(l.hg2);
                Outcome o;
                o.status = mercury ? call(&Lumitra_DoWavelengthCheckD2Hg, 0, -0.3, &kTruth, dark, d2.data(), hg1.data(),
                                          hg2.data(), &result)
                                   : call(&Lumitra_DoWavelengthCheckD2Ho, 0, 0.2, &kTruth, dark, d2.data(), dark,
                                          withHolmium ? ho.data() : nullptr, &result);
                const int lines = mercury ? 6 : 4, measured = withHolmium ? lines : 2;
                o.Expect(o.status == S_OK && result.lineCount == lines && result.referenceWavelength[1] == 656.1,
                         "status and references");
                for (int i = 0; i < lines; ++i)
                    o.Expect(i < measured ? std::fabs(result.deviation[i]) < 0.1 && result.withinTolerance[i] == 1 &&
                                                result.lineWidth[i] > 0.5
                                          : result.referenceWavelength[i] > 0 &&
                                                result.withinTolerance[i] == int32_t(0xABABABAB),
                             "line " + std::to_string(result.referenceWavelength[i]));
                return o.Add(result);
            },
            ExpectCheckFailure};
}

// Built on the cubic spline, whose set-up does not test the value array it
// allocates and reports its absence later as E_FAIL; nothing written.
void ExpectSplineSetUpFailure(const Outcome& o, const Outcome& untouched, const Outcome&) {
    EXPECT_TRUE(o.status == E_OUTOFMEMORY || o.status == E_FAIL) << o.status;
    EXPECT_EQ(o.state, untouched.state);
}

// Two mercury lines of hg2 less its dark (element spectra), or a peak at
// 435 nm and a dip at 546 nm on the display grid, found at the low end of
// each rounded flat top (ties keep it).
ExportCase UserCheckCase(const char* input, int32_t display) {
    return {"Lumitra_DoUserDefinedWavelengthCheck", input,
            [=](const Invoke& call) {
                std::vector<double> first = Dark(), second = Plus(TruthLamps().hg2, Dark());
                if (display != 0) {
                    first.assign(LUMITRA_DISPLAY_GRID_COUNT, 10.0);
                    second = first;
                    second[435 - 190] += 500.0;
                    second[546 - 190] -= 300.0;
                }
                UserCheckList list{};
                list.checkCount = 2;
                list.option = 3;
                list.lines[0] = {43580, 150, 20, -1, -1, 0, -1, {}};
                list.lines[1] = {54610, 200, 20, -1, -1, display, -1, {}};
                Outcome o;
                o.status = call(&Lumitra_DoUserDefinedWavelengthCheck, display, &kTruth, first.data(), second.data(),
                                &list);
                const UserCheckLine &a = list.lines[0], &b = list.lines[1];
                if (display == 0)
                    o.Expect(o.status == S_OK && std::abs(a.difference) <= 8 && a.passed == 1 &&
                                 std::abs(b.difference) <= 8 && b.passed == 1, "lines found");
                else
                    o.Expect(o.status == S_OK && a.foundWavelength == 43498 && a.difference == 82 && a.passed == 0 &&
                                 b.foundWavelength == 54598 && b.difference == 12 && b.passed == 1,
                             "grid lines found");
                return o.Add(list);
            },
            ExpectSplineSetUpFailure};
}


// display != 0: the display grid with 5 at 230 nm and the band maximum 9 at
// 250 nm and again at 255 nm (deuterium; ties keep the lower); display 0: knots every 50 nm from 500 nm whose
// maximum 30 is the knot at 600 nm (tungsten), whatever follows up to the
// 1024 knots a spline takes; too few or too many knots.
ExportCase LampCase(const char* input, bool deuterium, int32_t display, int32_t n) {
    const auto maxInfo = deuterium ? &Lumitra_GetD2LampSpectrumMaxInfo : &Lumitra_GetWLampSpectrumMaxInfo;
    auto run = [=](const Invoke& call) {
        std::vector<int32_t> wavelengths(size_t(std::max(n, 5)));
        std::vector<double> spectrum(std::max<size_t>(wavelengths.size(), LUMITRA_DISPLAY_GRID_COUNT), 1.0);
        for (size_t i = 0; display == 0 && i < wavelengths.size(); ++i) {
            wavelengths[i] = int32_t(50000 + 5000 * i);
            spectrum[i] = i <= 2 ? 10.0 * double(i + 1) : 10.0 * (5.0 - double(i));
        }
        if (display != 0) spectrum[40] = 5.0, spectrum[60] = spectrum[65] = 9.0;
        double values[2] = {-1.0, -2.0};
        int32_t wavelength = kNotCalled;
        Outcome o;
        o.status = call(maxInfo, display, wavelengths.data(), n, spectrum.data(), &values[0], &values[1], &wavelength);
        if (display != 0)
            o.Expect(o.status == S_OK && values[0] == 5.0 && values[1] == 9.0 && wavelength == 25000, "deuterium");
        else if (n >= 5 && n <= 1024)
            o.Expect(o.status == S_OK && values[0] == 30.0 && values[1] == 30.0 && wavelength == 60000, "tungsten");
        else
            o.Expect(o.status == (n > 1024 ? E_INVALIDARG : E_FAIL) && values[0] == -1.0, "refused");
        return o.AddArray(values, 2).Add(wavelength);
    };
    return {deuterium ? "Lumitra_GetD2LampSpectrumMaxInfo" : "Lumitra_GetWLampSpectrumMaxInfo", input, run,
            ExpectSplineSetUpFailure};
}

ExportCase MaxVoltageCase(const char* input, int32_t count, int32_t maximum) {
    return {"Lumitra_GetMaxVoltage", input, [=](const Invoke& call) {
                const double values[4] = {1.9, std::nan(""), 2.7, -3.0};
                int32_t found = kNotCalled;
                Outcome o;
                o.status = call(&Lumitra_GetMaxVoltage, values, count, &found);
                o.Expect(o.status == S_OK && found == maximum, "maximum");
                return o.Add(found);
            }};
}


// Peaks 1..3 with retention times 100, 200, 300, each from 50 + 100k to
// 149 + 100k, on one base that begins at the first; `count` 0: no peak.
std::vector<unsigned char> PeakTable(int32_t count = 3) {
    std::vector<unsigned char> table(4 + 3 * LUMITRA_PEAK_RECORD_SIZE, 0);
    const int32_t baseStart = 0x10;
    std::memcpy(table.data(), &count, 4);
    std::memcpy(table.data() + LUMITRA_PEAK_FLAGS_OFFSET, &baseStart, 4);
    for (int32_t k = 0; k < 3; ++k) {
        const int32_t times[3] = {100 + 100 * k, 50 + 100 * k, 149 + 100 * k};
        const size_t at = size_t(k) * LUMITRA_PEAK_RECORD_SIZE;
        std::memcpy(&table[at + LUMITRA_PEAK_RETENTION_TIME_OFFSET], &times[0], 4);
        std::memcpy(&table[at + LUMITRA_PEAK_START_TIME_OFFSET], &times[1], 8);
    }
    return table;
}

// The outputs are written only on success.
template <typename Export>
ExportCase PeakPairCase(const char* name, Export function, int32_t peaks, int32_t argument, int32_t status,
                        int32_t first, int32_t last) {
    return {name, std::to_string(peaks) + " peaks, " + std::to_string(argument), [=](const Invoke& call) {
                const auto table = PeakTable(peaks);
                int32_t out[2] = {kNotCalled, kNotCalled};
                Outcome o;
                o.status = call(function, table.data(), argument, &out[0], &out[1]);
                const bool written = status == S_OK;
                o.Expect(o.status == status && out[0] == (written ? first : kNotCalled) &&
                             out[1] == (written ? last : kNotCalled),
                         "base");
                return o.AddArray(out, 2);
            }};
}

ExportCase PeakFromTimeCase(int32_t time, int16_t fallback, int32_t peak) {
    return {"Lumitra_GetPeakFromRT", std::to_string(time), [=](const Invoke& call) {
                const auto table = PeakTable();
                Outcome o;
                o.status = call(&Lumitra_GetPeakFromRT, table.data(), time, fallback);
                return o.Expect(o.status == peak, "peak"), o;
            }};
}

// A data source whose spectra at times 0, 10 and 20 have `points` points at
// 200.00 nm + i nm with values time + i / 2, the one at 0 with a count
// element of 99 (never compared); fault 1 makes time 20 fail, fault 2 gives
// it a point less (the spectra do not fit).
void Script(StandInSpectrumSource& source, size_t points, int fault = 0) {
    for (int32_t time : {0, 10, 20}) {
        StandInSpectrumSource::Reply reply;
        for (size_t i = 0; i + (fault == 2 && time == 20) < points; ++i) {
            reply.values.push_back(time + 0.5 * double(i));
            reply.wavelengths.push_back(int32_t(20000 + 100 * i));
        }
        if (time == 0) reply.countElement = 99;
        if (fault == 1 && time == 20) reply.status = E_ABORT;
        source.At(time, reply);
    }
}

// The spectrum at 10 less the background interpolated between 0 and 20:
// zero everywhere. The source is asked for 10, 0, 20 with the request's
// selectors (A sign-extended, B zero-extended) and the constants 0 and 1.
ExportCase SubtractedSpectrumCase(const char* input, size_t points, int fault) {
    return {"Lumitra_GetBGSubtractedSpectrum", input, [=](const Invoke& call) {
                StandInSpectrumSource source;
                Script(source, points, fault);
                const BGSubtractionRequest request{10, 0, 20, source.Source(), 0xFFFF, -2};
                double* values = nullptr;
                int32_t* wavelengths = nullptr;
                int32_t count = kNotCalled;
                Outcome o;
                o.status = call(&Lumitra_GetBGSubtractedSpectrum, &request, &values, &count, &wavelengths);
                o.Expect(o.status == (fault == 0 ? S_OK : fault == 1 ? E_ABORT : E_UNEXPECTED), "status");
                for (size_t i = 0; o.status == S_OK && i < points; ++i)
                    o.Expect(count == int32_t(points) && wavelengths[0] == count && values[i] == 0.0 &&
                                 wavelengths[i + 1] == int32_t(20000 + 100 * i),
                             "point");
                const auto& asked = source.Requests();
                const int32_t times[] = {10, 0, 20};
                o.Expect(asked.size() == 3 || o.status == E_OUTOFMEMORY, "three requests");
                for (size_t i = 0; i < asked.size() && i < 3; ++i)
                    o.Expect(asked[i].time == times[i] && asked[i].selectorA == -2 && asked[i].selectorB == 65535 &&
                                 asked[i].zero == 0 && asked[i].one == 1,
                             "request");
                return o.Add(count).AddReturned(values, points).AddReturned(wavelengths, points + 1);
            }};
}

// The record is cleared before the spectra are fetched.
ExportCase UVRecordCase(const char* input, size_t points) {
    auto run = [=](const Invoke& call) {
        StandInSpectrumSource source;
        Script(source, points);
        const BGSubtractionRequest request{10, 0, 20, source.Source(), 0, 0};
        UVSpecData record;
        std::memset(&record, 0x5C, sizeof record);
        Outcome o;
        o.status = call(&Lumitra_GetBGSubtractedUVSpecData, &request, &record);
        if (o.status < 0 || o.status == kNotCalled) return o.Add(record), o;
        o.AddArray(record.values, points).AddArray(record.wavelengths, points);
        o.Expect(record.time == 10 && record.pointCount == int32_t(points) && record.firstWavelength == 20000 &&
                     record.lastWavelength == int32_t(20000 + 100 * (points - 1)) && record.maxValue == 0.0 &&
                     record.minValue == 0.0 && record.reserved1 == 0 &&
                     record.wavelengths[points - 1] == record.lastWavelength,
                 "record");
        static const SiblingControls sibling;
        sibling.Free(&record);
        return o.Add(record), o;
    };
    return {"Lumitra_GetBGSubtractedUVSpecData", input, run, FailsWith(Outcome().Add(UVSpecData{}))};
}

// Ten entries of list 2 from 190.00 nm in 60-nm steps, three of list 1 from
// 254.00 nm in 12.34-nm steps. A caption that cannot grow is left empty.
ExportCase CaptionCase(const char* input, int32_t options, int16_t decimals, const char* caption) {
    auto run = [=](const Invoke& call) {
        LambdaList list{};
        list.count1 = 3;
        list.count2 = 10;
        for (int i = 0; i < 10; ++i) {
            list.list1[i].wavelength = 25400 + 1234 * i;
            list.list2[i].wavelength = 19000 + 6000 * i;
        }
        std::string text = "old";
        Outcome o;
        {
            NewFailureWindow window;
            o.status = call(&Lumitra_GetStringLambdaMinMax, options, text, &list, decimals);
        }
        o.Expect(o.status == S_OK && text == caption, "caption " + text);
        return o.AddArray(text.data(), text.size());
    };
    return {"Lumitra_GetStringLambdaMinMax", input, run, FailsWith(Outcome()), Memory::kOperatorNew};
}

#if !defined(_WIN32)
// The searches of the holmium check on the simulated detector find its
// lines; the data searched for the 656.1 nm line pass through the
// thousandths of the element values.
ExportCase SearchesCase() {
    return {"LumitraRules_DescribeSearches", "holmium check", [](const Invoke& call) {
                const double* inputs[] = {TruthLamps().d2.data(), TruthLamps().holmium.data()};
                LumitraLineSearch searches[LUMITRA_MAX_LINE_SEARCHES];
                std::memset(searches, 0x5A, sizeof searches);
                int32_t count = kNotCalled;
                Outcome o;
                o.status = call(&LumitraRules_DescribeSearches, LUMITRA_OPERATION_HOLMIUM_CHECK, &kTruth, inputs, searches,
                                LUMITRA_MAX_LINE_SEARCHES, &count);
                o.Expect(o.status == S_OK && count == 4, "searches");
                for (int i = 0; o.status == S_OK && i < 4; ++i)
                    o.Expect(std::fabs(searches[i].foundPosition - PositionOf(kTruth, searches[i].reference)) < 0.3, "line found");
                return o.Add(count).AddArray(searches, LUMITRA_MAX_LINE_SEARCHES);
            }};
}

// Unfiltered, the data pass through the element values (on the fine grid
// their thousandths) and nothing past them is written.
ExportCase SearchedDataCase(const char* input, int32_t samplesPerElement, int32_t filterHalfWidth) {
    return {"LumitraRules_SearchedData", input, [=](const Invoke& call) {
                const auto& d2 = TruthLamps().d2;
                const int32_t n = samplesPerElement == 1 ? 512 : 32832;
                std::vector<double> data(32833, -1.0);
                int32_t count = kNotCalled;
                Outcome o;
                o.status = call(&LumitraRules_SearchedData, d2.data(), samplesPerElement, filterHalfWidth, data.data(), n, &count);
                const double knot = samplesPerElement == 1 ? d2[382] : std::trunc(d2[382] * 1000) / 1000;
                o.Expect(o.status == S_OK && count == n && data[size_t(n)] == -1.0, "count");
                o.Expect(filterHalfWidth != 0 || data[size_t(samplesPerElement) * 382] == knot, "element 383");
                return o.Add(count).AddArray(data.data(), data.size());
            }};
}
#endif

}  // namespace

std::vector<ExportCase> AllExportCases() {
    std::vector<uint32_t> grid(611);
    for (size_t i = 0; i < grid.size(); ++i) grid[i] = uint32_t(19000 + 100 * i);
    const std::vector<uint32_t> stretch(grid.begin() + 100, grid.begin() + 300);
    return {
        TableCase("uncalibrated", false, 0, kUncalibrated, 1, S_OK, 18159, 81429),
        TableCase("three times the table", false, 1, kUncalibrated, 3, S_OK, 18159, 81429),
        TableCase("no count", false, 0, kUncalibrated, 0, E_INVALIDARG, 0, 0),
        TableCase("element table", true, 0, kUncalibrated, 1, S_OK, 18159, 81429),
        TableCase("display grid", true, 7, kStored, 2, S_OK, 19000, 80000),
        TableCase("display grid without count", true, 7, kStored, 0, E_INVALIDARG, 0, 0),
        ComparisonCase("equal", Counted(grid), Counted(grid), 0, 610, 0),
        ComparisonCase("B inside A", Counted(grid), Counted(stretch), 100, 299, 0),
        ComparisonCase("A starts inside B", Counted({19100, 19200, 19300}), Counted({19000, 19100, 19200}), 0, 1, 1),
        ComparisonCase("B starts inside A", Counted({19000, 19100, 19200}), Counted({19100, 19200, 19300}), 1, 2, 0),
        ComparisonCase("disjoint", Counted({19000, 19100}), Counted({19200, 19300}), 65535, 65535, 65535),
        ElementCase(kUncalibrated, 65610, 383.0), ElementCase(kUncalibrated, 19000, 7.90649),
        ElementCase(kStored, 65610, 383.25),
        NearestCase(19050, 3, 1) /* a tie goes to the entry above */, NearestCase(19040, 3, 0),
        NearestCase(25000, 3, 2), NearestCase(25000, 0, 0),
        RangeCase(19050, 19150, 1, 1), RangeCase(19150, 19050, 0, 2) /* exchanged */, RangeCase(25000, 26000, 0, 2),
        RangeCase(10000, 12000, 0, 0), RangeCase(19040, 19040, 0, 0), RangeCase(19100, 19100, 0, 0, 0),
        SplineCase("three samples, four sub-steps", 1, 3), SplineCase("the fine grid of 512 elements", 1, 512),
        SplineCase("midpoint mode, 40 samples", 0, 40),
        FilterCase("five samples, half-width 1", 5, 1), FilterCase("2000 samples, half-width 640", 2000, 640),
        FilterCase("half-width 0", 16, 0),
        CalibrationCase("fine grid, with darks", 0, true), CalibrationCase("fine grid, no darks", 0, false),
        CalibrationCase("refinement method, no sibling", -5, false),
        WideSlitCase("wide line", 3.0), WideSlitCase("narrow line", 1.0),
        CalibrationExCase("two-line calibration with copies", 0), CalibrationExCase("wide slit with a copy", 1),
        CalibrationExCase("an unknown kind", 2),
        CheckCase("deuterium and holmium", false, false), CheckCase("with darks", false, true),
        CheckCase("no holmium spectrum", false, true, false), CheckCase("deuterium and mercury", true, false),
        CheckCase("with a dark", true, true),
        UserCheckCase("element spectra", 0), UserCheckCase("display grid", 1),
        LampCase("display grid", true, 1, 0), LampCase("five knots", false, 0, 5), LampCase("two knots", true, 0, 2),
        LampCase("1024 knots", false, 0, 1024), LampCase("1025 knots", false, 0, 1025),
        MaxVoltageCase("NaN skipped", 4, 2), MaxVoltageCase("no values", 0, INT32_MIN),
        PeakPairCase("Lumitra_GetBasePeaks", &Lumitra_GetBasePeaks, 3, 2, S_OK, 1, 3),
        PeakPairCase("Lumitra_GetBasePeaks", &Lumitra_GetBasePeaks, 3, 4, E_INVALIDARG, 0, 0),
        PeakPairCase("Lumitra_GetBaseTimes", &Lumitra_GetBaseTimes, 3, 3, S_OK, 50, 349),
        PeakPairCase("Lumitra_GetBaseTimes", &Lumitra_GetBaseTimes, 0, 1, E_ABORT, 0, 0),
        PeakPairCase("Lumitra_GetBaseTimesFromRT", &Lumitra_GetBaseTimesFromRT, 3, 210, S_OK, 50, 349),
        PeakPairCase("Lumitra_GetBaseTimesFromRT", &Lumitra_GetBaseTimesFromRT, 3, 1000, E_ABORT, 0, 0),
        PeakFromTimeCase(210, 0, 2), PeakFromTimeCase(1000, 1, 3), PeakFromTimeCase(1000, 0, 0),
        SubtractedSpectrumCase("512 points", 512, 0), SubtractedSpectrumCase("a failing source", 3, 1),
        SubtractedSpectrumCase("spectra that do not fit", 3, 2),
        UVRecordCase("512 points", 512), UVRecordCase("one point", 1),
        CaptionCase("list 2, two decimals", 2, 2,
                    "190.00/250.00/310.00/370.00/430.00/490.00/550.00/610.00/670.00/730.00"),
        CaptionCase("list 1, no decimals", 1, -3, "254/266/279"), CaptionCase("first entry only", 0x102, 1, "190.0"),
#if !defined(_WIN32)
        SearchesCase(), SearchedDataCase("fine grid", 64, 0), SearchedDataCase("fine grid, filtered", 64, 640),
        SearchedDataCase("elements", 1, 0),
#endif
    };
}

}  // namespace lumitra::test
