// Representative calls of the table, kernel, lamp and chromatogram exports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "chromdata/sibling_standin.h"
#include "chromdata/spectrum_source_standin.h"
#include "export_cases.h"
#include "exports/utility_samples.h"
#include "lumitra/lumitra.h"
#include "support/new_failure.h"

namespace lumitra::test {

void ExpectSplineSetUpFailure(const Outcome& failed, const Outcome& untouched, const Outcome&) {
    EXPECT_TRUE(failed.status == E_OUTOFMEMORY || failed.status == E_FAIL) << failed.status;
    EXPECT_EQ(failed.state, untouched.state) << "caller-visible state changed";
}

namespace {

constexpr CalibrationRecord kUncalibrated{0, 0, 0, 0};
constexpr CalibrationRecord kCalibrated{36080, 9376, 65610, 24528};
constexpr int32_t kUntouched = 0x7A7A7A7A;

// ---------------------------------------------------------------- tables

// The table outputs as the caller sees them; a table handed back is copied
// and freed.
Outcome TableOutcome(int32_t status, int32_t* table, int32_t count) {
    Outcome o;
    o.status = status;
    const bool handedBack = status == S_OK && table != nullptr;
    o.Add(table == nullptr).Add(count);
    if (handedBack) o.AddReturned(table, size_t(count));
    return o;
}

ExportCase TableCase(const char* input, bool forDisplay, int32_t display, CalibrationRecord record,
                     int16_t n) {
    auto run = [=](bool call) {
        int32_t* table = reinterpret_cast<int32_t*>(uintptr_t{0x10});
        int32_t count = kUntouched;
        int32_t status = kUntouched;
        if (call)
            status = forDisplay
                         ? Lumitra_GetWavelengthTableForDisplay(display, &record, n, &table, &count)
                         : Lumitra_GetWavelengthTable(display, &record, n, &table, &count);
        return TableOutcome(status, table, count);
    };
    // A failed allocation leaves no table and a count of 0.
    auto failed = [](const Outcome& o, const Outcome&, const Outcome&) {
        EXPECT_EQ(o.state, TableOutcome(E_OUTOFMEMORY, nullptr, 0).state);
        EXPECT_EQ(o.status, E_OUTOFMEMORY);
    };
    return {forDisplay ? "Lumitra_GetWavelengthTableForDisplay" : "Lumitra_GetWavelengthTable",
            input, run, failed};
}

Outcome StretchOutcome(int32_t status, const uint16_t (&out)[3]) {
    Outcome o;
    o.status = status;
    o.AddArray(out, 3);
    return o;
}

ExportCase ComparisonCase(const char* input, std::vector<uint32_t> a, std::vector<uint32_t> b) {
    auto run = [=](bool call) {
        uint16_t out[3] = {1, 2, 3};
        const int32_t status =
            call ? Lumitra_IsWavelengthTableEqual(a.data(), b.data(), &out[0], &out[1], &out[2])
                 : kUntouched;
        return StretchOutcome(status, out);
    };
    // The texts' buffer missing: no common stretch.
    auto failed = [](const Outcome& o, const Outcome&, const Outcome&) {
        const uint16_t none[3] = {65535, 65535, 65535};
        EXPECT_EQ(o.state, StretchOutcome(E_OUTOFMEMORY, none).state);
        EXPECT_EQ(o.status, E_OUTOFMEMORY);
    };
    return {"Lumitra_IsWavelengthTableEqual", input, run, failed};
}

std::vector<uint32_t> Counted(std::vector<uint32_t> entries) {
    entries.insert(entries.begin(), uint32_t(entries.size()));
    return entries;
}

}  // namespace

std::vector<ExportCase> TableCases() {
    static const int32_t lookup[5] = {19000, 19100, 19200, 19300, 19400};
    std::vector<uint32_t> grid(611);
    for (size_t i = 0; i < grid.size(); ++i) grid[i] = uint32_t(19000 + 100 * i);
    const std::vector<uint32_t> stretch(grid.begin() + 100, grid.begin() + 300);
    return {
        TableCase("uncalibrated, n 1", false, 0, kUncalibrated, 1),
        TableCase("calibrated, n 3", false, 1, kCalibrated, 3),
        TableCase("element table", true, 0, kCalibrated, 1),
        TableCase("display grid, n 2", true, 1, kUncalibrated, 2),
        ComparisonCase("equal", Counted(grid), Counted(grid)),
        ComparisonCase("B inside A", Counted(grid), Counted(stretch)),
        ComparisonCase("disjoint", Counted({19000, 19100}), Counted({19200, 19300})),
        {"Lumitra_GetPdaCorrectedEleNo", "calibrated",
         [](bool call) {
             double position = -1.0;
             Outcome o;
             o.status = call ? Lumitra_GetPdaCorrectedEleNo(0, &kCalibrated, 65610, &position)
                             : kUntouched;
             o.Add(position);
             return o;
         }},
        {"Lumitra_FindTargetElement", "between entries",
         [](bool call) {
             Outcome o;
             o.status = call ? Lumitra_FindTargetElement(19150, lookup, 5) : kUntouched;
             return o;
         }},
        {"Lumitra_GetElementIndexFromWavelengthTable", "range",
         [](bool call) {
             uint16_t range[2] = {7, 7};
             Outcome o;
             o.status = call ? Lumitra_GetElementIndexFromWavelengthTable(19050, 19350, lookup, 5,
                                                                          &range[0], &range[1])
                             : kUntouched;
             o.AddArray(range, 2);
             return o;
         }},
    };
}

namespace {

// --------------------------------------------------------------- kernels

// A spline request over n samples 1, 2, ..., n with ordinates of a line
// with a bump, in sub-step mode with 64 steps or in midpoint mode.
struct SplineData {
    std::vector<double> inX, outX;
    std::vector<int32_t> inY, outY;
    SplineRequest request{};

