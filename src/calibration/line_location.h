// Location of the calibration lines on the fine grid.
#pragma once

#include <cstdint>

namespace lumitra::calibration {

// Anchor (656.1 nm) window of the first fine spectrum, and the 360.8 nm
// window relative to the anchor, in fine indices (both ends included).
inline constexpr std::int32_t kAnchorWindowFirst = 23360;
inline constexpr std::int32_t kAnchorWindowLast = 25920;
inline constexpr std::int32_t kSecondLineFromAnchorFirst = -15744;
inline constexpr std::int32_t kSecondLineFromAnchorLast = -14464;
// Baseline span of a half-height centre on either side of the peak.
inline constexpr std::int32_t kHalfHeightSpan = 1280;

// Running maximum a window search starts from.
inline constexpr double kNoLineBelow = -10000000000.0;

// Index of the first strictly greatest value of values[first..last] that
// exceeds `initialMaximum`; 0 when none does (NaN never wins).
std::uint32_t WindowMaximumIndex(const double* values, std::int64_t first, std::int64_t last,
                                 double initialMaximum = kNoLineBelow);

// The anchor is the maximum of the first fine spectrum in its fixed window;
// the 360.8 nm line (when `secondIndex` is given) the maximum of the second
// one in the window 246..226 elements below the anchor. Without an anchor
// (index 0) that window would lie before the array: the second spectrum is
// then not read and its index is 0 as well.
void LocateCalibrationLines(const double* first, const double* second, std::uint32_t* anchorIndex,
                            std::uint32_t* secondIndex);

// Centre of a broad line from its half-height edges, searched between lo
// and hi around the peak p; 0 when the line has no positive width.
std::int32_t HalfHeightCenter(const double* values, std::int32_t p, std::int32_t lo,
                              std::int32_t hi);

}  // namespace lumitra::calibration
