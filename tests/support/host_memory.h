// The task allocator as the host uses it: in the white-box programs through
// the library's own entries, so that the allocation hook counts (and can
// fail) the blocks; in programs that link the shipped library through its
// exported CoTaskMemAlloc/CoTaskMemFree.
#pragma once

#include <cstddef>

#include "lumitra/lumitra.h"
#if defined(LUMITRA_STATIC)
#include "module/task_allocator.h"
#endif

namespace lumitra::test {

inline void* HostAllocate(size_t bytes) {
#if defined(LUMITRA_STATIC)
    return module::TaskAllocate(bytes);
#else
    return ::CoTaskMemAlloc(bytes);
#endif
}

inline void HostFree(void* block) {
#if defined(LUMITRA_STATIC)
    module::TaskFree(block);
#else
    ::CoTaskMemFree(block);
#endif
}

}  // namespace lumitra::test
