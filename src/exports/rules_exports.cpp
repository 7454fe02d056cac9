// Linux only: the numbers the library decides with, for bindings (see
// lumitra_rules.h). Every value comes from the constants and routines the
// exports themselves use.
// Exports check their pointers, enumerations and sizes here, at the front
// door; the domain code behind them checks only what depends on the data.
#if !defined(_WIN32)
#include "lumitra/lumitra_rules.h"

#include "calibration/calibration_record.h"
#include "calibration/line_location.h"
#include "calibration/wavelength_calibration.h"
#include "checks/line_measurement.h"
#include "checks/user_check.h"
#include "lamps/lamp_maxima.h"
#include "numeric/fine_grid.h"
#include "optics/dispersion.h"
#include "optics/display_grid.h"

namespace {

using namespace lumitra;

double Nanometres(std::int32_t wavelength) { return wavelength / 100.0; }
double DisplayGridPoint(std::int32_t index) {
    return Nanometres(optics::kDisplayGridFirst + optics::kDisplayGridStep * index);
}

bool ValidValues(const void* in, int32_t count, const void* out) {
    return in != nullptr && out != nullptr && count >= 0;
}

LumitraLineSearch ToPublic(const calibration::LineSearch& s) {
    auto position = [&](int32_t k) { return calibration::SamplePosition(k, s.samplesPerElement); };
    const bool found = s.found != calibration::kNoLine;
    return {s.reference,
            s.input,
            s.samplesPerElement,
            s.filterHalfWidth,
            s.window.first,
            s.window.last,
            found ? s.found : -1,
            s.floor,
            position(s.window.first),
            position(s.window.last),
            found ? position(s.found) : 0.0};
}

}  // namespace

extern "C" const char* LumitraInfo_Version(void) { return LUMITRA_VERSION; }

extern "C" int32_t LumitraInfo_GetLimits(LumitraLimits* limits) {
    if (limits == nullptr) return E_INVALIDARG;
    using lamps::kDeuteriumBand;
    using lamps::kTungstenBand;
    *limits = {LUMITRA_ELEMENT_COUNT,
               optics::kDisplayGridCount,
               Nanometres(optics::kDisplayGridFirst),
               Nanometres(optics::kDisplayGridLast),
               numeric::kFineSteps,
               numeric::kFineCount,
               numeric::kFineValueLimit,
               numeric::kLineFilterHalfWidth,
               numeric::kBaselineElements,
               calibration::kRangeLowWavelength,
               calibration::kRangeLowPosition,
               calibration::kRangeHighWavelength,
               calibration::kRangeHighPosition,
               calibration::kSecondLineWavelength,
               calibration::kAnchorLineWavelength,
               checks::kUserCheckMaxLines,
               checks::kUserCheckMaxOption,
               lamps::kMinElementKnots,
               lamps::kMaxElementKnots,
               DisplayGridPoint(kDeuteriumBand.referenceIndex),
               Nanometres(kDeuteriumBand.firstWavelength),
               Nanometres(kDeuteriumBand.lastWavelength),
               DisplayGridPoint(kTungstenBand.referenceIndex),
               Nanometres(kTungstenBand.firstWavelength),
               Nanometres(kTungstenBand.lastWavelength)};
    return S_OK;
}

extern "C" int32_t LumitraModel_Decode(const CalibrationRecord* record, double* slope,
                                       double* modelPosition, double* measuredPosition) {
    if (record == nullptr || slope == nullptr || modelPosition == nullptr ||
        measuredPosition == nullptr)
        return E_INVALIDARG;
    const auto d = optics::DecodeCalibration(*record);
    *slope = d.slope;
    *modelPosition = d.modelPosition;
    *measuredPosition = d.measuredPosition;
    return S_OK;
}

extern "C" int32_t LumitraModel_PositionsOf(const CalibrationRecord* record, const double* nm,
                                            int32_t count, double* positions) {
    if (record == nullptr || !ValidValues(nm, count, positions)) return E_INVALIDARG;
    const auto d = optics::DecodeCalibration(*record);
    for (int32_t i = 0; i < count; ++i)
        positions[i] =
            optics::CalibratedPosition(nm[i], d.modelPosition, d.measuredPosition, d.slope);
    return S_OK;
}

