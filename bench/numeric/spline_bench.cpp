// The sub-step spline request of the fine grid (512 elements to 64
// sub-steps, 32,769 points) against the step-by-step version with its
// interval search in the same run, and the cubic spline object resampling
// 512 element values onto 61,001 points of 0.01 nm.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "lumitra/lumitra.h"
#include "numeric/cubic_spline.h"
#include "numeric/literal_cubic_spline.h"         // tests/numeric
#include "numeric/literal_spline_interpolation.h"  // tests/numeric

namespace {

constexpr int32_t kElements = 512;
constexpr int32_t kSubSteps = 64;
constexpr int32_t kFinePoints = kElements * kSubSteps + 1;

std::vector<int32_t> ScaledSpectrum() {
    std::vector<int32_t> y(kElements);
    for (int32_t i = 0; i < kElements; ++i)
        y[i] = int32_t(1000.0 * (300.0 + 5000.0 * std::exp(-std::pow((i - 383.0) / 1.5, 2)) +
                                 900.0 * std::exp(-std::pow((i - 148.0) / 3.0, 2))));
    return y;
}

std::vector<double> ElementPositions() {
    std::vector<double> x(kFinePoints, 0.0);
    for (int32_t i = 0; i < kElements; ++i) x[i] = i + 1;
    return x;
}

// The fine-grid request on the caller's arrays.
struct FineGridCall {
    std::vector<double> x = ElementPositions();
    std::vector<int32_t> y = ScaledSpectrum();
    std::vector<double> outX = std::vector<double>(kFinePoints);
    std::vector<int32_t> outY = std::vector<int32_t>(kFinePoints);
    FineGridCall() { y.resize(kFinePoints, 0); }
};

// One call after another, `calls` of them per iteration; the counter gives
// the time of one call.
void ReportPerCall(benchmark::State& state, int calls) {
    state.counters["per_call"] = benchmark::Counter(double(state.iterations()) * calls,
                                                    benchmark::Counter::kIsRate |
                                                        benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations() * calls * int64_t(kFinePoints));
}

void BM_SubStepSpline_Literal(benchmark::State& state) {
    const int calls = int(state.range(0));
    FineGridCall call;
    for (auto _ : state) {
        for (int i = 0; i < calls; ++i) {
            lumitra::test::LiteralRequestOf<lumitra::test::PlainArray> request{
                1,
                lumitra::test::PlainArray<double>(call.x.data()),
                lumitra::test::PlainArray<int32_t>(call.y.data()),
                lumitra::test::PlainArray<double>(call.outX.data()),
                lumitra::test::PlainArray<int32_t>(call.outY.data()),
                1.0,
                double(kElements),
                kFinePoints,
                kSubSteps};
            benchmark::DoNotOptimize(lumitra::test::LiteralSubStepSpline(request));
            benchmark::ClobberMemory();
        }
    }
    ReportPerCall(state, calls);
}
BENCHMARK(BM_SubStepSpline_Literal)->Arg(1)->Arg(20)->Unit(benchmark::kMicrosecond);

// Arg 1: a single call per iteration; arg 20: a loop of consecutive calls,
// as a host resampling spectrum after spectrum makes them.
void BM_SubStepSpline_Library(benchmark::State& state) {
    const int calls = int(state.range(0));
    FineGridCall call;
    SplineRequest request{1, call.x.data(), call.y.data(), call.outX.data(), call.outY.data(), 0,
                          1.0, double(kElements), kFinePoints, kSubSteps};
    for (auto _ : state) {
        for (int i = 0; i < calls; ++i) {
            benchmark::DoNotOptimize(Lumitra_SplineInterpolation(&request));
            benchmark::ClobberMemory();
        }
    }
    ReportPerCall(state, calls);
}
BENCHMARK(BM_SubStepSpline_Library)->Arg(1)->Arg(20)->Unit(benchmark::kMicrosecond);

// Element wavelengths in 0.01 nm (about 1.23 nm apart) and the 0.01-nm grid
// from 190.00 to 800.00 nm.
constexpr int32_t kGridStart = 19000;
constexpr int32_t kGridPoints = 61001;

std::vector<int32_t> ElementWavelengths() {
    std::vector<int32_t> x(kElements);
    for (int32_t i = 0; i < kElements; ++i) x[i] = 18159 + int32_t(i * 123.9 + i * i * 0.0025);
    return x;
}

std::vector<double> LampSpectrum() {
    std::vector<double> y(kElements);
    for (int32_t i = 0; i < kElements; ++i)
        y[i] = 20000.0 * std::exp(-std::pow((i - 120.0) / 60.0, 2)) + 150.0 * std::sin(i * 0.3);
    return y;
}

// Set-up and one evaluation, as the lamp diagnostics use the object.
void BM_CubicSpline_CreateAndEvaluate(benchmark::State& state) {
    const auto x = ElementWavelengths();
    const auto y = LampSpectrum();
    std::vector<double> values(kGridPoints);
    for (auto _ : state) {
        lumitra::numeric::CCubicSpline spline;
        spline.Create(kElements, x.data(), y.data(), 0.0, 0.0);
        benchmark::DoNotOptimize(spline.Evaluate(kGridPoints, kGridStart, 1, values.data(), nullptr));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kGridPoints);
}
BENCHMARK(BM_CubicSpline_CreateAndEvaluate)->Unit(benchmark::kMicrosecond);

// A repeated evaluation of the same grid (cached intervals).
void BM_CubicSpline_EvaluateCached(benchmark::State& state) {
    const auto x = ElementWavelengths();
    const auto y = LampSpectrum();
    std::vector<double> values(kGridPoints);
    lumitra::numeric::CCubicSpline spline;
    spline.Create(kElements, x.data(), y.data(), 0.0, 0.0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(spline.Evaluate(kGridPoints, kGridStart, 1, values.data(), nullptr));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kGridPoints);
}
BENCHMARK(BM_CubicSpline_EvaluateCached)->Unit(benchmark::kMicrosecond);

void BM_CubicSpline_Literal(benchmark::State& state) {
    const auto x = ElementWavelengths();
    const auto y = LampSpectrum();
    for (auto _ : state) {
        const lumitra::test::LiteralCubicSpline spline(x, y, 0.0, 0.0);
        benchmark::DoNotOptimize(spline.Evaluate(kGridPoints, kGridStart, 1).data());
    }
    state.SetItemsProcessed(state.iterations() * kGridPoints);
}
BENCHMARK(BM_CubicSpline_Literal)->Unit(benchmark::kMicrosecond);

}  // namespace
