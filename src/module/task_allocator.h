// Working and returned buffers of the library.
//
// Buffers that cross the interface, and most working arrays, come from the
// COM task allocator; two kernels use the ordinary heap. Every allocation of
// the library goes through these four functions so that the allocation
// hook (allocation_hook.h) can fail any one of them and count what is still
// outstanding.
#pragma once

#include <cstddef>

namespace lumitra::module {

// CoTaskMemAlloc; nullptr when the allocator (or the hook) refuses.
void* TaskAllocate(std::size_t bytes) noexcept;
// CoTaskMemFree; nullptr is ignored.
void TaskFree(void* block) noexcept;

// malloc/free, for the kernels whose contract names the ordinary heap.
void* HeapAllocate(std::size_t bytes) noexcept;
void HeapFree(void* block) noexcept;

}  // namespace lumitra::module
