// Linux: the task allocator that Windows has in ole32, exported so that a
// host releases returned buffers exactly as a Windows host does.
//
// A few recently freed large blocks are kept and handed out again for the
// same size. Exports such as the spline interpolation allocate fixed
// working blocks of half a megabyte on every call; without this the C
// library would map and unmap them each time, page faults included.
// Ownership of a kept block passes with an atomic exchange, so no lock is
// held and two threads never get the same block.
#if !defined(_WIN32)
#include <atomic>
#include <cstdlib>

#include "lumitra/lumitra.h"

namespace {

// Every block starts with its size; the caller's part follows, 16-byte
// aligned as malloc's own.
struct alignas(16) BlockHeader {
    std::size_t size;
};
constexpr std::size_t kHeaderBytes = sizeof(BlockHeader);

// Blocks of this size and up to the cap are kept when freed.
constexpr std::size_t kKeptFrom = 64 * 1024;
constexpr std::size_t kKeptUpTo = 1024 * 1024;
constexpr int kKeptSlots = 16;
std::atomic<BlockHeader*> g_kept[kKeptSlots];

// Blocks handed out and not yet freed, by anyone: lets a Linux host (or its
// tests) see that it released everything.
std::atomic<long> g_outstandingBlocks{0};

bool Kept(std::size_t size) { return size >= kKeptFrom && size <= kKeptUpTo; }

BlockHeader* TakeKept(std::size_t size) {
    for (auto& slot : g_kept) {
        if (slot.load(std::memory_order_relaxed) == nullptr) continue;
        BlockHeader* block = slot.exchange(nullptr, std::memory_order_acquire);
        if (block == nullptr) continue;
        if (block->size == size) return block;
        // Another size: back into a free slot, or back to the C library.
        BlockHeader* empty = nullptr;
        if (!slot.compare_exchange_strong(empty, block, std::memory_order_release)) std::free(block);
    }
    return nullptr;
}

bool Keep(BlockHeader* block) {
    for (auto& slot : g_kept) {
        BlockHeader* empty = nullptr;
        if (slot.compare_exchange_strong(empty, block, std::memory_order_release)) return true;
    }
    return false;
}

}  // namespace

extern "C" LUMITRA_API void* CoTaskMemAlloc(size_t size) {
    if (size > SIZE_MAX - kHeaderBytes) return nullptr;
    BlockHeader* block = Kept(size) ? TakeKept(size) : nullptr;
    if (block == nullptr) {
        block = static_cast<BlockHeader*>(std::malloc(kHeaderBytes + size));
        if (block == nullptr) return nullptr;
        block->size = size;
    }
    g_outstandingBlocks.fetch_add(1);
    return reinterpret_cast<unsigned char*>(block) + kHeaderBytes;
}

extern "C" LUMITRA_API void CoTaskMemFree(void* memory) {
    if (memory == nullptr) return;
    g_outstandingBlocks.fetch_sub(1);
    auto* block = reinterpret_cast<BlockHeader*>(static_cast<unsigned char*>(memory) - kHeaderBytes);
    if (Kept(block->size) && Keep(block)) return;
    std::free(block);
}

extern "C" LUMITRA_API long LumitraDiagnostics_OutstandingTaskMemory(void) {
    return g_outstandingBlocks.load();
}
#endif
