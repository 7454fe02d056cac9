// Line measurement shared by the deuterium/holmium and deuterium/mercury
// checks: the lines each check measures, fine-grid preparation, search
// windows, half-height widths and the evaluation of a line against its
// reference.
#pragma once

#include <cstdint>
#include <span>

#include "calibration/line_location.h"
#include "lumitra/lumitra.h"
#include "optics/dispersion.h"

namespace lumitra::checks {

// One line of a lamp check, at its entry of the result: the spectrum it is
// searched in (input 0 is the deuterium spectrum, then the check's own),
// its window (centred on the record's measured position for the anchor
// line, else on its calibrated position) and the floor of the search, and
// whether its position is the midpoint of its half-height width or the
// sample of its maximum.
struct CheckLine {
    double reference;  // nm
    std::int32_t input;
    std::int32_t halfWidth;  // fine samples
    double floor;
    bool anchor;
    bool fromMidpoint;
};

// The lines of a check and its inputs; `filteredInput` (if not -1) is
// low-frequency filtered before its lines are searched.
struct CheckPlan {
    std::span<const CheckLine> lines;
    std::int32_t inputCount;
    std::int32_t filteredInput;
};
extern const CheckPlan kHolmiumCheck;
extern const CheckPlan kMercuryCheck;

// Scratch blocks for a check's copies of its input spectra.
struct ScratchBlocks {
    double* spectrum;    // copy of the spectrum
    double* background;  // copy of the background
    double* difference;  // spectrum - background
};

// Writes lineCount and the reference wavelengths of the plan's lines.
void WriteReferences(const CheckPlan& plan, WavelengthCheckResult* result);

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

// The window centre +- halfWidth within the defined fine samples 0 .. 32768
// (empty when it lies outside them), and the window of a check line.
calibration::SampleWindow FineWindow(std::int64_t centre, std::int32_t halfWidth);
calibration::SampleWindow LineWindow(const CheckLine& line,
                                     const optics::DispersionParameters& dispersion);

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

// Searches, measures and evaluates every line of the plan whose spectrum
// is given (fine[input], on the fine grid; null: its entries keep what the
// host put there), filling its entries of the result. A line whose width
// yields no midpoint reports NaN and flag 0.
void MeasureCheckLines(const CheckPlan& plan, const double* const* fine, const double* wavelengths,
                       const optics::DispersionParameters& dispersion, double tolerance,
                       WavelengthCheckResult* result);

// The plan's searches for a record, in the order of the result's entries;
// differences as for the calibration's searches (null: windows only).
// S_OK, or E_OUTOFMEMORY with nothing written.
std::int32_t DescribeCheckSearches(const CheckPlan& plan, const CalibrationRecord& record,
                                   const double* const* differences,
                                   calibration::LineSearch* searches);

}  // namespace lumitra::checks
