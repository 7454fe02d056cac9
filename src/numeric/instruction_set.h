// The widest vector instruction set of the processor the library runs on,
// for the kernels that keep one code path per vector width.
#pragma once

namespace lumitra::numeric {

enum class InstructionSet { kSse2 = 0, kAvx2 = 1, kAvx512 = 2 };

// Detected once; SSE2 is the baseline of every build.
InstructionSet BestInstructionSet() noexcept;
const char* InstructionSetName(InstructionSet set) noexcept;

}  // namespace lumitra::numeric
