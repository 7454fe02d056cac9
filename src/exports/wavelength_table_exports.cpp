// Wavelength tables for the host: the element wavelengths of a calibration,
// the display grid, and the calibrated element of one wavelength.
// Exports check their pointers, enumerations and sizes here, at the front
// door; the domain code behind them checks only what depends on the data.
#include "lumitra/lumitra.h"
#include "module/task_array.h"
#include "optics/dispersion.h"
#include "optics/display_grid.h"

using lumitra::module::TaskArray;

namespace {

// Allocates the zeroed n*width table and lets `fill` write its first part.
template <typename Fill>
int32_t ReturnTable(int16_t n, std::int32_t width, int32_t** table, int32_t* count, Fill fill) {
    *table = nullptr;
    *count = 0;
    auto buffer = TaskArray<int32_t>::Zeroed(static_cast<std::size_t>(n) * width);
    if (!buffer) return E_OUTOFMEMORY;
    fill(buffer.get());
    *count = n * width;
    *table = buffer.release();
    return S_OK;
}
}  // namespace

extern "C" int32_t LUMITRA_CALL Lumitra_GetWavelengthTable(int32_t /*display*/,
                                                          const CalibrationRecord* record,
                                                          int16_t n, int32_t** table,
                                                          int32_t* count) {
    if (record == nullptr || table == nullptr || count == nullptr || n < 1) return E_INVALIDARG;
    return ReturnTable(n, LUMITRA_ELEMENT_COUNT, table, count, [record](int32_t* entries) {
        const auto dispersion = lumitra::optics::DecodeCalibration(*record);
        int32_t written = 0;
        lumitra::optics::BuildWavelengthTable(entries, &written, dispersion.slope,
                                              dispersion.modelPosition, dispersion.measuredPosition,
                                              1, LUMITRA_ELEMENT_COUNT, 1);
    });
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetWavelengthTableForDisplay(
    int32_t display, const CalibrationRecord* record, int16_t n, int32_t** table, int32_t* count) {
    if (record == nullptr || table == nullptr || count == nullptr || n < 1) return E_INVALIDARG;
    if (display == 0) return Lumitra_GetWavelengthTable(0, record, n, table, count);
    return ReturnTable(n, lumitra::optics::kDisplayGridCount, table, count,
                       lumitra::optics::FillDisplayGrid);
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetPdaCorrectedEleNo(int32_t /*display*/,
                                                            const CalibrationRecord* record,
                                                            int32_t wavelength,
                                                            double* position) {
    if (record == nullptr || position == nullptr) return E_INVALIDARG;
    const auto dispersion = lumitra::optics::DecodeCalibration(*record);
    *position = lumitra::optics::CalibratedPosition(wavelength / 100.0, dispersion.modelPosition,
                                                    dispersion.measuredPosition,
                                                    dispersion.slope);
    return S_OK;
}
