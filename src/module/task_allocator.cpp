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
