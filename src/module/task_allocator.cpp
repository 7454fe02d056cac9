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
// Without COM, the library provides the task allocator itself, so that a
// Linux host releases returned buffers exactly as a Windows host does.
extern "C" LUMITRA_API void* CoTaskMemAlloc(size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

extern "C" LUMITRA_API void CoTaskMemFree(void* block) { std::free(block); }
#endif
