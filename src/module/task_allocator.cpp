#include "module/task_allocator.h"

#include <cstdlib>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"

namespace lumitra::module {

void* TaskAllocate(std::size_t bytes) noexcept {
    if (allocation_hook::ShouldFailThisAllocation()) return nullptr;
    void* block = ::CoTaskMemAlloc(bytes);
    if (block != nullptr) allocation_hook::CountTaskAllocation(+1);
    return block;
}

void TaskFree(void* block) noexcept {
    if (block == nullptr) return;
    allocation_hook::CountTaskAllocation(-1);
    ::CoTaskMemFree(block);
}

void* HeapAllocate(std::size_t bytes) noexcept {
    if (allocation_hook::ShouldFailThisAllocation()) return nullptr;
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block != nullptr) allocation_hook::CountHeapAllocation(+1);
    return block;
}

void HeapFree(void* block) noexcept {
    if (block == nullptr) return;
    allocation_hook::CountHeapAllocation(-1);
    std::free(block);
}

}  // namespace lumitra::module

#if !defined(_WIN32)
#include <atomic>

namespace {
// Blocks of the task allocator not yet freed, whoever allocated or freed
// them: lets a Linux host (or its tests) see that it released everything.
std::atomic<long> g_taskMemoryBlocks{0};
}  // namespace

// Without COM, the library provides the task allocator itself, so that a
// Linux host releases returned buffers exactly as a Windows host does.
extern "C" LUMITRA_API void* CoTaskMemAlloc(size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) g_taskMemoryBlocks.fetch_add(1);
    return block;
}

extern "C" LUMITRA_API void CoTaskMemFree(void* block) {
    if (block == nullptr) return;
    g_taskMemoryBlocks.fetch_sub(1);
    std::free(block);
}

extern "C" LUMITRA_API long LumitraDiagnostics_OutstandingTaskMemory(void) {
    return g_taskMemoryBlocks.load();
}
#endif
