#include "chromdata/uv_spectrum_allocator.h"

#include <atomic>

#include "module/dynamic_library.h"

namespace lumitra::chromdata {
namespace {

// The one value the library keeps between calls. Two first calls on two
// threads may both look it up; both store the same address, and the atomic
// guarantees that no reader sees a torn pointer.
std::atomic<LumitraAllocateUVSpecDataFn> g_allocateUVSpecData{nullptr};

constexpr const char* kSiblingFileName = "Varnex2.dll";
constexpr const char* kAllocatorName = "Tool_AllocateUVSpecData";

}  // namespace

std::int32_t ResolveAllocateUVSpecData(LumitraAllocateUVSpecDataFn* allocate) noexcept {
    LumitraAllocateUVSpecDataFn cached = g_allocateUVSpecData.load(std::memory_order_acquire);
    if (cached == nullptr) {
        try {
            module::DynamicLibrary sibling(kSiblingFileName);
            if (!sibling.IsLoaded()) return E_UNEXPECTED;
            // Never unloaded: the handle is dropped, the library stays.
            sibling.KeepLoaded();
            void* address = sibling.FindByName(kAllocatorName);
            if (address == nullptr) return E_NOINTERFACE;
            cached = reinterpret_cast<LumitraAllocateUVSpecDataFn>(address);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        g_allocateUVSpecData.store(cached, std::memory_order_release);
    }
    *allocate = cached;
    return S_OK;
}

}  // namespace lumitra::chromdata
