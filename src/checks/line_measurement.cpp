#include "checks/line_measurement.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "calibration/fine_grid.h"
#include "calibration/line_location.h"
#include "numeric/truncation.h"

namespace lumitra::checks {

namespace {
constexpr std::int32_t kElements = LUMITRA_ELEMENT_COUNT;
constexpr std::int32_t kBaselineElements = 20;
}  // namespace

std::int32_t PrepareFineSpectrum(const double* spectrum, const double* background, double* fine,
                                 const ScratchBlocks& scratch) {
    std::memcpy(scratch.spectrum, spectrum, kElements * sizeof(double));
    if (background != nullptr)
        std::memcpy(scratch.background, background, kElements * sizeof(double));
    for (std::int32_t e = 0; e < kElements; ++e)
        scratch.difference[e] =
            scratch.spectrum[e] - (background != nullptr ? scratch.background[e] : 0.0);
    return calibration::ResampleToFineGrid(kElements, scratch.difference, fine);
}

std::int64_t AnchorSearchCentre(const optics::DispersionParameters& dispersion) {
    // trunc(64 * M0) - 64, evaluated as -64 - trunc(-64.0 * M0).
    return -64 - static_cast<std::int64_t>(
                     numeric::TruncateToInt32(-64.0 * dispersion.measuredPosition));
}

std::int64_t SearchCentre(double wavelength, const optics::DispersionParameters& dispersion) {
    return numeric::TruncateToInt32(
        64.0 * optics::CalibratedPosition(wavelength, dispersion.modelPosition,
                                          dispersion.measuredPosition, dispersion.slope));
}

std::int32_t FindWindowMaximum(const double* fine, std::int64_t centre, std::int32_t halfWidth,
                               double initialMaximum) {
    const std::int64_t first = std::max<std::int64_t>(centre - halfWidth, 0);
    const std::int64_t last = std::min<std::int64_t>(centre + halfWidth, kLastDefinedFineIndex);
    return static_cast<std::int32_t>(
        calibration::WindowMaximumIndex(fine, first, last, initialMaximum));
}

void MeasureLineWidth(const double* s, const double* w, std::int32_t p, std::int32_t first,
                      std::int32_t last, std::int32_t steps, double percent, double* width,
                      double* midpoint) {
    *width = 0.0;
    const std::int32_t lower = steps * first - 1;
    const std::int32_t upper = steps * last - 1;
    const std::int32_t span = kBaselineElements * steps;

    double leftMinimum = s[p];
    for (std::int32_t i = p - 1; i >= std::max(lower, p - span); --i)
        if (s[i] < leftMinimum) leftMinimum = s[i];
    double rightMinimum = s[p];
    for (std::int32_t i = p + 1; i < std::min(upper, p + span); ++i)
        if (s[i] < rightMinimum) rightMinimum = s[i];
    const double base = leftMinimum > rightMinimum ? leftMinimum : rightMinimum;
    const double height = s[p] - base;
    const double level = percent * height / 100.0;

    double left = w[lower];
    for (std::int32_t i = p - 1; i >= lower; --i) {
        const double v = s[i] - base;
        if (v <= level) {
            const double previous = s[i + 1] - base;
            left = v == level ? w[i] : w[i] + (w[i + 1] - w[i]) * (level - v) / (previous - v);
            break;
        }
    }
    double right = w[upper];
    for (std::int32_t i = p + 1; i <= upper; ++i) {
        const double v = s[i] - base;
        if (v <= level) {
            const double previous = s[i - 1] - base;
            right = v == level ? w[i] : w[i] - (w[i] - w[i - 1]) * (level - v) / (previous - v);
            break;
        }
    }
    if (left < right) {
        *width = right - left;
        if (midpoint != nullptr) *midpoint = left + (right - left) * 0.5;
    }
}

double AnchorModelPosition() {
    return optics::RoundToHundredth(optics::WavelengthToPosition(656.1));
}

void EvaluateCheckLine(double slope, double reference, double measuredPosition, double q,
                       double tolerance, double* measuredWavelength, double* deviation,
                       std::int32_t* withinTolerance) {
    optics::PositionToWavelength(q, slope, AnchorModelPosition(), measuredPosition,
                                 measuredWavelength);
    *deviation = *measuredWavelength - reference;
    *withinTolerance = std::fabs(*deviation) <= std::fabs(tolerance) ? 1 : 0;
}

MidpointLine MeasureMidpointLine(const double* fine, const double* wavelengths, std::int32_t p) {
    MidpointLine line;
    line.midpoint = std::numeric_limits<double>::quiet_NaN();
    MeasureLineWidth(fine, wavelengths, p, 1, kElements, 64, 50.0, &line.width, &line.midpoint);
    line.measured = !std::isnan(line.midpoint);
    return line;
}

void EvaluateMidpointLine(const MidpointLine& line, const optics::DispersionParameters& dispersion,
                          double reference, double tolerance, WavelengthCheckResult* result,
                          int entry) {
    if (!line.measured) {
        // No half-height edges, so no position: nothing was measured.
        result->measuredWavelength[entry] = std::numeric_limits<double>::quiet_NaN();
        result->deviation[entry] = std::numeric_limits<double>::quiet_NaN();
        result->withinTolerance[entry] = 0;
        return;
    }
    const double q = optics::CalibratedPosition(line.midpoint, AnchorModelPosition(),
                                                dispersion.measuredPosition, dispersion.slope);
    EvaluateCheckLine(dispersion.slope, reference, dispersion.measuredPosition, q, tolerance,
                      &result->measuredWavelength[entry], &result->deviation[entry],
                      &result->withinTolerance[entry]);
}

}  // namespace lumitra::checks
