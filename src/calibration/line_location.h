// Location of lines in sampled spectra: the window maximum that every line
// search of the calibration and the lamp checks makes, the windows of the
// calibration lines, and the half-height centre of a broad line.
#pragma once

#include <cstdint>

namespace lumitra::calibration {

// Samples first .. last of a spectrum, both ends included; empty when
// first > last.
struct SampleWindow {
    std::int32_t first;
    std::int32_t last;
};

// The floor of a window search unless an operation says otherwise: any
// value above it can be the line.
inline constexpr double kNoLineBelow = -10000000000.0;
// What a search that finds nothing reports; the operations then go on with
// index 0.
inline constexpr std::int32_t kNoLine = -1;

// Index of the first strictly greatest value of the window above `floor`;
// kNoLine when no value exceeds it (NaN never wins).
std::int32_t FindMaximum(const double* values, SampleWindow window, double floor);
inline std::uint32_t IndexOrZero(std::int32_t found) {
    return found == kNoLine ? 0u : static_cast<std::uint32_t>(found);
}

// The anchor (656.1 nm) window of the first fine spectrum, and the 360.8 nm
// window 246..226 elements below the anchor found, in fine indices.
inline constexpr SampleWindow kAnchorWindow{23360, 25920};
inline constexpr SampleWindow kSecondLineFromAnchor{-15744, -14464};
inline SampleWindow SecondLineWindow(std::uint32_t anchor) {
    const auto a = static_cast<std::int32_t>(anchor);
    return {a + kSecondLineFromAnchor.first, a + kSecondLineFromAnchor.last};
}

// The refinement method's coarse search: the 40 element values (0-based)
// around the line's nominal element, from a floor of 0.0.
inline constexpr double kCoarseFloor = 0.0;
SampleWindow CoarseWindow(double wavelength);

// The anchor is the maximum of the first fine spectrum in its fixed window;
// the 360.8 nm line (when `secondIndex` is given) the maximum of the second
// one in its window below the anchor. Without an anchor (index 0) that
// window would lie before the array: the second spectrum is then not read
// and its index is 0 as well.
void LocateCalibrationLines(const double* first, const double* second, std::uint32_t* anchorIndex,
                            std::uint32_t* secondIndex);

// One line search as an operation makes it: the line, the difference
// spectrum searched (its input number), the data looked at (64 samples per
// element: resampled onto the fine grid; 1: the element values; filtered
// with filterHalfWidth first unless 0), the window, the floor a value must
// exceed and the sample found there (kNoLine: none, or not searched).
struct LineSearch {
    double reference;
    std::int32_t input;
    std::int32_t samplesPerElement;
    std::int32_t filterHalfWidth;
    SampleWindow window;
    std::int32_t found;
    double floor;
};

// Position in elements of sample k of data with `samplesPerElement` samples
// per element (sample 0 is element 1).
double SamplePosition(std::int32_t k, std::int32_t samplesPerElement);

// The data a search of samplesPerElement (1 or 64) and filterHalfWidth
// looks at, made from a 512-value difference: `count` values (512, or the
// fine count) into data, written only on success. S_OK, E_OUTOFMEMORY or
// the resampling's status.
std::int32_t SearchedValues(const double* difference, std::int32_t samplesPerElement,
                            std::uint32_t filterHalfWidth, double* data, std::int32_t* count);

// Centre of a broad line from its half-height edges, searched between lo
// and hi around the peak p; 0 when the line has no positive width.
std::int32_t HalfHeightCenter(const double* values, std::int32_t p, std::int32_t lo,
                              std::int32_t hi);

}  // namespace lumitra::calibration
