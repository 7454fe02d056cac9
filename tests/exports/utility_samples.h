// Calling-convention samples of the table-lookup, lamp and chromatogram
// exports (see export_samples.h). Windows-only in use: the data source
// allocates with the process's CoTaskMemAlloc, and the UV record's arrays
// come from the stand-in Varnex2.dll next to the test program.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"

namespace lumitra::test {

// A data source whose spectra at times 5, 10 and 15 have two points at
// 254 and 280 nm with values time and 2*time.
struct SampleSpectrumSource : ISpectrumSource {
    static int32_t LUMITRA_CALL GetSpectrum(ISpectrumSource*, int32_t time, double** values,
                                            int32_t* count, int32_t** wavelengths, int32_t,
                                            int32_t, int32_t, int32_t) {
        *values = static_cast<double*>(::CoTaskMemAlloc(2 * sizeof(double)));
        *wavelengths = static_cast<int32_t*>(::CoTaskMemAlloc(3 * sizeof(int32_t)));
        (*values)[0] = time;
        (*values)[1] = 2.0 * time;
        (*wavelengths)[0] = 2;
        (*wavelengths)[1] = 25400;
        (*wavelengths)[2] = 28000;
        *count = 2;
        return S_OK;
    }
    SampleSpectrumSource() {
        table.GetSpectrum = &GetSpectrum;
        lpVtbl = &table;
    }
    ISpectrumSourceVtbl table{};
};

struct UtilitySampleData {
    int32_t lookup[3] = {19000, 19100, 19200};
    uint32_t countedA[5] = {4, 19000, 19100, 19200, 19300};
    uint32_t countedB[3] = {2, 19100, 19200};
    uint16_t words16[3] = {7, 7, 7};
    double voltages[3] = {1.9, 2.7, -3.0};
    std::vector<double> grid = DisplayGridSpectrum();
    int32_t lampWavelengths[5] = {50000, 55000, 60000, 65000, 70000};
    double lampSpectrum[5] = {10, 20, 30, 20, 10};
    double lampOut[2] = {-1, -1};
    int32_t ints[2] = {-1, -1};
    std::vector<unsigned char> peaks = PeakTable();
    std::string caption = "old";
    LambdaList lambdas{};
    SampleSpectrumSource source;
    BGSubtractionRequest request{10, 5, 15, &source, 0, 0};
    double* values = nullptr;
    int32_t* wavelengths = nullptr;
    UVSpecData record{};

    // A display-grid spectrum: 5 at 230 nm, its band maximum 9 at 250 nm.
    static std::vector<double> DisplayGridSpectrum() {
        std::vector<double> grid(LUMITRA_DISPLAY_GRID_COUNT, 1.0);
        grid[40] = 5.0;
        grid[60] = 9.0;
        return grid;
    }

