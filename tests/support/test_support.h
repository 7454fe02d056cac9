// Helpers shared by the suites: allocation balance and failure sweeps over
// the library's allocation hook, and a seeded generator and digest that
// give the same sequence on every build.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "module/allocation_hook.h"

namespace lumitra::test {

// Expects, at the end of its scope, the library's outstanding allocations
// it found at the start: whatever ran in between released what it took.
class AllocationBalance {
public:
    AllocationBalance()
        : task_(module::allocation_hook::OutstandingTaskAllocations()),
          heap_(module::allocation_hook::OutstandingHeapAllocations()) {}
    ~AllocationBalance() {
        module::allocation_hook::FailNthAllocation(0);
        EXPECT_EQ(module::allocation_hook::OutstandingTaskAllocations(), task_);
        EXPECT_EQ(module::allocation_hook::OutstandingHeapAllocations(), heap_);
    }

private:
    long task_, heap_;
};

// Runs `call` with its 1st, 2nd, ... allocation failing until a call
// completes without a failure; `check(failed)` inspects each round.
// Returns the number of failure points.
template <typename Call, typename Check>
int SweepAllocationFailures(Call call, Check check, int limit = 64) {
    for (int n = 1; n <= limit; ++n) {
        AllocationBalance balance;
        module::allocation_hook::FailNthAllocation(n);
        call();
        const bool failed = module::allocation_hook::FailureDelivered();
        module::allocation_hook::FailNthAllocation(0);
        check(failed);
        if (!failed) return n - 1;
    }
    ADD_FAILURE() << "no call completed within " << limit << " failure points";
    return limit;
}

class SplitMix64 {
public:
    explicit SplitMix64(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform integer in [lo, hi].
    int64_t Uniform(int64_t lo, int64_t hi) {
        return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1));
    }
    // Uniform double in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

private:
    uint64_t state_;
};

// FNV-1a over bytes.
class Digest {
public:
    void AddBytes(const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            hash_ ^= bytes[i];
            hash_ *= 0x100000001B3ull;
        }
    }
    template <typename T>
    void Add(const T& value) {
        AddBytes(&value, sizeof value);
    }
    uint64_t Value() const { return hash_; }

private:
    uint64_t hash_ = 0xCBF29CE484222325ull;
};

inline uint64_t Bits(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace lumitra::test
