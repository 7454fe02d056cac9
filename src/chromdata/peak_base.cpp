#include "chromdata/peak_base.h"

#include "chromdata/peak_table.h"
#include "lumitra/lumitra.h"
#include "numeric/wrapping_int.h"

namespace lumitra::chromdata {
namespace {

// 32-bit difference taken absolute, wrapping as the host's tools do.
std::int32_t TimeDistance(std::int32_t a, std::int32_t b) noexcept {
    return numeric::WrapAbs(numeric::WrapSub(a, b));
}

// Nearest retention time among the records that `eligible` admits; the
// first of equally near records wins. 0 when none is nearer than INT32_MAX.
template <typename Eligible>
std::int32_t NearestPeak(const PeakTableView& table, std::int32_t time, Eligible eligible) {
    std::int32_t best = INT32_MAX;
    std::int32_t peak = 0;
    for (std::int32_t k = 0; k < table.Count(); ++k) {
        if (!eligible(k)) continue;
        const std::int32_t distance = TimeDistance(time, table.RetentionTime(k));
        if (distance < best) {
            best = distance;
            peak = k + 1;
        }
    }
    return peak;
}

}  // namespace

std::int32_t FindBasePeaks(const void* peakTable, std::int32_t peak, BasePeaks* base) noexcept {
    const PeakTableView table(peakTable);
    const std::int32_t count = table.Count();
    if (count < 1) return E_ABORT;
    if (peak > count || peak < 1) return E_INVALIDARG;

    const std::int32_t selected = peak - 1;
    const std::uint32_t selectedFlags = table.Flags(selected) & 0xFFFFu;
    const bool grouped = (selectedFlags & kGroupFlags) != 0;
    // An ungrouped peak only counts base starts that carry no grouping bit.
    const std::uint32_t mask = grouped ? kBaseStartFlag : kBaseStartFlag | kGroupFlags;
    auto isBaseStart = [&](std::int32_t k) { return (table.Flags(k) & mask) == kBaseStartFlag; };

    std::int32_t first = selected;
    while (!isBaseStart(first) && first > 0) --first;

    std::int32_t last = selected;
    for (std::int32_t p = selected + 1; p < count; ++p) {
        const std::uint32_t flags = table.Flags(p) & 0xFFFFu;
        if (isBaseStart(p)) {
            // A base start that also ends a scan takes the peak before it
            // and the peaks of the second group kind before that off the
            // base.
            if ((flags & kScanEndFlag) != 0 && (selectedFlags & kGroupFlagB) == 0) {
                if (last > 0) --last;
                while (last > 0 && (table.Flags(last) & kGroupFlagB) != 0) --last;
            }
            break;
        }
        if (grouped && (flags & kGroupFlags) == 0) break;
        last = p;
    }
    if (!grouped)
        while (last > 0 && (table.Flags(last) & kGroupFlagA) != 0) --last;

    base->first = first + 1;
    base->last = last + 1;
    return S_OK;
}

std::int32_t PeakAtRetentionTime(const void* peakTable, std::int32_t time,
                                 std::int16_t fallback) noexcept {
    const PeakTableView table(peakTable);
    if (table.Count() < 1) return 0;
    const std::int32_t inside = NearestPeak(table, time, [&](std::int32_t k) {
        return table.StartTime(k) <= time && time <= table.EndTime(k);
    });
    if (inside != 0 || fallback != 1) return inside;
    return NearestPeak(table, time, [](std::int32_t) { return true; });
}

}  // namespace lumitra::chromdata
