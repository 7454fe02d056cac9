// Line measurement shared by the deuterium/holmium and deuterium/mercury
// checks: fine-grid preparation, search centres, windowed maxima,
// half-height widths and the evaluation of a line against its reference.
#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"
#include "optics/dispersion.h"

namespace lumitra::checks {

// Fine spectra are indexed 0 .. 32831; indices 0 .. 32768 are defined
// (positions 1.0 to 513.0), and the fine wavelength array holds 32768
// wavelengths. Working arrays have room for 32960 values, zero-filled.
inline constexpr std::int32_t kLastDefinedFineIndex = 512 * 64;
inline constexpr double kInitialMaximum = -10000000000.0;  // as the calibration's

// Scratch blocks for a check's copies of its input spectra.
struct ScratchBlocks {
    double* spectrum;    // copy of the spectrum
    double* background;  // copy of the background
    double* difference;  // spectrum - background
};

// Copies the spectrum (and background), forms their difference and
// resamples it onto the fine grid. Returns the resampling's status.
std::int32_t PrepareFineSpectrum(const double* spectrum, const double* background,
                                 double* fine, const ScratchBlocks& scratch);

// Fine index at which the search window of a line is centred. The anchor
// line (656.1 nm) is centred on the record's measured position, every other
// line one element above its calibrated position. 64-bit, so that no record
// can overflow it.
std::int64_t AnchorSearchCentre(const optics::DispersionParameters& dispersion);
std::int64_t SearchCentre(double wavelength, const optics::DispersionParameters& dispersion);

// Index of the first strictly greatest value above `initialMaximum` in the
// window centre +- halfWidth, clamped to the defined fine samples; 0 when
// no value of the (possibly empty) window exceeds it.
std::int32_t FindWindowMaximum(const double* fine, std::int64_t centre, std::int32_t halfWidth,
                               double initialMaximum);

// Full width at `percent` of the line's height above its base, with the
// base taken from twenty elements on either side of peak index p. width is
// 0.0 (and midpoint not written) when the line has no positive width.
// Reads fine[0 .. 32768] and wavelengths[0 .. 32768] at most.
void MeasureLineWidth(const double* fine, const double* wavelengths, std::int32_t p,
                      std::int32_t first, std::int32_t last, std::int32_t steps, double percent,
                      double* width, double* midpoint);

// Measured wavelength of a line at position q, its deviation from the
// reference and whether |deviation| <= |tolerance|.
void EvaluateCheckLine(double slope, double reference, double measuredPosition, double q,
                       double tolerance, double* measuredWavelength, double* deviation,
                       std::int32_t* withinTolerance);

// Model position of the anchor line, 385.03: every measured line is
// converted back to a wavelength with it, whatever the record's P0 is.
double AnchorModelPosition();

// Line position in elements from a fine index (window-maximum lines).
inline double PositionOfFineIndex(std::int32_t index) { return index * 0.015625 + 1.0; }

// Writes the line at entry `entry` from a width measurement with midpoint:
// its width, then (when there is a midpoint) its measured wavelength,
// deviation and flag; a line without a midpoint reports NaN and flag 0.
struct MidpointLine {
    double width = 0.0;
    double midpoint = 0.0;
    bool measured = false;
};
MidpointLine MeasureMidpointLine(const double* fine, const double* wavelengths, std::int32_t p);
void EvaluateMidpointLine(const MidpointLine& line, const optics::DispersionParameters& dispersion,
                          double reference, double tolerance, WavelengthCheckResult* result,
                          int entry);

}  // namespace lumitra::checks
