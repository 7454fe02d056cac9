// The low-frequency filter on a fine-grid spectrum (32,832 samples,
// half-width 640), against the one-output-at-a-time version in the same
// run, and each vector width on its own.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "lumitra/lumitra.h"
#include "numeric/filter_kernels.h"
#include "numeric/literal_filter.h"  // tests/numeric
#include "numeric/low_frequency_filter.h"

namespace {

using lumitra::numeric::InstructionSet;

constexpr int32_t kFineCount = 32832;
constexpr uint32_t kHalfWidth = 640;

const std::vector<double>& FineSpectrum() {
    static const std::vector<double> spectrum = [] {
        std::vector<double> s(kFineCount);
        for (int32_t i = 0; i < kFineCount; ++i)
            s[i] = 5000.0 * std::exp(-std::pow((i - 24480.0) / 40.0, 2)) +
                   900.0 * std::exp(-std::pow((i - 9440.0) / 90.0, 2)) + 300.0 + 0.01 * i;
        return s;
    }();
    return spectrum;
}

template <typename Filter>
void RunFilter(benchmark::State& state, Filter filter) {
    std::vector<double> signal(kFineCount);
    for (auto _ : state) {
        std::memcpy(signal.data(), FineSpectrum().data(), sizeof(double) * kFineCount);
        benchmark::DoNotOptimize(filter(signal.data()));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFineCount);
}

void BM_Filter_Literal(benchmark::State& state) {
    RunFilter(state, [](double* s) {
        return lumitra::test::LiteralFiltrateLowFrequency(s, kFineCount, kHalfWidth);
    });
}
BENCHMARK(BM_Filter_Literal)->Unit(benchmark::kMillisecond);

void BM_Filter_Library(benchmark::State& state) {
    state.SetLabel(lumitra::numeric::InstructionSetName(lumitra::numeric::FilterInstructionSet()));
    RunFilter(state, [](double* s) { return Lumitra_FiltrateLowFrequency(s, kFineCount, kHalfWidth); });
}
BENCHMARK(BM_Filter_Library)->Unit(benchmark::kMillisecond);

// Each width's kernel alone (the dispatched filter adds the working array
// and the final copy).
void BM_Filter_Kernel(benchmark::State& state) {
    const auto set = InstructionSet(state.range(0));
    if (int(set) > int(lumitra::numeric::BestInstructionSet())) {
        state.SkipWithError("not available on this processor");
        return;
    }
    state.SetLabel(lumitra::numeric::InstructionSetName(set));
    const auto kernel = lumitra::numeric::WindowMeanKernelFor(set);
    std::vector<double> result(kFineCount);
    for (auto _ : state) {
        kernel(FineSpectrum().data(), kFineCount, kHalfWidth, result.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFineCount);
}
BENCHMARK(BM_Filter_Kernel)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
