// The low-frequency filter: from every sample of a signal it subtracts the
// mean of the samples within halfWidth on either side (the window clipped
// at both ends), leaving the narrow features on a baseline near zero. The
// calibration and the holmium check run it on fine-grid spectra (32,832
// samples, half-width 640).
#pragma once

#include <cstdint>

#include "numeric/instruction_set.h"

namespace lumitra::numeric {

// Filters signal[0..count-1] in place. halfWidth 0: S_OK, nothing changes.
// E_OUTOFMEMORY, signal untouched: count negative, count*8 beyond 32 bits,
// or no memory for the one working array (from the ordinary heap).
std::int32_t FiltrateLowFrequency(double* signal, std::int32_t count, std::uint32_t halfWidth);

// The lanes the filter runs on this processor.
InstructionSet FilterInstructionSet() noexcept;

}  // namespace lumitra::numeric
