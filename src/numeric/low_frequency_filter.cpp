#include "numeric/low_frequency_filter.h"

#include <cstddef>
#include <cstring>

#include "lumitra/lumitra.h"
#include "module/task_allocator.h"
#include "numeric/filter_kernels.h"

namespace lumitra::numeric {
namespace {

// The working array's byte size, count * 8, must fit 32 bits.
constexpr std::int32_t kLargestCount = 0x1FFFFFFF;

}  // namespace

WindowMeanKernel WindowMeanKernelFor(InstructionSet set) noexcept {
    switch (set) {
        case InstructionSet::kAvx512: return &SubtractWindowMeansAvx512;
        case InstructionSet::kAvx2: return &SubtractWindowMeansAvx2;
        case InstructionSet::kSse2: break;
    }
    return &SubtractWindowMeansSse2;
}

InstructionSet FilterInstructionSet() noexcept { return BestInstructionSet(); }

std::int32_t FiltrateLowFrequency(double* signal, std::int32_t count, std::uint32_t halfWidth) {
    if (halfWidth == 0) return S_OK;
    if (count < 0 || count > kLargestCount) return E_OUTOFMEMORY;
    const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(double);
    // Every mean is taken over the unfiltered signal, so the results are
    // collected apart and copied over it at the end. Each entry is written
    // before the copy; the array needs no clearing.
    auto* filtered = static_cast<double*>(module::HeapAllocate(bytes));
    if (filtered == nullptr) return E_OUTOFMEMORY;
    static const WindowMeanKernel kernel = WindowMeanKernelFor(FilterInstructionSet());
    kernel(signal, count, halfWidth, filtered);
    if (count > 0) std::memcpy(signal, filtered, bytes);
    module::HeapFree(filtered);
    return S_OK;
}

}  // namespace lumitra::numeric
