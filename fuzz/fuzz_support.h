// What the fuzz targets share: arguments made from the fuzzer's bytes that
// stay inside the exports' pointer contracts (arrays of exactly the size a
// contract requires, so that AddressSanitizer sees any access beyond them;
// records, counts and numbers of any value, NaN and the int32 extremes
// included), and the checks a fuzzer is for: the statuses the contract
// allows and no allocation left behind. A broken expectation aborts, so
// libFuzzer keeps the input as a crash.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/task_allocator.h"

namespace lumitra::fuzz {

[[noreturn]] inline void ExpectationFailed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: expectation failed: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_EXPECT(condition) \
    ((condition) ? void(0) : ::lumitra::fuzz::ExpectationFailed(#condition, __FILE__, __LINE__))

inline bool OneOf(int32_t status, std::initializer_list<int32_t> allowed) {
    for (int32_t s : allowed)
        if (status == s) return true;
    return false;
}

// A heap array of exactly the given values, never null (not even empty).
template <typename T>
class ExactArray {
public:
    explicit ExactArray(const std::vector<T>& values) : data_(new T[values.size() + (values.empty() ? 1 : 0)]) {
        if (!values.empty()) std::memcpy(data_.get(), values.data(), values.size() * sizeof(T));
    }
    T* get() const { return data_.get(); }

private:
    std::unique_ptr<T[]> data_;
};

// Arms the allocation hook for one call; at the end of its scope every
// allocation the call made must have been released (buffers handed back
// are freed with module::TaskFree first).
class CallScope {
public:
    explicit CallScope(long allocationToFail)
        : task_(module::allocation_hook::OutstandingTaskAllocations()),
          heap_(module::allocation_hook::OutstandingHeapAllocations()) {
        module::allocation_hook::FailNthAllocation(allocationToFail);
    }
    ~CallScope() {
        module::allocation_hook::FailNthAllocation(0);
        FUZZ_EXPECT(module::allocation_hook::OutstandingTaskAllocations() == task_);
        FUZZ_EXPECT(module::allocation_hook::OutstandingHeapAllocations() == heap_);
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    long task_, heap_;
};

class Input {
public:
    Input(const uint8_t* data, size_t size) : bytes_(data, size) {}
    bool Flag() { return bytes_.ConsumeBool(); }
    bool OneIn(uint8_t n) { return bytes_.ConsumeIntegralInRange<uint8_t>(1, n) == n; }
    template <typename T>
    T InRange(T lo, T hi) {
        return bytes_.ConsumeIntegralInRange<T>(lo, hi);
    }
    int32_t Int32() {
        static constexpr int32_t kEdges[] = {0, 1, -1, INT32_MIN, INT32_MAX, 65535, 65536};
        if (Flag()) return kEdges[InRange<size_t>(0, 6)];
        return Flag() ? InRange<int32_t>(-1000, 1000) : bytes_.ConsumeIntegral<int32_t>();
    }
    double Double() {
        static constexpr double kSpecials[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                                               -std::numeric_limits<double>::infinity(),
                                               std::numeric_limits<double>::quiet_NaN(),
                                               std::numeric_limits<double>::max(),
                                               std::numeric_limits<double>::denorm_min(), 2147483648.0};
        if (OneIn(4)) return kSpecials[InRange<size_t>(0, 7)];
        return bytes_.ConsumeFloatingPointInRange<double>(-1e6, 1e6);
    }
    // A count: small most of the time, up to `largest` now and then.
    int32_t Count(int32_t typical, int32_t largest) { return InRange<int32_t>(0, OneIn(8) ? largest : typical); }
    // The uncalibrated record, one near the detector's, or any four integers.
    CalibrationRecord Record() {
        switch (InRange<int>(0, 3)) {
            case 0: return {0, 0, 0, 0};
            case 3: return {Int32(), Int32(), Int32(), Int32()};
            default: return {36080, 9376 + InRange<int32_t>(-700, 700), 65610, 24528 + InRange<int32_t>(-700, 700)};
        }
    }
    // n values: a line or two on a baseline, or any numbers.
    std::vector<double> Spectrum(size_t n) {
        std::vector<double> values(n);
        const bool raw = OneIn(4);
        const double base = Double(), centre = InRange<int32_t>(-20, 540), height = Double();
        for (size_t i = 0; i < n; ++i)
            values[i] = raw ? Double() : base + height * std::exp(-0.5 * std::pow((double(i) - centre) / 2.0, 2));
        return values;
    }
    long AllocationToFail() { return OneIn(6) ? InRange<long>(1, 24) : 0; }

private:
    FuzzedDataProvider bytes_;
};

}  // namespace lumitra::fuzz
