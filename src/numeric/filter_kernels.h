// The window-mean kernels of the low-frequency filter, one per vector
// width. Each writes result[i] = signal[i] - (sum of the clipped window of
// i, added in ascending order) / (its sample count) for i < count; the
// results are identical bit for bit whatever the width.
#pragma once

#include <cstdint>

#include "numeric/instruction_set.h"

namespace lumitra::numeric {

using WindowMeanKernel = void (*)(const double* signal, std::int32_t count,
                                  std::uint32_t halfWidth, double* result);

void SubtractWindowMeansSse2(const double* signal, std::int32_t count, std::uint32_t halfWidth,
                             double* result);
void SubtractWindowMeansAvx2(const double* signal, std::int32_t count, std::uint32_t halfWidth,
                             double* result);
void SubtractWindowMeansAvx512(const double* signal, std::int32_t count, std::uint32_t halfWidth,
                               double* result);

// The kernel of a width; the caller makes sure the processor has it.
WindowMeanKernel WindowMeanKernelFor(InstructionSet set) noexcept;

}  // namespace lumitra::numeric
