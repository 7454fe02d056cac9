// The three calibration entry points behind the exports, and the line
// searches they make. The exports have checked the pointers each one
// requires and the kind of the combined entry.
#pragma once

#include <cstdint>

#include "calibration/line_location.h"
#include "lumitra/lumitra.h"

namespace lumitra::calibration {

// Line-search methods of the two-line calibration.
inline constexpr std::int32_t kFineGridMethod = 0;  // any other value: refinement
// Kinds of the combined entry.
inline constexpr std::int32_t kTwoLineKind = 0;
inline constexpr std::int32_t kWideSlitKind = 1;

std::int32_t DoWavelengthCalibration(std::int32_t method, const double* dark1,
                                     const double* spectrum1, const double* dark2,
                                     const double* spectrum2, CalibrationRecord* record);
std::int32_t DoWavelengthCalibrationForWideSlit(const double* spectrum, CalibrationRecord* record);
std::int32_t DoWavelengthCalibrationEx(std::int32_t method, const double* spectrum1,
                                       const double* spectrum2, double* copy1, double* copy2,
                                       CalibrationRecord* record, std::int32_t kind);

// The searches of the fine-grid and refinement methods and of the wide-slit
// calibration, in the order of the record's lines (360.8 nm, then 656.1
// nm). differences[i] is input i (512 values) or null: its searches are
// then not made, and the 360.8 nm window of the fine-grid method, which
// lies below the anchor found, is empty without an anchor.
enum class CalibrationSearches { kFineGrid, kRefinement, kWideSlit };
inline constexpr std::int32_t kMaxCalibrationSearches = 2;
std::int32_t CalibrationSearchCount(CalibrationSearches which);
// S_OK, or E_OUTOFMEMORY with nothing written.
std::int32_t DescribeCalibrationSearches(CalibrationSearches which,
                                         const double* const* differences, LineSearch* searches);

}  // namespace lumitra::calibration
