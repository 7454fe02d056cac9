#include "numeric/instruction_set.h"

namespace lumitra::numeric {
namespace {

InstructionSet Detect() noexcept {
    // The compiler's run-time check also asks the operating system whether
    // it saves the wider registers.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return InstructionSet::kAvx512;
    if (__builtin_cpu_supports("avx2")) return InstructionSet::kAvx2;
    return InstructionSet::kSse2;
}

}  // namespace

InstructionSet BestInstructionSet() noexcept {
    static const InstructionSet best = Detect();
    return best;
}

const char* InstructionSetName(InstructionSet set) noexcept {
    switch (set) {
        case InstructionSet::kAvx512: return "AVX-512";
        case InstructionSet::kAvx2: return "AVX2";
        case InstructionSet::kSse2: break;
    }
    return "SSE2";
}

}  // namespace lumitra::numeric
