// Chromatogram and spectrum utilities for the host: peak bases and base
// times, the background-subtracted spectrum (as arrays or as a UV spectrum
// record), and the caption of a wavelength list.
// Exports check their pointers, enumerations and sizes here, at the front
// door; the domain code behind them checks only what depends on the data.
#include "chromdata/background_subtraction.h"
#include "chromdata/peak_base.h"
#include "chromdata/peak_table.h"
#include "chromdata/uv_spectrum_allocator.h"
#include "chromdata/uv_spectrum_record.h"
#include "chromdata/wavelength_caption.h"
#include "lumitra/lumitra.h"

using namespace lumitra::chromdata;

extern "C" int32_t LUMITRA_CALL Lumitra_GetBasePeaks(const void* peakTable, int32_t peak,
                                                    int32_t* first, int32_t* last) {
    BasePeaks base;
    const int32_t status = FindBasePeaks(peakTable, peak, &base);
    if (status < 0) return status;
    *first = base.first;
    *last = base.last;
    return status;
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetBaseTimes(const void* peakTable, int32_t peak,
                                                    int32_t* start, int32_t* end) {
    BasePeaks base;
    const int32_t status = FindBasePeaks(peakTable, peak, &base);
    if (status < 0) return status;
    const PeakTableView table(peakTable);
    *start = table.StartTime(base.first - 1);
    *end = table.EndTime(base.last - 1);
    return status;
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetPeakFromRT(const void* peakTable, int32_t time,
                                                     int16_t fallback) {
    return PeakAtRetentionTime(peakTable, time, fallback);
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetBaseTimesFromRT(const void* peakTable, int32_t time,
                                                          int32_t* start, int32_t* end) {
    const int32_t peak = PeakAtRetentionTime(peakTable, time, 0);
    if (peak < 1) return E_ABORT;
    return Lumitra_GetBaseTimes(peakTable, peak, start, end);
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetBGSubtractedSpectrum(
    const BGSubtractionRequest* request, double** values, int32_t* count, int32_t** wavelengths) {
    SubtractedSpectrum spectrum;
    const int32_t status = SubtractBackground(*request, &spectrum);
    if (status < 0) return status;
    *values = spectrum.values.release();
    *count = spectrum.count;
    *wavelengths = spectrum.wavelengths.release();
    return status;
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetBGSubtractedUVSpecData(
    const BGSubtractionRequest* request, UVSpecData* result) {
    LumitraAllocateUVSpecDataFn allocate = nullptr;
    const int32_t status = ResolveAllocateUVSpecData(&allocate);
    if (status < 0) return status;
    return BuildUVSpecData(*request, allocate, result);
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetStringLambdaMinMax(int32_t options,
                                                             std::string& caption,
                                                             const void* list,
                                                             int16_t decimals) {
    // The caption is emptied whatever follows.
    caption.clear();
    if (!IsCaptionListKind(options & kCaptionListKindMask)) return E_INVALIDARG;
    return FormatWavelengthCaption(options, caption, list, decimals);
}
