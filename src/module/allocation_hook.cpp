#include "module/allocation_hook.h"

#include <atomic>

namespace lumitra::module::allocation_hook {
namespace {
std::atomic<long> g_countdown{0};
std::atomic<bool> g_delivered{false};
std::atomic<long> g_outstandingTask{0};
std::atomic<long> g_outstandingHeap{0};
}  // namespace

void FailNthAllocation(long n) noexcept {
    g_delivered.store(false);
    g_countdown.store(n < 0 ? 0 : n);
}

bool FailureDelivered() noexcept { return g_delivered.load(); }

long OutstandingTaskAllocations() noexcept { return g_outstandingTask.load(); }
long OutstandingHeapAllocations() noexcept { return g_outstandingHeap.load(); }

bool ShouldFailThisAllocation() noexcept {
    long current = g_countdown.load(std::memory_order_relaxed);
    while (current > 0) {
        if (g_countdown.compare_exchange_weak(current, current - 1)) {
            if (current == 1) {
                g_delivered.store(true);
                return true;
            }
            return false;
        }
    }
    return false;
}

void CountTaskAllocation(long delta) noexcept { g_outstandingTask.fetch_add(delta); }
void CountHeapAllocation(long delta) noexcept { g_outstandingHeap.fetch_add(delta); }

}  // namespace lumitra::module::allocation_hook
