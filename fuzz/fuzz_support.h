// What the fuzz targets share: structured arguments from the fuzzer's bytes
// (spectra with lines of chosen position, width, height, noise and base; the
// detector's lamps; records and numbers of any value), arrays of exactly the
// size a contract requires, and calls that must leak nothing.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/task_allocator.h"
#include "support/detector.h"

namespace lumitra::fuzz {

[[noreturn]] inline void ExpectationFailed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: expectation failed: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_EXPECT(condition) \
    ((condition) ? void(0) : ::lumitra::fuzz::ExpectationFailed(#condition, __FILE__, __LINE__))

inline bool OneOf(int32_t s, std::initializer_list<int32_t> allowed) { return std::count(allowed.begin(), allowed.end(), s); }
template <typename W> bool Within(double index, W window) { return index >= window.first && index <= window.last; }

// A heap array of exactly the given values (or n zeros), never null.
template <typename T>
struct ExactArray {
    explicit ExactArray(size_t n) : data(new T[std::max<size_t>(n, 1)]()) {}
    explicit ExactArray(const std::vector<T>& v) : ExactArray(v.size()) { std::copy(v.begin(), v.end(), get()); }
    T* get() const { return data.get(); }
    std::unique_ptr<T[]> data;
};
using Spectrum = std::unique_ptr<ExactArray<double>>;
inline double* Get(const Spectrum& s) { return s ? s->get() : nullptr; }

// What Input::Fill drew: whether one clean line (no noise, slope or odd samples; moderate size), and where.
struct Drawn { bool clean = false; double centre = 0.0; };

class Input {
public:
    Input(const uint8_t* data, size_t size) : bytes_(data, size) {}
    bool Flag() { return bytes_.ConsumeBool(); }
    bool OneIn(uint8_t n) { return bytes_.ConsumeIntegralInRange<uint8_t>(1, n) == n; }
    template <typename T>
    T InRange(T lo, T hi) { return bytes_.ConsumeIntegralInRange<T>(lo, hi); }
    int32_t Int32() {
        static constexpr int32_t kEdges[] = {0, 1, -1, INT32_MIN, INT32_MAX, 65535, 65536};
        return Flag() ? kEdges[InRange<size_t>(0, 6)] : Flag() ? InRange(-1000, 1000) : bytes_.ConsumeIntegral<int32_t>();
    }
    double Double() {
        constexpr double kInf = std::numeric_limits<double>::infinity(), kNaN = std::numeric_limits<double>::quiet_NaN();
        static constexpr double kSpecials[] = {0.0, -0.0, kInf, -kInf, kNaN, 1.7976931348623157e308, 4.9e-324, 2147483648.0};
        return OneIn(4) ? kSpecials[InRange<size_t>(0, 7)] : bytes_.ConsumeFloatingPointInRange(-1e6, 1e6);
    }
    // A count: small most of the time, up to `largest` now and then.
    int32_t Count(int32_t typical, int32_t largest) { return InRange(0, OneIn(8) ? largest : typical); }
    // The uncalibrated record, one near the detector's, or any four integers.
    CalibrationRecord Record() {
        const int kind = InRange(0, 3);
        if (kind == 3) return {Int32(), Int32(), Int32(), Int32()};
        return kind == 0 ? CalibrationRecord{} : NearDetector(700);
    }
    // The simulated detector's record, each position moved by up to `spread` / 64 element.
    CalibrationRecord NearDetector(int32_t spread) {
        return {36080, 9376 + InRange(-spread, spread), 65610, 24528 + InRange(-spread, spread)};
    }
    // n samples (`perElement` to an element) as a detector records them: a base
    // with a slope and noise, up to two lines (Gaussian or triangular, some
    // flat-topped) near sample `near` or anywhere, the ends included; now and
    // then NaN, infinities or huge values at a few samples, or any numbers.
    Drawn Fill(double* v, size_t n, double perElement = 1.0, double near = -1.0) {
        Drawn drawn;
        near = near >= 0.0 && near < double(n) ? near : -1.0;
        if (n == 0 || OneIn(16)) return std::generate(v, v + n, [this] { return Double(); }), drawn;
        const double base = OneIn(8) ? Double() : InRange(-5000, 5000);
        const double slope = Flag() ? 0.0 : InRange(-1000, 1000) / (1000.0 * perElement);
        const double noise = Flag() ? 0.0 : InRange(1, 2000) / 10.0;
        for (uint32_t i = 0, r = InRange<uint32_t>(1, UINT32_MAX); i < n; ++i) {
            r ^= r << 13, r ^= r >> 17, r ^= r << 5;  // xorshift noise
            v[i] = base + slope * i + noise * (r / 2147483648.0 - 1.0);
        }
        for (int l = 0, lines = InRange(0, 2); l < lines; ++l) {
            const double at = near >= 0 && Flag() ? near + InRange(-8, 8) * perElement
                                                  : InRange(-int32_t(n / 16), int32_t(n + n / 16));
            const double centre = at + InRange(0, 63) / 64.0, sigma = perElement * InRange(1, 400) / 40.0;
            const double height = OneIn(8) ? Double() : InRange(1, 100000);
            const double top = OneIn(4) ? InRange(1, 64) * perElement / 16.0 : 0.0, edge = Flag() ? 2.0 : 0.0;
            const double reach = top + (edge > 0 ? edge : 9.0) * sigma + 1.0;  // triangle or Gaussian
            for (double i = std::max(0.0, std::ceil(centre - reach)); i < std::min(double(n), centre + reach); ++i) {
                const double d = std::max(0.0, std::fabs(i - centre) - top) / sigma;
                v[size_t(i)] += height * (edge > 0 ? std::max(0.0, 1.0 - d / edge) : std::exp(-0.5 * d * d));
            }
            drawn = {lines == 1 && noise == 0 && slope == 0 && std::fabs(base) <= 5000 && height >= 1 && height <= 1e6, centre};
        }
        for (int odd = OneIn(8) ? InRange(1, 3) : 0; odd > 0; --odd, drawn.clean = false)
            v[near >= 0 && Flag() ? size_t(near) : InRange<size_t>(0, n - 1)] = Double();
        return drawn;
    }
    std::vector<double> Values(size_t n) {
        std::vector<double> v(n);
        return Fill(v.data(), n), v;
    }
    // The simulated detector's lamps, any slit, its true record (*truth) near the detector's.
    test::Lamps Lamps(CalibrationRecord* truth = nullptr) {
        const CalibrationRecord record = NearDetector(300);
        if (truth != nullptr) *truth = record;
        return test::MakeLamps(record, InRange(2, 40) / 10.0);
    }
    // n values or none: the detector's lamp (of that size) or drawn values.
    Spectrum Optional(bool given, const std::vector<double>& lamp, size_t n = 512) {
        return given ? std::make_unique<ExactArray<double>>(n == lamp.size() && Flag() ? lamp : Values(n)) : nullptr;
    }
    // A call (its result an int32) with an allocation failing now and then,
    // after which all it allocated must be released (what it hands back, freed in `call`).
    template <typename F>
    int32_t Call(F call) {
        namespace hook = module::allocation_hook;
        const long task = hook::OutstandingTaskAllocations(), heap = hook::OutstandingHeapAllocations();
        hook::FailNthAllocation(OneIn(6) ? InRange(1L, 24L) : 0);
        const int32_t result = call();
        hook::FailNthAllocation(0);
        FUZZ_EXPECT(hook::OutstandingTaskAllocations() == task && hook::OutstandingHeapAllocations() == heap);
        return result;
    }

private:
    FuzzedDataProvider bytes_;
};

}  // namespace lumitra::fuzz

// The routines of the targets: a program runs routines first..last of them
// (LUMITRA_FUZZ_ROUTINES, set by fuzz/CMakeLists.txt); the input picks one.
#define FUZZ_ROUTINES(...)                                                                             \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {                          \
        void (*const all[])(::lumitra::fuzz::Input&) = {__VA_ARGS__};                                 \
        const size_t range[] = {LUMITRA_FUZZ_ROUTINES}, last = std::min(range[1], std::size(all) - 1); \
        ::lumitra::fuzz::Input in(data, size);                                                         \
        return all[range[0] == last ? last : in.InRange(range[0], last)](in), 0;                       \
    }
