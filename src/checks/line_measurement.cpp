#include "checks/line_measurement.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "calibration/calibration_record.h"
#include "module/task_array.h"
#include "numeric/fine_grid.h"
#include "numeric/truncation.h"

namespace lumitra::checks {

namespace {

using calibration::kAnchorLine;
using calibration::kNoLineBelow;
using calibration::kSecondLine;
using numeric::kFineSteps;
// Widths are measured at half the height.
constexpr double kHalfHeightPercent = 50.0;

constexpr CheckLine kHolmiumLines[] = {
    {486.0, 0, 4 * kFineSteps, kNoLineBelow, false, true},
    {kAnchorLine, 0, 20 * kFineSteps, kNoLineBelow, true, true},
    {287.6, 1, 4 * kFineSteps, kNoLineBelow, false, false},
    {kSecondLine, 1, 10 * kFineSteps, kNoLineBelow, false, false},
};
// The deuterium windows start from 0.0: a window without a positive value
// reports index 0.
constexpr CheckLine kMercuryLines[] = {
    {486.0, 0, 4 * kFineSteps, 0.0, false, true},
    {kAnchorLine, 0, 20 * kFineSteps, 0.0, true, true},
    {253.7, 1, 10 * kFineSteps, kNoLineBelow, false, true},
    {404.7, 2, 10 * kFineSteps, kNoLineBelow, false, true},
    {435.8, 2, 10 * kFineSteps, kNoLineBelow, false, true},
    {546.1, 2, 10 * kFineSteps, kNoLineBelow, false, true},
};
constexpr std::int32_t kMaxInputs = 3;

// A line measured from its half-height midpoint.
struct MidpointLine {
    double width = 0.0;
    double midpoint = 0.0;
    bool measured = false;
};

MidpointLine MeasureMidpointLine(const double* fine, const double* wavelengths, std::int32_t p) {
    MidpointLine line;
    line.midpoint = std::numeric_limits<double>::quiet_NaN();
    MeasureLineWidth(fine, wavelengths, p, 1, LUMITRA_ELEMENT_COUNT, kFineSteps, kHalfHeightPercent,
                     &line.width, &line.midpoint);
    line.measured = !std::isnan(line.midpoint);
    return line;
}

void EvaluateMidpointLine(const MidpointLine& line, const optics::DispersionParameters& dispersion,
                          double reference, double tolerance, WavelengthCheckResult* result,
                          std::size_t entry) {
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

}  // namespace

const CheckPlan kHolmiumCheck{kHolmiumLines, 2, 1};
const CheckPlan kMercuryCheck{kMercuryLines, kMaxInputs, -1};

void WriteReferences(const CheckPlan& plan, WavelengthCheckResult* result) {
    result->lineCount = static_cast<std::int16_t>(plan.lines.size());
    for (std::size_t i = 0; i < plan.lines.size(); ++i)
        result->referenceWavelength[i] = plan.lines[i].reference;
}

std::int32_t PrepareFineSpectrum(const double* spectrum, const double* background, double* fine,
                                 const ScratchBlocks& scratch) {
    std::memcpy(scratch.spectrum, spectrum, LUMITRA_ELEMENT_COUNT * sizeof(double));
    if (background != nullptr)
        std::memcpy(scratch.background, background, LUMITRA_ELEMENT_COUNT * sizeof(double));
    for (std::int32_t e = 0; e < LUMITRA_ELEMENT_COUNT; ++e)
        scratch.difference[e] =
            scratch.spectrum[e] - (background != nullptr ? scratch.background[e] : 0.0);
    return numeric::ResampleToFineGrid(LUMITRA_ELEMENT_COUNT, scratch.difference, fine);
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

calibration::SampleWindow FineWindow(std::int64_t centre, std::int32_t halfWidth) {
    const std::int64_t last = numeric::kLastDefinedFineIndex;
    return {static_cast<std::int32_t>(std::clamp<std::int64_t>(centre - halfWidth, 0, last + 1)),
            static_cast<std::int32_t>(std::clamp<std::int64_t>(centre + halfWidth, -1, last))};
}

calibration::SampleWindow LineWindow(const CheckLine& line,
                                     const optics::DispersionParameters& dispersion) {
    const std::int64_t centre =
        line.anchor ? AnchorSearchCentre(dispersion) : SearchCentre(line.reference, dispersion);
    return FineWindow(centre, line.halfWidth);
}

void MeasureLineWidth(const double* s, const double* w, std::int32_t p, std::int32_t first,
                      std::int32_t last, std::int32_t steps, double percent, double* width,
                      double* midpoint) {
    *width = 0.0;
    const std::int32_t lower = steps * first - 1;
    const std::int32_t upper = steps * last - 1;
    const std::int32_t span = numeric::kBaselineElements * steps;

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
    return optics::RoundToHundredth(optics::WavelengthToPosition(kAnchorLine));
}

void EvaluateCheckLine(double slope, double reference, double measuredPosition, double q,
                       double tolerance, double* measuredWavelength, double* deviation,
                       std::int32_t* withinTolerance) {
    optics::PositionToWavelength(q, slope, AnchorModelPosition(), measuredPosition,
                                 measuredWavelength);
    *deviation = *measuredWavelength - reference;
    *withinTolerance = std::fabs(*deviation) <= std::fabs(tolerance) ? 1 : 0;
}

void MeasureCheckLines(const CheckPlan& plan, const double* const* fine, const double* wavelengths,
                       const optics::DispersionParameters& dispersion, double tolerance,
                       WavelengthCheckResult* result) {
    for (std::size_t entry = 0; entry < plan.lines.size(); ++entry) {
        const CheckLine& line = plan.lines[entry];
        const double* spectrum = fine[line.input];
        if (spectrum == nullptr) continue;
        const auto index = static_cast<std::int32_t>(calibration::IndexOrZero(
            calibration::FindMaximum(spectrum, LineWindow(line, dispersion), line.floor)));
        if (line.fromMidpoint) {
            const MidpointLine measured = MeasureMidpointLine(spectrum, wavelengths, index);
            result->lineWidth[entry] = measured.width;
            EvaluateMidpointLine(measured, dispersion, line.reference, tolerance, result, entry);
            continue;
        }
        MeasureLineWidth(spectrum, wavelengths, index, 1, LUMITRA_ELEMENT_COUNT, kFineSteps,
                         kHalfHeightPercent, &result->lineWidth[entry], nullptr);
        EvaluateCheckLine(dispersion.slope, line.reference, dispersion.measuredPosition,
                          numeric::PositionOfFineIndex(index), tolerance,
                          &result->measuredWavelength[entry], &result->deviation[entry],
                          &result->withinTolerance[entry]);
    }
}

std::int32_t DescribeCheckSearches(const CheckPlan& plan, const CalibrationRecord& record,
                                   const double* const* differences,
                                   calibration::LineSearch* searches) {
    auto filterOf = [&](std::int32_t input) {
        return input == plan.filteredInput ? numeric::kLineFilterHalfWidth : 0;
    };
    module::TaskArray<double> data[kMaxInputs];
    for (std::int32_t input = 0; differences != nullptr && input < plan.inputCount; ++input) {
        if (differences[input] == nullptr) continue;
        data[input] = module::TaskArray<double>::Zeroed(numeric::kFineAllocation);
        if (!data[input]) return E_OUTOFMEMORY;
        std::int32_t count = 0;
        const std::int32_t status = calibration::SearchedValues(
            differences[input], kFineSteps, static_cast<std::uint32_t>(filterOf(input)),
            data[input].get(), &count);
        if (status != S_OK) return status;
    }
    const auto dispersion = optics::DecodeCalibration(record);
    for (std::size_t entry = 0; entry < plan.lines.size(); ++entry) {
        const CheckLine& line = plan.lines[entry];
        const auto window = LineWindow(line, dispersion);
        const double* values = data[line.input].get();
        const std::int32_t found = values != nullptr
                                       ? calibration::FindMaximum(values, window, line.floor)
                                       : calibration::kNoLine;
        searches[entry] = {line.reference, line.input, kFineSteps, filterOf(line.input),
                           window,         found,      line.floor};
    }
    return S_OK;
}

}  // namespace lumitra::checks
