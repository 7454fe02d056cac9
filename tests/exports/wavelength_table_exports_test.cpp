// The wavelength-table exports as a host calls them: results, validation
// and the out-of-memory path.
#include <gtest/gtest.h>

#include <vector>

#include "lumitra/lumitra.h"
#include "module/task_allocator.h"
#include "support/allocation_guard.h"
#include "support/ulps.h"

namespace {

using lumitra::module::TaskFree;

struct TableResult {
    int32_t status;
    std::vector<int32_t> entries;
    bool nullTable;
};

TableResult CallTable(bool display, int32_t flag, const CalibrationRecord& record, int16_t n) {
    int32_t* table = reinterpret_cast<int32_t*>(1);
    int32_t count = -1;
    const int32_t status = display ? Lumitra_GetWavelengthTableForDisplay(flag, &record, n, &table,
                                                                          &count)
                                   : Lumitra_GetWavelengthTable(flag, &record, n, &table, &count);
    TableResult result{status, {}, table == nullptr};
    if (table != nullptr && status == S_OK) {
        result.entries.assign(table, table + count);
        TaskFree(table);
    }
    return result;
}

TEST(WavelengthTableExports, TablesAndGrids) {
    lumitra::test::AllocationBalance balance;
    const CalibrationRecord uncalibrated{0, 0, 0, 0};
    const CalibrationRecord calibrated{36080, 9376, 65610, 24528};

    auto table = CallTable(false, 0, uncalibrated, 1);
    ASSERT_EQ(table.status, S_OK);
    ASSERT_EQ(table.entries.size(), 512u);
    EXPECT_EQ(table.entries.front(), 18159);
    EXPECT_EQ(table.entries.back(), 81429);

    // The display flag of the plain table is not read.
    EXPECT_EQ(CallTable(false, 7, uncalibrated, 1).entries, table.entries);
    // Display flag 0 of the display form gives the element table.
    EXPECT_EQ(CallTable(true, 0, calibrated, 1).entries, CallTable(false, 0, calibrated, 1).entries);

    for (int32_t flag : {1, -1, 611}) {
        auto grid = CallTable(true, flag, calibrated, 1);
        ASSERT_EQ(grid.status, S_OK);
        ASSERT_EQ(grid.entries.size(), 611u);
        for (size_t i = 0; i < 611; ++i) EXPECT_EQ(grid.entries[i], 19000 + 100 * int32_t(i));
    }

    // Larger multiples allocate and report n*width entries; the rest is 0.
    auto triple = CallTable(false, 0, calibrated, 3);
    ASSERT_EQ(triple.entries.size(), 3u * 512u);
    EXPECT_EQ(std::vector<int32_t>(triple.entries.begin(), triple.entries.begin() + 512),
              CallTable(false, 0, calibrated, 1).entries);
    for (size_t i = 512; i < triple.entries.size(); ++i) ASSERT_EQ(triple.entries[i], 0);
    auto grid2 = CallTable(true, 1, calibrated, 2);
    ASSERT_EQ(grid2.entries.size(), 1222u);
    EXPECT_EQ(grid2.entries[610], 80000);
    EXPECT_EQ(grid2.entries[611], 0);
}

TEST(WavelengthTableExports, ValidationWritesNothing) {
    const CalibrationRecord record{0, 0, 0, 0};
    int32_t* table = reinterpret_cast<int32_t*>(1);
    int32_t count = -1;
    using Fn = int32_t(LUMITRA_CALL*)(int32_t, const CalibrationRecord*, int16_t, int32_t**,
                                      int32_t*);
    for (Fn fn : {Fn(Lumitra_GetWavelengthTable), Fn(Lumitra_GetWavelengthTableForDisplay)}) {
        for (int32_t flag : {0, 1}) {
            EXPECT_EQ(fn(flag, nullptr, 1, &table, &count), E_INVALIDARG);
            EXPECT_EQ(fn(flag, &record, 1, nullptr, &count), E_INVALIDARG);
            EXPECT_EQ(fn(flag, &record, 1, &table, nullptr), E_INVALIDARG);
            EXPECT_EQ(fn(flag, &record, 0, &table, &count), E_INVALIDARG);
            EXPECT_EQ(fn(flag, &record, -5, &table, &count), E_INVALIDARG);
            EXPECT_EQ(table, reinterpret_cast<int32_t*>(1));
            EXPECT_EQ(count, -1);
        }
    }
}

TEST(WavelengthTableExports, OutOfMemoryLeavesNullAndZero) {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    for (bool display : {false, true}) {
        for (int32_t flag : {0, 1}) {
            const int points = lumitra::test::SweepAllocationFailures(
                [&] {
                    int32_t* table = reinterpret_cast<int32_t*>(1);
                    int32_t count = -1;
                    const int32_t status =
                        display ? Lumitra_GetWavelengthTableForDisplay(flag, &record, 1, &table,
                                                                       &count)
                                : Lumitra_GetWavelengthTable(flag, &record, 1, &table, &count);
                    if (status == E_OUTOFMEMORY) {
                        EXPECT_EQ(table, nullptr);
                        EXPECT_EQ(count, 0);
                    } else {
                        EXPECT_EQ(status, S_OK);
                        TaskFree(table);
                    }
                },
                [](bool) {});
            EXPECT_EQ(points, 1);
        }
    }
}

TEST(WavelengthTableExports, CorrectedElementNumber) {
    const CalibrationRecord uncalibrated{0, 0, 0, 0};
    double position = -1;
    ASSERT_EQ(Lumitra_GetPdaCorrectedEleNo(0, &uncalibrated, 65610, &position), S_OK);
    EXPECT_EQ(position, 383.0);
    ASSERT_EQ(Lumitra_GetPdaCorrectedEleNo(3, &uncalibrated, 19000, &position), S_OK);
    EXPECT_NEAR(position, 7.90649, 1e-5);

    const CalibrationRecord calibrated{36080, 9376, 65610, 24528};
    ASSERT_EQ(Lumitra_GetPdaCorrectedEleNo(0, &calibrated, 65610, &position), S_OK);
    EXPECT_EQ(position, 383.25);
    ASSERT_EQ(Lumitra_GetPdaCorrectedEleNo(0, &calibrated, 36080, &position), S_OK);
    EXPECT_TRUE(lumitra::test::NearUlps(position, 146.5)) << position;

    position = -1;
    EXPECT_EQ(Lumitra_GetPdaCorrectedEleNo(0, nullptr, 65610, &position), E_INVALIDARG);
    EXPECT_EQ(position, -1);
    EXPECT_EQ(Lumitra_GetPdaCorrectedEleNo(0, &calibrated, 65610, nullptr), E_INVALIDARG);
}

}  // namespace
