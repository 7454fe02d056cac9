// Test hook of the library's allocators: make the Nth allocation from now
// fail, and count the allocations still outstanding, so that every
// out-of-memory path can be exercised and shown to release what it held.
#pragma once

namespace lumitra::module::allocation_hook {

// The nth allocation from now (task allocator or heap, n >= 1) fails;
// n = 0 disarms the hook.
void FailNthAllocation(long n) noexcept;
// True once the armed failure has been delivered.
bool FailureDelivered() noexcept;
// Allocations made through the library's allocators and not yet freed.
long OutstandingTaskAllocations() noexcept;
long OutstandingHeapAllocations() noexcept;

// Used by the allocators: consumes one step of the countdown and says
// whether this allocation must fail.
bool ShouldFailThisAllocation() noexcept;
void CountTaskAllocation(long delta) noexcept;
void CountHeapAllocation(long delta) noexcept;

}  // namespace lumitra::module::allocation_hook
