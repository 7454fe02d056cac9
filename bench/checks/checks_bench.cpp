// The three wavelength checks on synthetic lamp spectra.
#include <benchmark/benchmark.h>

#include <cstring>

#include "support/detector.h"  // tests/support
#include "lumitra/lumitra.h"

namespace {

using lumitra::test::Spectrum;
const CalibrationRecord kRecord{0, 0, 0, 0};

void BM_CheckD2Ho(benchmark::State& state) {
    const auto d2 = Spectrum({{248.8, 8000.0, 1.1}, {383.0, 20000.0, 1.1}});
    const auto ho = Spectrum({{93.3, 1500.0, 1.6}, {146.5, 2500.0, 1.8}});
    for (auto _ : state) {
        WavelengthCheckResult result{};
        benchmark::DoNotOptimize(Lumitra_DoWavelengthCheckD2Ho(0, 0.5, &kRecord, nullptr,
                                                               d2.data(), nullptr, ho.data(),
                                                               &result));
    }
}
BENCHMARK(BM_CheckD2Ho)->Unit(benchmark::kMillisecond);

void BM_CheckD2Hg(benchmark::State& state) {
    const auto d2 = Spectrum({{248.8, 8000.0, 1.1}, {383.0, 20000.0, 1.1}});
    const auto hg1 = Spectrum({{55.6, 12000.0, 0.9}});
    const auto hg2 = Spectrum({{179.4, 6000.0, 0.9}, {204.7, 9000.0, 0.9}});
    for (auto _ : state) {
        WavelengthCheckResult result{};
        benchmark::DoNotOptimize(Lumitra_DoWavelengthCheckD2Hg(
            0, 0.5, &kRecord, nullptr, d2.data(), hg1.data(), hg2.data(), &result));
    }
}
BENCHMARK(BM_CheckD2Hg)->Unit(benchmark::kMillisecond);

void BM_UserDefinedCheck(benchmark::State& state) {
    const auto dark = Spectrum({}, 100.0, 0.0);
    const auto lamp = Spectrum({{248.8, 8e6, 1.5}, {383.0, 2e7, 1.5}});
    for (auto _ : state) {
        UserCheckList list;
        std::memset(&list, 0, sizeof list);
        list.checkCount = 2;
        list.lines[0].targetWavelength = 48600;
        list.lines[0].halfWindow = 300;
        list.lines[1].targetWavelength = 65610;
        list.lines[1].halfWindow = 300;
        benchmark::DoNotOptimize(
            Lumitra_DoUserDefinedWavelengthCheck(0, &kRecord, dark.data(), lamp.data(), &list));
    }
}
BENCHMARK(BM_UserDefinedCheck)->Unit(benchmark::kMillisecond);

}  // namespace
