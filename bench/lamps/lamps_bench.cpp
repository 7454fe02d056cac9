// Lamp diagnostics: the display-grid scan, the element form with its
// spline over 512 elements, and the maximum voltage.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/task_allocator.h"

namespace {

struct LampData {
    std::vector<int32_t> wavelengths;
    std::vector<double> spectrum;
};

// A deuterium-like continuum on the element table of a calibrated array.
LampData ElementSpectrum() {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    int32_t* table = nullptr;
    int32_t count = 0;
    Lumitra_GetWavelengthTable(0, &record, 1, &table, &count);
    LampData data{std::vector<int32_t>(table, table + count), {}};
    lumitra::module::TaskFree(table);
    for (int32_t w : data.wavelengths)
        data.spectrum.push_back(30000.0 * std::exp(-std::pow((w / 100.0 - 240.0) / 80.0, 2)));
    return data;
}

// Argument: display flag (0 = element form, 1 = display grid).
template <int32_t (*Fn)(int32_t, const int32_t*, int32_t, const double*, double*, double*,
                        int32_t*)>
void BM_LampMaxInfo(benchmark::State& state) {
    const auto data = ElementSpectrum();
    const std::vector<double> grid(611, 100.0);
    const auto display = static_cast<int32_t>(state.range(0));
    const double* spectrum = display == 0 ? data.spectrum.data() : grid.data();
    double reference = 0, maximum = 0;
    int32_t wavelength = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Fn(display, data.wavelengths.data(), 512, spectrum, &reference,
                                    &maximum, &wavelength));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LampMaxInfo<Lumitra_GetD2LampSpectrumMaxInfo>)->Name("BM_GetD2LampSpectrumMaxInfo")
    ->Arg(0)->Arg(1);
BENCHMARK(BM_LampMaxInfo<Lumitra_GetWLampSpectrumMaxInfo>)->Name("BM_GetWLampSpectrumMaxInfo")
    ->Arg(0)->Arg(1);

void BM_GetMaxVoltage(benchmark::State& state) {
    std::vector<double> values(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < values.size(); ++i) values[i] = std::sin(0.01 * double(i)) * 5.0;
    int32_t maximum = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Lumitra_GetMaxVoltage(values.data(), static_cast<int32_t>(values.size()), &maximum));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GetMaxVoltage)->Arg(512)->Arg(32832);

}  // namespace
