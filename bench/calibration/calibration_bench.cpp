// The calibration entry points: the fine-grid method (two resamplings of a
// 512-element spectrum and one filter pass over 32,832 values) and the
// wide-slit re-centring (one resampling and a half-height centre).
#include <benchmark/benchmark.h>

#include "support/detector.h"  // tests/support
#include "lumitra/lumitra.h"

namespace {

void BM_FineGridCalibration(benchmark::State& state) {
    const auto first = lumitra::test::Spectrum({{383.0, 20000.0, 1.3}});
    const auto second = lumitra::test::Spectrum({{146.5, 3000.0, 1.1}});
    for (auto _ : state) {
        CalibrationRecord record{};
        benchmark::DoNotOptimize(Lumitra_DoWavelengthCalibration(0, nullptr, first.data(), nullptr,
                                                                 second.data(), &record));
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_FineGridCalibration)->Unit(benchmark::kMillisecond);

void BM_WideSlitCalibration(benchmark::State& state) {
    const auto spectrum = lumitra::test::Spectrum({{385.375, 30000.0, 4.0}});
    for (auto _ : state) {
        CalibrationRecord record{36080, 9500, 65610, 24600};
        benchmark::DoNotOptimize(Lumitra_DoWavelengthCalibrationForWideSlit(spectrum.data(), &record));
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_WideSlitCalibration)->Unit(benchmark::kMillisecond);

}  // namespace
