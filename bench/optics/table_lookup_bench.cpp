// Table comparison and element lookup on the 512-entry element table of a
// calibrated array.
#include <benchmark/benchmark.h>

#include <vector>

#include "lumitra/lumitra.h"
#include "module/task_allocator.h"

namespace {

std::vector<int32_t> ElementTable() {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    int32_t* table = nullptr;
    int32_t count = 0;
    Lumitra_GetWavelengthTable(0, &record, 1, &table, &count);
    std::vector<int32_t> entries(table, table + count);
    lumitra::module::TaskFree(table);
    return entries;
}

std::vector<uint32_t> Counted(const std::vector<int32_t>& entries, size_t from, size_t to) {
    std::vector<uint32_t> table{static_cast<uint32_t>(to - from)};
    for (size_t i = from; i < to; ++i) table.push_back(static_cast<uint32_t>(entries[i]));
    return table;
}

// Arguments: 0 = identical tables, 1 = B is A's upper half, 2 = no overlap.
void BM_IsWavelengthTableEqual(benchmark::State& state) {
    const auto entries = ElementTable();
    const auto a = Counted(entries, 0, state.range(0) == 2 ? 256 : 512);
    const auto b = Counted(entries, state.range(0) == 0 ? 0 : 256, 512);
    uint16_t startA = 0, endA = 0, startB = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Lumitra_IsWavelengthTableEqual(a.data(), b.data(), &startA, &endA, &startB));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_IsWavelengthTableEqual)->Arg(0)->Arg(1)->Arg(2);

void BM_FindTargetElement(benchmark::State& state) {
    const auto entries = ElementTable();
    int32_t target = 19000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Lumitra_FindTargetElement(target, entries.data(), 512));
        target = target >= 80000 ? 19000 : target + 37;
    }
}
BENCHMARK(BM_FindTargetElement);

void BM_GetElementIndexFromWavelengthTable(benchmark::State& state) {
    const auto entries = ElementTable();
    uint16_t first = 0, last = 0;
    int32_t from = 19000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Lumitra_GetElementIndexFromWavelengthTable(
            from, from + 20000, entries.data(), 512, &first, &last));
        benchmark::ClobberMemory();
        from = from >= 60000 ? 19000 : from + 37;
    }
}
BENCHMARK(BM_GetElementIndexFromWavelengthTable);

}  // namespace
