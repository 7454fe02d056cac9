// Every build must give the same results: each family of exports is called
// on many random and simulated inputs, every output goes into a digest, and
// the digest is compared with one committed value for all builds (native,
// 32-bit Linux, both Windows DLLs). Doubles that pass through the platforms'
// trigonometric functions, which may differ in the last bit, are digested
// to a millionth; integers and statuses exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "chromdata/spectrum_source_standin.h"
#include "lumitra/lumitra.h"
#include "module/task_allocator.h"
#include "support/detector.h"
#include "support/test_support.h"

namespace lumitra::test {
namespace {

// Doubles exactly, but every NaN as one: which NaN survives an operation
// follows the operand order a compiler picks for commutative operators.
void AddDoubles(Digest& digest, const double* values, size_t n) {
    for (size_t i = 0; i < n; ++i) digest.Add(std::isnan(values[i]) ? std::nan("") : values[i]);
}

void AddRounded(Digest& digest, double value) {
    digest.Add(std::isfinite(value) ? int64_t(std::llround(value * 1e6)) : int64_t(-1));
}

// Plausible records: reference lines as the calibration writes them, or
// other line pairs, with positions where a shifted, stretched array puts them.
CalibrationRecord RandomRecord(SplitMix64& random) {
    static const int32_t kLines[] = {25370, 28760, 36080, 40470, 43580, 48600, 54610, 65610};
    CalibrationRecord record{36080, 0, 65610, 0};
    if (random.Uniform(0, 3) == 0) {
        const auto a = random.Uniform(0, 6);
        record.wavelength1 = kLines[a];
        record.wavelength2 = kLines[random.Uniform(a + 1, 7)];
    }
    const double shift = double(random.Uniform(-448, 502));
    const double stretch = 1.0 + double(random.Uniform(-3000, 3000)) * 1e-6;
    auto position = [&](int32_t wavelength) {
        return int32_t(64.0 * (7.99 + 0.8069 * (wavelength / 100.0 - 190.0)) * stretch + shift);
    };
    record.position1 = position(record.wavelength1);
    record.position2 = position(record.wavelength2);
    return record;
}

uint64_t Tables() {
    SplitMix64 random(20261205);
    Digest digest;
    for (int r = 0; r < 1200; ++r) {
        const CalibrationRecord record = RandomRecord(random);
        int32_t* table = nullptr;
        int32_t count = 0;
        EXPECT_EQ(Lumitra_GetWavelengthTable(0, &record, 1, &table, &count), S_OK);
        for (int i = 0; i < count; ++i) digest.Add(uint32_t(table[i]));
        module::TaskFree(table);
    }
    return digest.Value();
}

uint64_t Lookups() {
    SplitMix64 random(31);
    Digest digest;
    for (int r = 0; r < 400; ++r) {
        const int32_t n = int32_t(random.Uniform(1, 40));
        std::vector<uint32_t> a(size_t(n) + 1, uint32_t(n));
        for (int32_t i = 1; i <= n; ++i) a[size_t(i)] = uint32_t(19000 + 100 * i + random.Uniform(0, 1) * 50);
        const auto from = random.Uniform(1, n), to = random.Uniform(from, n + 3);
        std::vector<uint32_t> b = {0};
        for (auto i = from; i <= to; ++i) b.push_back(i <= n ? a[size_t(i)] : a[size_t(n)] + uint32_t(100 * (i - n)));
        b[0] = uint32_t(b.size() - 1);
        uint16_t out[3];
        const bool swap = random.Uniform(0, 1) == 1;
        digest.Add(Lumitra_IsWavelengthTableEqual(swap ? b.data() : a.data(), swap ? a.data() : b.data(),
                                                  &out[0], &out[1], &out[2]));
        digest.Add(out);
        const auto* table = reinterpret_cast<const int32_t*>(a.data() + 1);
        for (int probe = 0; probe < 6; ++probe) {
            const auto w1 = int32_t(random.Uniform(18000, 24000)), w2 = int32_t(random.Uniform(18000, 24000));
            uint16_t range[2];
            digest.Add(Lumitra_FindTargetElement(w1, table, n));
            digest.Add(Lumitra_GetElementIndexFromWavelengthTable(w1, probe == 0 ? w1 : w2, table, n, &range[0], &range[1]));
            digest.Add(range);
            const CalibrationRecord record = RandomRecord(random);
            double position = 0;
            digest.Add(Lumitra_GetPdaCorrectedEleNo(0, &record, w1, &position));
            AddRounded(digest, position);
        }
    }
    return digest.Value();
}

uint64_t Kernels() {
    SplitMix64 random(77);
    Digest digest;
    for (int r = 0; r < 60; ++r) {
        const int32_t n = int32_t(random.Uniform(2, 600)), steps = int32_t(random.Uniform(1, 70));
        std::vector<double> x(size_t(n) * 9 + 2, 0.0), outX(size_t(n) * 72 + 2, 0.0);
        std::vector<int32_t> y(x.size(), 0), outY(outX.size(), 0);
        for (int32_t i = 0; i < n; ++i) {
            x[size_t(i)] = 1.0 + i * (0.5 + random.Unit());
            y[size_t(i)] = int32_t(random.Uniform(-100000, 100000));
        }
        const int32_t mode = r % 3 == 0 ? 0 : 1;
        SplineRequest request{mode, x.data(), y.data(), outX.data(), outY.data(), 0,
                              x[size_t(random.Uniform(0, n - 1))], x[size_t(n - 1)],
                              mode == 0 ? 8 * n + 2 : steps * n + 1, steps};
        digest.Add(Lumitra_SplineInterpolation(&request));
        AddDoubles(digest, outX.data(), outX.size());
        digest.AddBytes(outY.data(), outY.size() * sizeof(int32_t));
        std::vector<double> signal(static_cast<size_t>(n));
        for (auto& v : signal) v = random.Unit() * 1000.0 - 300.0;
        digest.Add(Lumitra_FiltrateLowFrequency(signal.data(), n, uint32_t(random.Uniform(0, n))));
        AddDoubles(digest, signal.data(), signal.size());
    }
    return digest.Value();
}

// Simulated detectors: calibration of their lamps, the checks of random
// records against them, and the user check of random lines.
uint64_t CalibrationAndChecks() {
    SplitMix64 random(11);
    Digest digest;
    for (int r = 0; r < 10; ++r) {
        const CalibrationRecord truth{36080, int32_t(9376 + random.Uniform(-200, 200)), 65610,
                                      int32_t(24528 + random.Uniform(-200, 200))};
        const Lamps lamps = MakeLamps(truth, 0.7 + 2.0 * random.Unit());
        CalibrationRecord record{};
        digest.Add(Lumitra_DoWavelengthCalibration(0, nullptr, lamps.d2.data(), nullptr, lamps.holmium.data(), &record));
        digest.Add(record);
        digest.Add(Lumitra_DoWavelengthCalibrationForWideSlit(lamps.d2.data(), &record));
        digest.Add(record);
        const CalibrationRecord checked{36080, truth.position1 + int32_t(random.Uniform(-90, 90)), 65610,
                                        truth.position2 + int32_t(random.Uniform(-90, 90))};
        for (int check = 0; check < 2; ++check) {
            WavelengthCheckResult result{};
            digest.Add(check == 0 ? Lumitra_DoWavelengthCheckD2Ho(0, 0.3, &checked, nullptr, lamps.d2.data(), nullptr,
                                                                   lamps.holmium.data(), &result)
                                  : Lumitra_DoWavelengthCheckD2Hg(0, 0.3, &checked, nullptr, lamps.d2.data(),
                                                                  lamps.hg1.data(), lamps.hg2.data(), &result));
            digest.Add(result.lineCount);
            for (int i = 0; i < result.lineCount; ++i) {
                digest.Add(result.withinTolerance[i]);
                for (double v : {result.measuredWavelength[i], result.deviation[i], result.lineWidth[i]})
                    AddRounded(digest, v);
            }
        }
        UserCheckList list{};
        list.checkCount = 4;
        const int32_t targets[] = {40470, 43580, 54610, 25370};
        for (int i = 0; i < 4; ++i)
            list.lines[i] = {targets[i] + int32_t(random.Uniform(-150, 150)), int32_t(random.Uniform(0, 400)),
                             int32_t(random.Uniform(0, 100)), 0, 0, int32_t(random.Uniform(0, 1)), 0, {}};
        const std::vector<double> dark(512, 40.0);
        digest.Add(Lumitra_DoUserDefinedWavelengthCheck(0, &checked, dark.data(), lamps.hg2.data(), &list));
        digest.Add(list);
    }
    return digest.Value();
}

uint64_t Lamps() {
    SplitMix64 random(5);
    Digest digest;
    for (int r = 0; r < 40; ++r) {
        const int32_t n = int32_t(random.Uniform(3, 700));
        std::vector<int32_t> wavelengths(static_cast<size_t>(n));
        std::vector<double> spectrum(std::max<size_t>(size_t(n), 611));
        int32_t w = int32_t(random.Uniform(15000, 26000));
        for (int32_t i = 0; i < n; ++i) wavelengths[size_t(i)] = w += int32_t(random.Uniform(1, 200));
        for (auto& v : spectrum) v = 20000.0 * random.Unit() - 10.0;
        for (int32_t display : {0, 1}) {
            double values[2];
            int32_t at = 0;
            digest.Add(Lumitra_GetD2LampSpectrumMaxInfo(display, wavelengths.data(), n, spectrum.data(), &values[0], &values[1], &at));
            AddDoubles(digest, values, 2);
            digest.Add(at);
            digest.Add(Lumitra_GetWLampSpectrumMaxInfo(display, wavelengths.data(), n, spectrum.data(), &values[0], &values[1], &at));
            AddDoubles(digest, values, 2);
            digest.Add(at);
        }
        int32_t maximum = 0;
        digest.Add(Lumitra_GetMaxVoltage(spectrum.data(), n, &maximum));
        digest.Add(maximum);
    }
    return digest.Value();
}

uint64_t Chromatograms() {
    SplitMix64 random(4096);
    Digest digest;
    for (int r = 0; r < 300; ++r) {
        const int32_t peaks = int32_t(random.Uniform(0, 9));
        std::vector<unsigned char> table(4 + size_t(peaks) * LUMITRA_PEAK_RECORD_SIZE, 0);
        std::memcpy(table.data(), &peaks, 4);
        static const uint32_t kFlags[] = {0, 0x10, 0x100, 0x110, 0x800, 0x14, 0x810};
        for (int32_t k = 0; k < peaks; ++k) {
            const int32_t top = int32_t(random.Uniform(0, 600)), fields[4] = {
                int32_t(kFlags[random.Uniform(0, 6)]), top, top - int32_t(random.Uniform(0, 60)),
                top + int32_t(random.Uniform(-10, 60))};
            const size_t at = size_t(k) * LUMITRA_PEAK_RECORD_SIZE;
            std::memcpy(&table[at + LUMITRA_PEAK_FLAGS_OFFSET], &fields[0], 8);
            std::memcpy(&table[at + LUMITRA_PEAK_START_TIME_OFFSET], &fields[2], 8);
        }
        for (int probe = 0; probe < 4; ++probe) {
            int32_t out[4] = {};
            const auto peak = int32_t(random.Uniform(0, peaks + 1)), time = int32_t(random.Uniform(-50, 650));
            digest.Add(Lumitra_GetBasePeaks(table.data(), peak, &out[0], &out[1]));
            digest.Add(Lumitra_GetBaseTimes(table.data(), peak, &out[2], &out[3]));
            digest.Add(Lumitra_GetPeakFromRT(table.data(), time, int16_t(random.Uniform(-1, 2))));
            digest.Add(Lumitra_GetBaseTimesFromRT(table.data(), time, &out[0], &out[1]));
            digest.Add(out);
        }
        StandInSpectrumSource source;
        const auto points = size_t(random.Uniform(0, 30));
        const int32_t times[3] = {int32_t(random.Uniform(-100, 100)), int32_t(random.Uniform(-100, 100)),
                                  int32_t(random.Uniform(-100, 100))};
        for (int32_t t : times) {
            StandInSpectrumSource::Reply reply;
            for (size_t i = 0; i < points; ++i) {
                reply.values.push_back(random.Unit() * 100.0);
                reply.wavelengths.push_back(int32_t(20000 + 50 * i));
            }
            source.At(t, reply);
        }
        const BGSubtractionRequest request{times[0], times[1], times[2], source.Source(), 0, 0};
        double* values = nullptr;
        int32_t* wavelengths = nullptr;
        int32_t count = 0;
        digest.Add(Lumitra_GetBGSubtractedSpectrum(&request, &values, &count, &wavelengths));
        if (values != nullptr) AddDoubles(digest, values, points);
        module::TaskFree(values);
        module::TaskFree(wavelengths);
        LambdaList list{};
        list.count2 = uint16_t(random.Uniform(0, 11));
        for (auto& entry : list.list2) entry.wavelength = int32_t(random.Uniform(-20000, 99999));
        std::string caption;
        const int32_t options = int32_t(random.Uniform(0, 3)) | (r % 2) << 8;
        const auto decimals = int16_t(random.Uniform(-2, 6));
        digest.Add(Lumitra_GetStringLambdaMinMax(options, caption, &list, decimals));
        digest.AddBytes(caption.data(), caption.size());
    }
    return digest.Value();
}

TEST(SameResults, OnEveryBuild) {
    struct Family {
        const char* name;
        uint64_t (*digest)();
        uint64_t expected;
    };
    const Family families[] = {
        {"wavelength tables", Tables, 0x60316b686ea160c2ull},
        {"table comparison and lookup", Lookups, 0xd25479d66e528513ull},
        {"spline interpolation and filter", Kernels, 0x23f41ff3ed6303efull},
        {"calibration and checks of simulated detectors", CalibrationAndChecks, 0xc3ea2566960697b8ull},
        {"lamp diagnostics", Lamps, 0xf2e24d812dbb967eull},
        {"chromatogram utilities", Chromatograms, 0xa3a1fc5486861863ull},
    };
    for (const auto& family : families) {
        AllocationBalance balance;
        const uint64_t value = family.digest();
        EXPECT_EQ(value, family.expected) << family.name << std::hex << ": 0x" << value;
    }
}

}  // namespace
}  // namespace lumitra::test