extern "C" int32_t LumitraModel_WavelengthsAt(const CalibrationRecord* record,
                                              const double* positions, int32_t count,
                                              double* nm) {
    if (record == nullptr || !ValidValues(positions, count, nm)) return E_INVALIDARG;
    const auto d = optics::DecodeCalibration(*record);
    for (int32_t i = 0; i < count; ++i)
        optics::PositionToWavelength(positions[i], d.slope, d.modelPosition, d.measuredPosition,
                                     &nm[i]);
    return S_OK;
}

extern "C" int32_t LumitraModel_NominalPositions(const double* nm, int32_t count,
                                                 double* positions) {
    if (!ValidValues(nm, count, positions)) return E_INVALIDARG;
    for (int32_t i = 0; i < count; ++i) positions[i] = optics::WavelengthToPosition(nm[i]);
    return S_OK;
}

extern "C" int32_t LumitraModel_RangeTest(const CalibrationRecord* record, double* lowPosition,
                                          double* highPosition) {
    if (record == nullptr || lowPosition == nullptr || highPosition == nullptr)
        return E_INVALIDARG;
    return calibration::RangeTest(optics::DecodeCalibration(*record), lowPosition, highPosition);
}

extern "C" int32_t LumitraRules_DescribeSearches(int32_t operation,
                                                 const CalibrationRecord* record,
                                                 const double* const* differences,
                                                 LumitraLineSearch* searches, int32_t capacity,
                                                 int32_t* count) {
    using calibration::CalibrationSearches;
    if (record == nullptr || searches == nullptr || count == nullptr) return E_INVALIDARG;
    const checks::CheckPlan* plan = nullptr;
    CalibrationSearches calibrationKind{};
    switch (operation) {
        case LUMITRA_OPERATION_CALIBRATION: calibrationKind = CalibrationSearches::kFineGrid; break;
        case LUMITRA_OPERATION_REFINEMENT: calibrationKind = CalibrationSearches::kRefinement; break;
        case LUMITRA_OPERATION_WIDE_SLIT: calibrationKind = CalibrationSearches::kWideSlit; break;
        case LUMITRA_OPERATION_HOLMIUM_CHECK: plan = &checks::kHolmiumCheck; break;
        case LUMITRA_OPERATION_MERCURY_CHECK: plan = &checks::kMercuryCheck; break;
        default: return E_INVALIDARG;
    }
    // The calibrations place no window before they have the data.
    if (plan == nullptr && differences == nullptr) return E_INVALIDARG;
    const int32_t n = plan != nullptr ? static_cast<int32_t>(plan->lines.size())
                                      : calibration::CalibrationSearchCount(calibrationKind);
    if (capacity < n) return E_INVALIDARG;

    calibration::LineSearch found[LUMITRA_MAX_LINE_SEARCHES];
    const int32_t status =
        plan != nullptr
            ? checks::DescribeCheckSearches(*plan, *record, differences, found)
            : calibration::DescribeCalibrationSearches(calibrationKind, differences, found);
    if (status != S_OK) return status;
    for (int32_t i = 0; i < n; ++i) searches[i] = ToPublic(found[i]);
    *count = n;
    return S_OK;
}

extern "C" int32_t LumitraRules_SearchedData(const double* difference, int32_t samplesPerElement,
                                             int32_t filterHalfWidth, double* data,
                                             int32_t capacity, int32_t* count) {
    if (difference == nullptr || data == nullptr || count == nullptr) return E_INVALIDARG;
    if (samplesPerElement != 1 && samplesPerElement != numeric::kFineSteps) return E_INVALIDARG;
    if (filterHalfWidth < 0) return E_INVALIDARG;
    const int32_t n = samplesPerElement == 1 ? LUMITRA_ELEMENT_COUNT : numeric::kFineCount;
    if (capacity < n) return E_INVALIDARG;
    return calibration::SearchedValues(difference, samplesPerElement,
                                       static_cast<uint32_t>(filterHalfWidth), data, count);
}

#endif  // !_WIN32
