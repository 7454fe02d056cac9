// Chromatogram utilities: peak bases and retention-time lookup on a table
// of 200 peaks, the background subtraction of 512-point spectra through
// the stand-in data source (and the stand-in sibling for the record form),
// and the caption.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "chromdata/sibling_standin.h"
#include "chromdata/spectrum_source_standin.h"
#include "lumitra/lumitra.h"
#include "module/task_allocator.h"

namespace {

constexpr int32_t kPeaks = 200;

// Bases of five peaks each, the middle ones grouped.
std::vector<unsigned char> PeakTable() {
    std::vector<unsigned char> table(4 + kPeaks * LUMITRA_PEAK_RECORD_SIZE, 0);
    std::memcpy(table.data(), &kPeaks, 4);
    for (int32_t k = 0; k < kPeaks; ++k) {
        const uint32_t flags = k % 5 == 0 ? 0x10u : (k % 5 == 2 ? 0x100u : 0u);
        const int32_t values[4] = {int32_t(flags), 100 * k + 50, 100 * k, 100 * k + 99};
        const size_t at = size_t(k) * LUMITRA_PEAK_RECORD_SIZE;
        std::memcpy(&table[at + LUMITRA_PEAK_FLAGS_OFFSET], &values[0], 4);
        std::memcpy(&table[at + LUMITRA_PEAK_RETENTION_TIME_OFFSET], &values[1], 4);
        std::memcpy(&table[at + LUMITRA_PEAK_START_TIME_OFFSET], &values[2], 4);
        std::memcpy(&table[at + LUMITRA_PEAK_END_TIME_OFFSET], &values[3], 4);
    }
    return table;
}

void BM_GetBasePeaks(benchmark::State& state) {
    const auto table = PeakTable();
    int32_t peak = 1, first = 0, last = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Lumitra_GetBasePeaks(table.data(), peak, &first, &last));
        peak = peak % kPeaks + 1;
    }
}
BENCHMARK(BM_GetBasePeaks);

void BM_GetBaseTimes(benchmark::State& state) {
    const auto table = PeakTable();
    int32_t peak = 1, start = 0, end = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Lumitra_GetBaseTimes(table.data(), peak, &start, &end));
        peak = peak % kPeaks + 1;
    }
}
BENCHMARK(BM_GetBaseTimes);

void BM_GetPeakFromRT(benchmark::State& state) {
    const auto table = PeakTable();
    int32_t time = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Lumitra_GetPeakFromRT(table.data(), time, 1));
        time = (time + 97) % (100 * kPeaks);
    }
}
BENCHMARK(BM_GetPeakFromRT);

void BM_GetBaseTimesFromRT(benchmark::State& state) {
    const auto table = PeakTable();
    int32_t time = 0, start = 0, end = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Lumitra_GetBaseTimesFromRT(table.data(), time, &start, &end));
        time = (time + 97) % (100 * kPeaks);
    }
}
BENCHMARK(BM_GetBaseTimesFromRT);

// Spectra of 512 points at times 10 (spectrum), 0 and 40 (backgrounds).
void Script(lumitra::test::StandInSpectrumSource& source) {
    for (int32_t t : {10, 0, 40}) {
        lumitra::test::StandInSpectrumSource::Reply reply;
        for (int32_t i = 0; i < 512; ++i) {
            reply.values.push_back(1000.0 + i + t * 0.5);
            reply.wavelengths.push_back(19000 + 119 * i);
        }
        source.At(t, reply);
    }
}

void BM_GetBGSubtractedSpectrum(benchmark::State& state) {
    lumitra::test::StandInSpectrumSource source;
    Script(source);
    const BGSubtractionRequest request{10, 0, 40, source.Source(), 0, 0};
    for (auto _ : state) {
        double* values = nullptr;
        int32_t* wavelengths = nullptr;
        int32_t count = 0;
        benchmark::DoNotOptimize(
            Lumitra_GetBGSubtractedSpectrum(&request, &values, &count, &wavelengths));
        lumitra::module::TaskFree(values);
        lumitra::module::TaskFree(wavelengths);
    }
}
BENCHMARK(BM_GetBGSubtractedSpectrum);

void BM_GetBGSubtractedUVSpecData(benchmark::State& state) {
    const lumitra::test::SiblingControls sibling;
    if (!sibling.Ready()) {
        state.SkipWithError("stand-in sibling library not found in the stand-ins folder");
        return;
    }
    lumitra::test::StandInSpectrumSource source;
    Script(source);
    const BGSubtractionRequest request{10, 0, 40, source.Source(), 0, 0};
    for (auto _ : state) {
        UVSpecData record;
        benchmark::DoNotOptimize(Lumitra_GetBGSubtractedUVSpecData(&request, &record));
        sibling.Free(&record);
    }
}
BENCHMARK(BM_GetBGSubtractedUVSpecData);

void BM_GetStringLambdaMinMax(benchmark::State& state) {
    LambdaList list{};
    list.count2 = 4;
    for (int i = 0; i < 4; ++i) list.list2[i].wavelength = 25400 + 2600 * i;
    std::string caption;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Lumitra_GetStringLambdaMinMax(2, caption, &list, 2));
        benchmark::DoNotOptimize(caption.data());
    }
}
BENCHMARK(BM_GetStringLambdaMinMax);

}  // namespace
