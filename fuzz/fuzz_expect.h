// What every fuzzed call must satisfy besides running clean under the
// sanitizers: the statuses and out-parameters its contract allows, and no
// allocation left behind. A broken expectation aborts, so libFuzzer keeps
// the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "module/allocation_hook.h"
#include "module/task_allocator.h"

namespace lumitra::fuzz {

[[noreturn]] inline void ExpectationFailed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: expectation failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_EXPECT(condition) \
    ((condition) ? void(0) : ::lumitra::fuzz::ExpectationFailed(#condition, __FILE__, __LINE__))

// Byte-wise equality of two objects (records the call must not have
// touched, doubles compared by their bits).
template <typename T>
bool SameBytes(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Arms the allocation hook for one call and, when it goes out of scope,
// expects every allocation the call made to be released again (buffers
// handed to the caller must be freed with ReleaseTask before that).
class CallScope {
public:
    explicit CallScope(long allocationToFail)
        : task_(module::allocation_hook::OutstandingTaskAllocations()),
          heap_(module::allocation_hook::OutstandingHeapAllocations()) {
        module::allocation_hook::FailNthAllocation(allocationToFail);
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    ~CallScope() {
        module::allocation_hook::FailNthAllocation(0);
        FUZZ_EXPECT(module::allocation_hook::OutstandingTaskAllocations() == task_);
        FUZZ_EXPECT(module::allocation_hook::OutstandingHeapAllocations() == heap_);
    }
    // Whether the armed allocation failure was delivered during the call.
    static bool FailureDelivered() { return module::allocation_hook::FailureDelivered(); }

private:
    long task_;
    long heap_;
};

// Frees a buffer the library handed back, through the counted allocator.
inline void ReleaseTask(void* block) { module::TaskFree(block); }

}  // namespace lumitra::fuzz