    // Three peaks 100, 200, 300 (start 50 + 100k, end 149 + 100k) on one
    // base that begins at the first.
    static std::vector<unsigned char> PeakTable() {
        std::vector<unsigned char> table(4 + 3 * LUMITRA_PEAK_RECORD_SIZE, 0);
        const int32_t count = 3, baseStart = 0x10;
        std::memcpy(table.data(), &count, 4);
        std::memcpy(table.data() + LUMITRA_PEAK_FLAGS_OFFSET, &baseStart, 4);
        for (int32_t k = 0; k < 3; ++k) {
            const int32_t times[3] = {100 + 100 * k, 50 + 100 * k, 149 + 100 * k};
            const size_t at = size_t(k) * LUMITRA_PEAK_RECORD_SIZE;
            std::memcpy(&table[at + LUMITRA_PEAK_RETENTION_TIME_OFFSET], &times[0], 4);
            std::memcpy(&table[at + LUMITRA_PEAK_START_TIME_OFFSET], &times[1], 4);
            std::memcpy(&table[at + LUMITRA_PEAK_END_TIME_OFFSET], &times[2], 4);
        }
        return table;
    }
};

template <typename T>
uint32_t SampleWord(T* pointer) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

inline bool MakeUtilitySample(const std::string& name, UtilitySampleData& d,
                              void (*freeTask)(void*), std::vector<uint32_t>& words,
                              std::function<std::string(int32_t)>& check) {
    auto expect = [](bool ok, const char* what) { return ok ? std::string() : std::string(what); };
    const uint32_t table = SampleWord(d.peaks.data());
    if (name == "Lumitra_FindTargetElement") {
        words = {19050, SampleWord(d.lookup), 3};
        check = [=](int32_t r) { return expect(r == 1, "wrong nearest element"); };
    } else if (name == "Lumitra_GetElementIndexFromWavelengthTable") {
        words = {19150, 19050, SampleWord(d.lookup), 3, SampleWord(&d.words16[0]),
                 SampleWord(&d.words16[1])};
        check = [&d, expect](int32_t r) {
            return expect(r == S_OK && d.words16[0] == 0 && d.words16[1] == 2, "wrong range");
        };
    } else if (name == "Lumitra_IsWavelengthTableEqual") {
        words = {SampleWord(d.countedA), SampleWord(d.countedB), SampleWord(&d.words16[0]),
                 SampleWord(&d.words16[1]), SampleWord(&d.words16[2])};
        check = [&d, expect](int32_t r) {
            return expect(r == S_OK && d.words16[0] == 1 && d.words16[1] == 2 && d.words16[2] == 0,
                          "wrong common stretch");
        };
    } else if (name == "Lumitra_GetMaxVoltage") {
        words = {SampleWord(d.voltages), 3, SampleWord(&d.ints[0])};
        check = [&d, expect](int32_t r) { return expect(r == S_OK && d.ints[0] == 2, "wrong maximum"); };
    } else if (name == "Lumitra_GetD2LampSpectrumMaxInfo") {
        words = {1, 0, 0, SampleWord(d.grid.data()), SampleWord(&d.lampOut[0]),
                 SampleWord(&d.lampOut[1]), SampleWord(&d.ints[0])};
        check = [&d, expect](int32_t r) {
            return expect(r == S_OK && d.lampOut[0] == 5.0 && d.lampOut[1] == 9.0 &&
                              d.ints[0] == 25000,
                          "wrong deuterium maxima");
        };
    } else if (name == "Lumitra_GetWLampSpectrumMaxInfo") {
        // Element form: the spline runs through the knot at 600 nm.
        words = {0, SampleWord(d.lampWavelengths), 5, SampleWord(d.lampSpectrum),
                 SampleWord(&d.lampOut[0]), SampleWord(&d.lampOut[1]), SampleWord(&d.ints[0])};
        check = [&d, expect](int32_t r) {
            return expect(r == S_OK && d.lampOut[0] == 30.0 && d.lampOut[1] == 30.0 &&
                              d.ints[0] == 60000,
                          "wrong tungsten maxima");
        };
    } else if (name == "Lumitra_GetBasePeaks" || name == "Lumitra_GetBaseTimes" ||
               name == "Lumitra_GetBaseTimesFromRT") {
        const bool fromTime = name == "Lumitra_GetBaseTimesFromRT";
        words = {table, fromTime ? 210u : 2u, SampleWord(&d.ints[0]), SampleWord(&d.ints[1])};
        const int32_t first = name == "Lumitra_GetBasePeaks" ? 1 : 50;
        const int32_t last = name == "Lumitra_GetBasePeaks" ? 3 : 349;
        check = [&d, expect, first, last](int32_t r) {
            return expect(r == S_OK && d.ints[0] == first && d.ints[1] == last, "wrong base");
        };
    } else if (name == "Lumitra_GetPeakFromRT") {
        words = {table, 210, 1};
        check = [=](int32_t r) { return expect(r == 2, "wrong peak"); };
    } else if (name == "Lumitra_GetStringLambdaMinMax") {
        d.lambdas.count2 = 2;
        d.lambdas.list2[0].wavelength = 25400;
        d.lambdas.list2[1].wavelength = 28000;
        words = {2, SampleWord(&d.caption), SampleWord(&d.lambdas), 2};
        check = [&d, expect](int32_t r) {
            return expect(r == S_OK && d.caption == "254.00/280.00", "wrong caption");
        };
    } else if (name == "Lumitra_GetBGSubtractedSpectrum") {
        words = {SampleWord(&d.request), SampleWord(&d.values), SampleWord(&d.ints[0]),
                 SampleWord(&d.wavelengths)};
        check = [&d, expect, freeTask](int32_t r) {
            // Background at 10 is the mean of 5 and 15: the values become 0.
            const bool ok = r == S_OK && d.ints[0] == 2 && d.values[0] == 0.0 &&
                            d.values[1] == 0.0 && d.wavelengths[0] == 2 &&
                            d.wavelengths[2] == 28000;
            freeTask(d.values);
            freeTask(d.wavelengths);
            return expect(ok, "wrong subtracted spectrum");
        };
    } else if (name == "Lumitra_GetBGSubtractedUVSpecData") {
        d.request.spectrumTime = 20;  // extrapolated: 20 - 20 and 40 - 40
        words = {SampleWord(&d.request), SampleWord(&d.record)};
        check = [&d, expect, freeTask](int32_t r) {
            const UVSpecData& u = d.record;
            const bool ok = r == S_OK && u.time == 20 && u.pointCount == 2 &&
                            u.firstWavelength == 25400 && u.lastWavelength == 28000 &&
                            u.values != nullptr && u.values[1] == 0.0 && u.wavelengths[1] == 28000;
            const std::string found = "wrong UV spectrum record: status " + std::to_string(r) +
                                      ", " + std::to_string(u.pointCount) + " points";
            freeTask(u.values);
            freeTask(u.wavelengths);
            return ok ? std::string() : found;
        };
    } else {
        return false;
    }
    return true;
}

}  // namespace lumitra::test
