// Test helpers around the library's allocation hook.
#pragma once

#include <gtest/gtest.h>

#include "module/allocation_hook.h"

namespace lumitra::test {

// Records the outstanding allocations at construction and, at destruction,
// disarms the hook and expects the same counts again: whatever the test
// called released everything it obtained.
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
    long task_;
    long heap_;
};

// Calls `call` with the 1st, 2nd, ... allocation failing in turn until a
// call completes without an injected failure; `check(failed)` inspects the
// outcome of each round (failed = an allocation was refused). Returns the
// number of failure points exercised.
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
    ADD_FAILURE() << "allocation sweep did not finish within " << limit << " failure points";
    return limit;
}

}  // namespace lumitra::test
