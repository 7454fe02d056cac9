// The background-subtracted spectrum as a UV spectrum record whose arrays
// come from the sibling library's allocator.
#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"

namespace lumitra::chromdata {

// Clears the record, subtracts the background and lets `allocate` give
// the record its arrays, then fills it. Statuses: those of the
// subtraction, E_UNEXPECTED when the wavelength array's point-count
// element differs from the count (record left all zero), the allocator's
// failure (record as the allocator left it), else the allocator's status.
std::int32_t BuildUVSpecData(const BGSubtractionRequest& request,
                             LumitraAllocateUVSpecDataFn allocate, UVSpecData* record) noexcept;

}  // namespace lumitra::chromdata
