// The wavelength-table exports: one table is 512 inverse grating
// evaluations plus the record decoding.
#include <benchmark/benchmark.h>

#include "lumitra/lumitra.h"
#include "module/task_allocator.h"

namespace {

void BM_GetWavelengthTable(benchmark::State& state) {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    for (auto _ : state) {
        int32_t* table = nullptr;
        int32_t count = 0;
        benchmark::DoNotOptimize(Lumitra_GetWavelengthTable(0, &record, 1, &table, &count));
        lumitra::module::TaskFree(table);
    }
}
BENCHMARK(BM_GetWavelengthTable);

void BM_GetWavelengthTableForDisplay(benchmark::State& state) {
    const CalibrationRecord record{0, 0, 0, 0};
    for (auto _ : state) {
        int32_t* table = nullptr;
        int32_t count = 0;
        benchmark::DoNotOptimize(Lumitra_GetWavelengthTableForDisplay(1, &record, 1, &table, &count));
        lumitra::module::TaskFree(table);
    }
}
BENCHMARK(BM_GetWavelengthTableForDisplay);

void BM_GetPdaCorrectedEleNo(benchmark::State& state) {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    int32_t wavelength = 19000;
    for (auto _ : state) {
        double position = 0;
        benchmark::DoNotOptimize(Lumitra_GetPdaCorrectedEleNo(0, &record, wavelength, &position));
        benchmark::DoNotOptimize(position);
        wavelength = wavelength >= 80000 ? 19000 : wavelength + 7;
    }
}
BENCHMARK(BM_GetPdaCorrectedEleNo);

}  // namespace
