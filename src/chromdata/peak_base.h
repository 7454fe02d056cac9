// The common base of neighbouring chromatographic peaks: for a selected
// peak, the first and last peak standing on the same baseline segment, and
// the peak that belongs to a retention time. Peak numbers are 1-based.
#pragma once

#include <cstdint>

namespace lumitra::chromdata {

struct BasePeaks {
    std::int32_t first = 0;
    std::int32_t last = 0;
};

// E_ABORT: the table holds no peak; E_INVALIDARG: peak outside
// 1..count; S_OK with *base set otherwise. The backward moves at the end
// of a base stop at the first record of the table.
std::int32_t FindBasePeaks(const void* peakTable, std::int32_t peak, BasePeaks* base) noexcept;

// The peak whose start..end holds time with the nearest retention time
// (ties to the first); with fallback 1, the nearest retention time over all
// peaks when none holds the time. 0 for none.
std::int32_t PeakAtRetentionTime(const void* peakTable, std::int32_t time,
                                 std::int16_t fallback) noexcept;

}  // namespace lumitra::chromdata
