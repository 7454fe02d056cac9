// Sub-element refinement of a line position by the host's sibling library
// KESTRONA.DLL (entry with ordinal 17), loaded and released on every call.
#pragma once

#include <cstdint>

namespace lumitra::calibration {

// Hands the coarse maximum `index` (0-based element) of `spectrum` (count
// values) to the sibling, which writes the refined position in elements
// (element 1 = 1.0) into *result. Returns S_OK, or E_FAIL when the sibling
// cannot be loaded or lacks its ordinal-17 entry (*result untouched).
std::int32_t RefinePeakPosition(std::int32_t count, std::int32_t index, double* result,
                                const double* spectrum);

}  // namespace lumitra::calibration
