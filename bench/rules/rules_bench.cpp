// The numbers bindings read from the library: the cheap ones (version,
// limits, grating model and range test) and the line searches, which
// resample and filter the spectra as the operations do.
#include <benchmark/benchmark.h>

#include <vector>

#include "lumitra/lumitra_rules.h"
#include "support/detector.h"  // tests/support

namespace {

const CalibrationRecord kRecord{36080, 9376, 65610, 24528};

void BM_Version(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(LumitraInfo_Version());
}
BENCHMARK(BM_Version);

void BM_GetLimits(benchmark::State& state) {
    LumitraLimits limits;
    for (auto _ : state) benchmark::DoNotOptimize(LumitraInfo_GetLimits(&limits));
}
BENCHMARK(BM_GetLimits);

void BM_Decode(benchmark::State& state) {
    double slope, model, measured;
    for (auto _ : state) benchmark::DoNotOptimize(LumitraModel_Decode(&kRecord, &slope, &model, &measured));
}
BENCHMARK(BM_Decode);

// 611 wavelengths of the display grid, or the 512 element positions.
std::vector<double> Grid(double first, int count) {
    std::vector<double> values(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) values[size_t(i)] = first + i;
    return values;
}

void BM_PositionsOf(benchmark::State& state) {
    const auto nm = Grid(190.0, 611);
    std::vector<double> positions(nm.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(LumitraModel_PositionsOf(&kRecord, nm.data(), 611, positions.data()));
}
BENCHMARK(BM_PositionsOf);

void BM_WavelengthsAt(benchmark::State& state) {
    const auto positions = Grid(1.0, 512);
    std::vector<double> nm(positions.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(LumitraModel_WavelengthsAt(&kRecord, positions.data(), 512, nm.data()));
}
BENCHMARK(BM_WavelengthsAt);

void BM_NominalPositions(benchmark::State& state) {
    const auto nm = Grid(190.0, 611);
    std::vector<double> positions(nm.size());
    for (auto _ : state) benchmark::DoNotOptimize(LumitraModel_NominalPositions(nm.data(), 611, positions.data()));
}
BENCHMARK(BM_NominalPositions);

void BM_RangeTest(benchmark::State& state) {
    double low, high;
    for (auto _ : state) benchmark::DoNotOptimize(LumitraModel_RangeTest(&kRecord, &low, &high));
}
BENCHMARK(BM_RangeTest);

// The mercury check's six searches over three fine spectra; windows only
// with no data (argument 0).
void BM_DescribeSearches(benchmark::State& state) {
    const auto lamps = lumitra::test::MakeLamps(kRecord);
    const double* inputs[] = {lamps.d2.data(), lamps.hg1.data(), lamps.hg2.data()};
    LumitraLineSearch searches[LUMITRA_MAX_LINE_SEARCHES];
    int32_t count = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(LumitraRules_DescribeSearches(
            LUMITRA_OPERATION_MERCURY_CHECK, &kRecord, state.range(0) != 0 ? inputs : nullptr, searches,
            LUMITRA_MAX_LINE_SEARCHES, &count));
}
BENCHMARK(BM_DescribeSearches)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One fine spectrum, filtered as the holmium check filters it.
void BM_SearchedData(benchmark::State& state) {
    const auto spectrum = lumitra::test::MakeLamps(kRecord).holmium;
    std::vector<double> data(32832);
    int32_t count = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            LumitraRules_SearchedData(spectrum.data(), 64, 640, data.data(), 32832, &count));
}
BENCHMARK(BM_SearchedData)->Unit(benchmark::kMillisecond);

}  // namespace
