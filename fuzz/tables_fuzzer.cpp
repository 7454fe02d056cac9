// Wavelength tables and table lookup: the three table exports with any
// record, multiple and null pointer, the comparison of counted tables of
// any entries, and the two element searches over tables of any contents.
#include <cstdint>
#include <vector>

#include "fuzz_expect.h"
#include "fuzz_input.h"
#include "lumitra/lumitra.h"

namespace {

using lumitra::fuzz::CallScope;
using lumitra::fuzz::ExactArray;
using lumitra::fuzz::Input;

constexpr int32_t kUntouched = 0x7A7A7A7A;

void FuzzTable(Input& in, bool forDisplay) {
    const int32_t display = in.Flag() ? 0 : in.Int32();
    CalibrationRecord record = in.Record();
    // Mostly small multiples: a large one zero-fills up to 64 MB.
    const int16_t n = in.OneIn(8) ? in.Int16() : in.InRange<int16_t>(1, 4);
    int32_t* table = reinterpret_cast<int32_t*>(uintptr_t{0x10});
    int32_t count = kUntouched;
    const bool withRecord = !in.OneIn(8), withTable = !in.OneIn(8), withCount = !in.OneIn(8);

    CallScope scope(in.AllocationToFail());
    const auto call =
        forDisplay ? Lumitra_GetWavelengthTableForDisplay : Lumitra_GetWavelengthTable;
    const int32_t status = call(display, withRecord ? &record : nullptr, n,
                                withTable ? &table : nullptr, withCount ? &count : nullptr);
    if (!withRecord || !withTable || !withCount || n < 1) {
        FUZZ_EXPECT(status == E_INVALIDARG);
        FUZZ_EXPECT(count == kUntouched && table == reinterpret_cast<int32_t*>(uintptr_t{0x10}));
        return;
    }
    if (CallScope::FailureDelivered()) {
        FUZZ_EXPECT(status == E_OUTOFMEMORY && table == nullptr && count == 0);
        return;
    }
    FUZZ_EXPECT(status == S_OK && table != nullptr);
    const bool grid = forDisplay && display != 0;
    const int32_t width = grid ? LUMITRA_DISPLAY_GRID_COUNT : LUMITRA_ELEMENT_COUNT;
    FUZZ_EXPECT(count == n * width);
    for (int32_t i = 0; i < count; ++i) {
        if (i >= width)
            FUZZ_EXPECT(table[i] == 0);
        else if (grid)
            FUZZ_EXPECT(table[i] == 19000 + 100 * i);
    }
    lumitra::fuzz::ReleaseTask(table);
}

void FuzzCorrectedElement(Input& in) {
    CalibrationRecord record = in.Record();
    const int32_t wavelength = in.Int32();
    double position = -7.0;
    const bool withRecord = !in.OneIn(8), withPosition = !in.OneIn(8);
    CallScope scope(0);
    const int32_t status = Lumitra_GetPdaCorrectedEleNo(
        in.Int32(), withRecord ? &record : nullptr, wavelength, withPosition ? &position : nullptr);
    FUZZ_EXPECT(status == ((withRecord && withPosition) ? S_OK : E_INVALIDARG));
    if (status != S_OK) FUZZ_EXPECT(position == -7.0);
}

// A counted table: an unsigned count, then exactly that many entries.
std::vector<uint32_t> CountedTable(Input& in) {
    const auto entries = in.Wavelengths(size_t(in.Count(40, 700)));
    std::vector<uint32_t> table(entries.size() + 1);
    table[0] = uint32_t(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) table[i + 1] = uint32_t(entries[i]);
    return table;
}

void FuzzTableComparison(Input& in) {
    auto a = CountedTable(in);
    // Often a stretch of A, so that the texts share something.
    std::vector<uint32_t> b;
    if (in.Flag() && a.size() > 1) {
        const size_t from = in.InRange<size_t>(1, a.size() - 1);
        const size_t to = in.InRange<size_t>(from, a.size() - 1);
        b.assign(1, uint32_t(to - from + 1));
        b.insert(b.end(), a.begin() + long(from), a.begin() + long(to) + 1);
    } else {
        b = CountedTable(in);
    }
    uint16_t out[3] = {1, 2, 3};
    const bool withA = !in.OneIn(16), withB = !in.OneIn(16), withOut = !in.OneIn(16);
    CallScope scope(in.AllocationToFail());
    const int32_t status =
        Lumitra_IsWavelengthTableEqual(withA ? a.data() : nullptr, withB ? b.data() : nullptr,
                                       withOut ? &out[0] : nullptr, &out[1], &out[2]);
    if (!withA || !withB || !withOut) {
        FUZZ_EXPECT(status == E_INVALIDARG && out[0] == 1 && out[1] == 2 && out[2] == 3);
        return;
    }
    const bool none = out[0] == 65535 && out[1] == 65535 && out[2] == 65535;
    if (CallScope::FailureDelivered())
        FUZZ_EXPECT(status == E_OUTOFMEMORY && none);
    else
        FUZZ_EXPECT(status == S_OK);
}

// A table of n entries for the searches, or no table at all.
struct SearchTable {
    ExactArray<int32_t> entries;
    int32_t n;
    const int32_t* data;
};
SearchTable MakeSearchTable(Input& in) {
    const auto entries = in.Wavelengths(size_t(in.Count(20, 1200)));
    SearchTable t{ExactArray<int32_t>(entries), int32_t(entries.size()), nullptr};
    t.data = t.entries.get();
    // Without a table, or with n < 1, the table is not read and n is free.
    if (in.OneIn(8)) {
        t.data = nullptr;
        t.n = in.Int32();
    } else if (in.OneIn(8)) {
        t.n = in.InRange<int32_t>(INT32_MIN, 0);
    }
    return t;
}

void FuzzNearestElement(Input& in) {
    const int32_t target = in.Int32();
    const SearchTable t = MakeSearchTable(in);
    const int32_t index = Lumitra_FindTargetElement(target, t.data, t.n);
    FUZZ_EXPECT(index >= 0 && index <= 65535);
    if (t.data == nullptr || t.n < 1)
        FUZZ_EXPECT(index == 0);
    else
        FUZZ_EXPECT(index < t.n || t.n > 65536);
}

void FuzzElementRange(Input& in) {
    const int32_t w1 = in.Int32();
    const int32_t w2 = in.Flag() ? w1 : in.Int32();
    const SearchTable t = MakeSearchTable(in);
    uint16_t first = 11, last = 12;
    const bool withFirst = !in.OneIn(16), withLast = !in.OneIn(16);
    const int32_t status = Lumitra_GetElementIndexFromWavelengthTable(
        w1, w2, t.data, t.n, withFirst ? &first : nullptr, withLast ? &last : nullptr);
    const bool readsTable = w1 != w2 || t.n >= 1;
    const bool valid = withFirst && withLast && !(readsTable && (t.data == nullptr || t.n < 1));
    FUZZ_EXPECT(status == (valid ? S_OK : E_INVALIDARG));
    if (!valid) {
        FUZZ_EXPECT(first == 11 && last == 12);
        return;
    }
    FUZZ_EXPECT(int16_t(first) <= int16_t(last));
    if (t.n >= 1 && t.n <= 32767) FUZZ_EXPECT(first < t.n && last < t.n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    switch (in.InRange(0, 5)) {
        case 0:
            FuzzTable(in, false);
            break;
        case 1:
            FuzzTable(in, true);
            break;
        case 2:
            FuzzCorrectedElement(in);
            break;
        case 3:
            FuzzTableComparison(in);
            break;
        case 4:
            FuzzNearestElement(in);
            break;
        default:
            FuzzElementRange(in);
            break;
    }
    return 0;
}
