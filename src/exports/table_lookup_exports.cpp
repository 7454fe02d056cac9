// Comparison and searching of wavelength tables that the host already
// holds: whether two tables share a stretch, the element nearest to a
// wavelength, and the elements of a wavelength range.
// Exports check their pointers, enumerations and sizes here, at the front
// door; the domain code behind them checks only what depends on the data.
#include <cstring>

#include "lumitra/lumitra.h"
#include "optics/element_lookup.h"
#include "optics/table_comparison.h"

namespace {
// A counted table: its unsigned entry count, then the entries.
std::uint32_t EntryCount(const void* countedTable) {
    std::uint32_t count;
    std::memcpy(&count, countedTable, sizeof count);
    return count;
}
const std::int32_t* Entries(const void* countedTable) {
    return reinterpret_cast<const std::int32_t*>(static_cast<const char*>(countedTable) +
                                                 LUMITRA_COUNTED_TABLE_ENTRIES_OFFSET);
}
}  // namespace

extern "C" int32_t LUMITRA_CALL Lumitra_IsWavelengthTableEqual(const void* tableA,
                                                              const void* tableB,
                                                              uint16_t* startA, uint16_t* endA,
                                                              uint16_t* startB) {
    if (tableA == nullptr || tableB == nullptr || startA == nullptr || endA == nullptr ||
        startB == nullptr)
        return E_INVALIDARG;
    lumitra::optics::CommonStretch stretch;
    const int32_t status = lumitra::optics::CompareWavelengthTables(
        Entries(tableA), EntryCount(tableA), Entries(tableB), EntryCount(tableB), &stretch);
    *startA = stretch.startA;
    *endA = stretch.endA;
    *startB = stretch.startB;
    return status;
}

extern "C" int32_t LUMITRA_CALL Lumitra_FindTargetElement(int32_t target, const int32_t* table,
                                                         int32_t n) {
    if (table == nullptr) return 0;
    return lumitra::optics::NearestElement(target, table, n);
}

extern "C" int32_t LUMITRA_CALL Lumitra_GetElementIndexFromWavelengthTable(
    int32_t wavelength1, int32_t wavelength2, const int32_t* table, int32_t n, uint16_t* first,
    uint16_t* last) {
    if (first == nullptr || last == nullptr) return E_INVALIDARG;
    // Different wavelengths read both ends of the table; equal ones read it
    // through the nearest-element search when it has entries.
    const bool readsTable = wavelength1 != wavelength2 || n >= 1;
    if (readsTable && (table == nullptr || n < 1)) return E_INVALIDARG;
    const auto range = lumitra::optics::ElementRangeOf(wavelength1, wavelength2, table, n);
    *first = range.first;
    *last = range.last;
    return S_OK;
}
