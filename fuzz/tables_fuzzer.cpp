// Wavelength tables and lookups: any record, table multiple and display
// flag, tables of any length and contents, null pointers where the
// contract tests them.
#include "fuzz_support.h"

namespace {
using namespace lumitra::fuzz;

void FuzzTable(Input& in) {
    const CalibrationRecord record = in.Record();
    const auto n = in.InRange<int16_t>(-2, 8);
    const bool forDisplay = in.Flag(), withRecord = !in.OneIn(16), withCount = !in.OneIn(16);
    int32_t* table = nullptr;
    int32_t count = -1;
    CallScope scope(in.AllocationToFail());
    const auto call = forDisplay ? Lumitra_GetWavelengthTableForDisplay : Lumitra_GetWavelengthTable;
    const int32_t status = call(in.Int32(), withRecord ? &record : nullptr, n, &table, withCount ? &count : nullptr);
    FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_OUTOFMEMORY}));
    FUZZ_EXPECT((status == S_OK) == (table != nullptr));
    if (status == S_OK) FUZZ_EXPECT(count % 512 == 0 || count % 611 == 0);
    lumitra::module::TaskFree(table);
}

void FuzzLookup(Input& in) {
    std::vector<int32_t> values(size_t(in.Count(20, 700)));
    for (auto& v : values) v = in.Flag() ? in.Int32() : 19000 + 100 * in.InRange<int32_t>(0, 700);
    const ExactArray<int32_t> table(values);
    const auto n = int32_t(values.size());
    uint16_t first = 0, last = 0;
    const int32_t index = Lumitra_FindTargetElement(in.Int32(), table.get(), n);
    FUZZ_EXPECT(index >= 0 && index <= 65535);
    FUZZ_EXPECT(OneOf(Lumitra_GetElementIndexFromWavelengthTable(in.Int32(), in.Int32(), n > 0 ? table.get() : nullptr, n, &first, &last),
                      {S_OK, E_INVALIDARG}));
    // Counted tables of exactly their count.
    std::vector<uint32_t> a = {uint32_t(n)}, b = {0};
    a.insert(a.end(), values.begin(), values.end());
    const size_t from = n > 0 ? in.InRange<size_t>(0, size_t(n - 1)) : 0;
    for (size_t i = from; i < size_t(n) && i < from + in.InRange<size_t>(0, 40); ++i) b.push_back(a[i + 1]);
    b[0] = uint32_t(b.size() - 1);
    const ExactArray<uint32_t> countedA(a), countedB(b);
    uint16_t out[3];
    CallScope scope(in.AllocationToFail());
    FUZZ_EXPECT(OneOf(Lumitra_IsWavelengthTableEqual(countedA.get(), countedB.get(), &out[0], &out[1], &out[2]),
                      {S_OK, E_OUTOFMEMORY}));
    double position = 0;
    const CalibrationRecord record = in.Record();
    FUZZ_EXPECT(Lumitra_GetPdaCorrectedEleNo(0, &record, in.Int32(), &position) == S_OK);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    in.Flag() ? FuzzTable(in) : FuzzLookup(in);
    return 0;
}
