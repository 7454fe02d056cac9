#include "support/new_failure.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_countdown{0};
std::atomic<bool> g_delivered{false};
std::atomic<int> g_openWindows{0};

bool ShouldFail() {
    if (g_openWindows.load() == 0) return false;
    long current = g_countdown.load();
    while (current > 0) {
        if (g_countdown.compare_exchange_weak(current, current - 1)) {
            if (current != 1) return false;
            g_delivered = true;
            return true;
        }
    }
    return false;
}
}  // namespace

namespace lumitra::test {
void FailNthNew(long n) {
    g_delivered = false;
    g_countdown = n < 0 ? 0 : n;
}
bool NewFailureDelivered() { return g_delivered; }
NewFailureWindow::NewFailureWindow() { ++g_openWindows; }
NewFailureWindow::~NewFailureWindow() { --g_openWindows; }
}  // namespace lumitra::test

// The array and nothrow forms of the standard library forward to these.
// Every form of delete is replaced too, so that a sanitizer's own delete
// never meets a block from this malloc.
void* operator new(std::size_t size) {
    void* block = ShouldFail() ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