    SplineData(int32_t mode, int32_t n) {
        const int32_t outCount = mode == 0 ? 8 * n + 1 : 64 * n + 1;
        inX.assign(size_t(outCount), 0.0);
        inY.assign(size_t(outCount), 0);
        outX.assign(size_t(outCount), -1.0);
        outY.assign(size_t(outCount), -1);
        for (int32_t i = 0; i < n; ++i) {
            inX[size_t(i)] = i + 1.0;
            inY[size_t(i)] = 100 * i + (i == n / 2 ? 5000 : 0);
        }
        request = {mode, inX.data(), inY.data(), outX.data(), outY.data(),
                   0,    1.0,        double(n),  outCount,    64};
    }
    Outcome Seen(int32_t status) const {
        Outcome o;
        o.status = status;
        o.AddArray(inX.data(), inX.size()).AddArray(inY.data(), inY.size());
        o.AddArray(outX.data(), outX.size()).AddArray(outY.data(), outY.size());
        return o;
    }
};

ExportCase SplineCase(const char* input, int32_t mode, int32_t n) {
    auto run = [=](bool call) {
        SplineData d(mode, n);
        return d.Seen(call ? Lumitra_SplineInterpolation(&d.request) : kUntouched);
    };
    // Out of memory after the outputs were cleared; the inputs as given.
    auto failed = [=](const Outcome& o, const Outcome&, const Outcome&) {
        SplineData cleared(mode, n);
        std::fill(cleared.outX.begin(), cleared.outX.end(), 0.0);
        std::fill(cleared.outY.begin(), cleared.outY.end(), 0);
        EXPECT_EQ(o.state, cleared.Seen(E_OUTOFMEMORY).state);
        EXPECT_EQ(o.status, E_OUTOFMEMORY);
    };
    return {"Lumitra_SplineInterpolation", input, run, failed};
}

ExportCase FilterCase(const char* input, int32_t count, uint32_t halfWidth) {
    return {"Lumitra_FiltrateLowFrequency", input, [=](bool call) {
                std::vector<double> signal(static_cast<size_t>(count));
                for (int32_t i = 0; i < count; ++i) signal[size_t(i)] = (i * 37) % 101 + 0.25 * i;
                Outcome o;
                o.status = call ? Lumitra_FiltrateLowFrequency(signal.data(), count, halfWidth)
                                : kUntouched;
                o.AddArray(signal.data(), signal.size());
                return o;
            }};
}

}  // namespace

std::vector<ExportCase> KernelCases() {
    return {
        SplineCase("sub-step mode, 512 samples", 1, 512),
        SplineCase("sub-step mode, 2 samples", 1, 2),
        SplineCase("midpoint mode, 40 samples", 0, 40),
        FilterCase("2000 samples, half-width 640", 2000, 640),
        FilterCase("5 samples, whole-array windows", 5, 9),
        FilterCase("half-width 0", 16, 0),
    };
}

namespace {

// ----------------------------------------------------------------- lamps

ExportCase LampCase(const char* input, bool deuterium, int32_t display, int32_t n) {
    auto run = [=](bool call) {
        std::vector<int32_t> wavelengths(size_t(n > 0 ? n : 611));
        std::vector<double> spectrum(wavelengths.size());
        for (size_t i = 0; i < wavelengths.size(); ++i) {
            wavelengths[i] = int32_t(18000 + 125 * i);
            spectrum[i] = 1000.0 + double((i * 53) % 97) - 0.01 * double(i * i);
        }
        double values[2] = {-1.0, -2.0};
        int32_t wavelength = kUntouched;
        const auto maxInfo =
            deuterium ? Lumitra_GetD2LampSpectrumMaxInfo : Lumitra_GetWLampSpectrumMaxInfo;
        Outcome o;
        o.status = call ? maxInfo(display, wavelengths.data(), n, spectrum.data(), &values[0],
                                  &values[1], &wavelength)
                        : kUntouched;
        o.AddArray(values, 2).Add(wavelength);
        return o;
    };
    return {deuterium ? "Lumitra_GetD2LampSpectrumMaxInfo" : "Lumitra_GetWLampSpectrumMaxInfo",
            input, run, ExpectSplineSetUpFailure};
}

}  // namespace

std::vector<ExportCase> LampCases() {
    return {
        LampCase("512 elements", true, 0, 512),
        LampCase("3 elements", true, 0, 3),
        LampCase("display grid", true, 1, 0),
        LampCase("512 elements", false, 0, 512),
        LampCase("1024 elements", false, 0, 1024),
        LampCase("display grid", false, 7, 0),
        {"Lumitra_GetMaxVoltage", "three values",
         [](bool call) {
             const double values[3] = {1.5, -2.0, 9.75};
             int32_t maximum = kUntouched;
             Outcome o;
             o.status = call ? Lumitra_GetMaxVoltage(values, 3, &maximum) : kUntouched;
             o.Add(maximum);
             return o;
         }},
    };
}

namespace {

// ----------------------------------------------------------- chromatogram

template <typename Export>
ExportCase PeakPairCase(const char* name, Export exportCall, int32_t argument) {
    return {name, "three peaks on one base", [=](bool call) {
                const auto table = UtilitySampleData::PeakTable();
                int32_t out[2] = {kUntouched, kUntouched};
                Outcome o;
                o.status = call ? exportCall(table.data(), argument, &out[0], &out[1]) : kUntouched;
                o.AddArray(out, 2);
                return o;
            }};
}

using test::StandInSpectrumSource;

// A data source with spectra of `points` points at times 10 (spectrum), 0
// and 20 (backgrounds).
void Script(StandInSpectrumSource& source, size_t points) {
    for (int32_t time : {10, 0, 20}) {
        StandInSpectrumSource::Reply reply;
        for (size_t i = 0; i < points; ++i) {
            reply.values.push_back(double(time) + 0.5 * double(i));
            reply.wavelengths.push_back(int32_t(20000 + 100 * i));
        }
        source.At(time, reply);
    }
}

ExportCase SubtractedSpectrumCase(const char* input, size_t points) {
    return {"Lumitra_GetBGSubtractedSpectrum", input, [=](bool call) {
                StandInSpectrumSource source;
                Script(source, points);
                const BGSubtractionRequest request{10, 0, 20, source.Source(), 0, 0};
                double* values = nullptr;
                int32_t* wavelengths = nullptr;
                int32_t count = kUntouched;
                Outcome o;
                o.status =
                    call ? Lumitra_GetBGSubtractedSpectrum(&request, &values, &count, &wavelengths)
                         : kUntouched;
                o.Add(count).AddReturned(values, points);
                o.AddReturned(wavelengths, points + 1);
                return o;
            }};
}

ExportCase UVRecordCase(const char* input, size_t points) {
    auto run = [=](bool call) {
        static const SiblingControls sibling;
        StandInSpectrumSource source;
        Script(source, points);
        const BGSubtractionRequest request{10, 0, 20, source.Source(), 0, 0};
        UVSpecData record;
        std::memset(&record, 0x5C, sizeof record);
        Outcome o;
        o.status = call ? Lumitra_GetBGSubtractedUVSpecData(&request, &record) : kUntouched;
        if (o.status < 0 || !call) {
            o.Add(record);
            return o;
        }
        o.AddArray(record.values, points).AddArray(record.wavelengths, points);
        sibling.Free(&record);
        o.Add(record);
        return o;
    };
    // The record is cleared before the spectra are fetched.
    auto failed = [](const Outcome& o, const Outcome&, const Outcome&) {
        Outcome cleared;
        cleared.Add(UVSpecData{});
        EXPECT_EQ(o.status, E_OUTOFMEMORY);
        EXPECT_EQ(o.state, cleared.state);
    };
    return {"Lumitra_GetBGSubtractedUVSpecData", input, run, failed};
}

// A caption grows the host's std::string: its memory comes from operator
// new, failed inside the call only.
ExportCase CaptionCase(const char* input, int32_t options, int16_t decimals) {
    auto run = [=](bool call) {
        LambdaList list{};
        list.count1 = 3;
        list.count2 = 10;
        for (int i = 0; i < 10; ++i) {
            list.list1[i].wavelength = 25400 + 1234 * i;
            list.list2[i].wavelength = 19000 + 6000 * i;
        }
        std::string caption = "old";
        Outcome o;
        o.status = kUntouched;
        if (call) {
            NewFailureWindow window;
            o.status = Lumitra_GetStringLambdaMinMax(options, caption, &list, decimals);
        }
        o.AddArray(caption.data(), caption.size());
        return o;
    };
    // The caption is emptied when it cannot grow.
    auto failed = [](const Outcome& o, const Outcome&, const Outcome&) {
        EXPECT_EQ(o.status, E_OUTOFMEMORY);
        EXPECT_TRUE(o.state.empty()) << "caption not emptied";
    };
    return {"Lumitra_GetStringLambdaMinMax", input, run, failed, Memory::kOperatorNew};
}

}  // namespace

std::vector<ExportCase> ChromatogramCases() {
    return {
        PeakPairCase("Lumitra_GetBasePeaks", Lumitra_GetBasePeaks, 2),
        PeakPairCase("Lumitra_GetBaseTimes", Lumitra_GetBaseTimes, 3),
        PeakPairCase("Lumitra_GetBaseTimesFromRT", Lumitra_GetBaseTimesFromRT, 210),
        {"Lumitra_GetPeakFromRT", "three peaks on one base",
         [](bool call) {
             const auto table = UtilitySampleData::PeakTable();
             Outcome o;
             o.status = call ? Lumitra_GetPeakFromRT(table.data(), 1000, 1) : kUntouched;
             return o;
         }},
        SubtractedSpectrumCase("512 points", 512),
        SubtractedSpectrumCase("empty spectra", 0),
        UVRecordCase("512 points", 512),
        UVRecordCase("one point", 1),
        CaptionCase("ten entries, two decimals", 2, 2),
        CaptionCase("three entries, 30 decimals", 1, 30),
        CaptionCase("first entry only, 40 decimals", 0x102, 40),
    };
}

std::vector<ExportCase> AllExportCases() {
    std::vector<ExportCase> all;
    for (auto family :
         {TableCases, KernelCases, CalibrationCases, CheckCases, LampCases, ChromatogramCases}) {
        auto cases = family();
        all.insert(all.end(), cases.begin(), cases.end());
    }
    return all;
}

}  // namespace lumitra::test
