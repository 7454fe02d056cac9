// Every build must give the same wavelength tables. The digest of the
// tables of many random plausible calibration records is compared with one
// committed value, so a difference on any platform fails here. (The
// platforms' trigonometric functions may move a double by an ulp; that must
// not change a table entry.)
#include <gtest/gtest.h>

#include "lumitra/lumitra.h"
#include "module/allocation_hook.h"
#include "module/task_allocator.h"
#include "support/random.h"

namespace {

// Plausible records: reference lines as the calibration writes them, or
// other line pairs, with positions near where a working array puts them.
CalibrationRecord RandomRecord(lumitra::test::SplitMix64& random) {
    static const int32_t kLines[] = {25370, 28760, 36080, 40470, 43580, 48600, 54610, 65610};
    CalibrationRecord record{};
    if (random.Uniform(0, 3) == 0) {
        const auto a = random.Uniform(0, 6);
        const auto b = random.Uniform(a + 1, 7);
        record.wavelength1 = kLines[a];
        record.wavelength2 = kLines[b];
    } else {
        record.wavelength1 = 36080;
        record.wavelength2 = 65610;
    }
    // Nominal record positions are about 64 * (element + 1); shift and
    // stretch them as a misaligned array would.
    const double shift = static_cast<double>(random.Uniform(-448, 502));
    const double stretch = 1.0 + static_cast<double>(random.Uniform(-3000, 3000)) * 1e-6;
    auto position = [&](int32_t wavelength) {
        const double nominal = 64.0 * (7.99 + 0.8069 * (wavelength / 100.0 - 190.0));
        return static_cast<int32_t>(nominal * stretch + shift);
    };
    record.position1 = position(record.wavelength1);
    record.position2 = position(record.wavelength2);
    return record;
}

TEST(TableDigest, SameTablesOnEveryBuild) {
    lumitra::test::SplitMix64 random(20261205);
    lumitra::test::Digest digest;
    for (int r = 0; r < 1200; ++r) {
        const CalibrationRecord record = RandomRecord(random);
        int32_t* table = nullptr;
        int32_t count = 0;
        ASSERT_EQ(Lumitra_GetWavelengthTable(0, &record, 1, &table, &count), S_OK);
        ASSERT_EQ(count, 512);
        for (int i = 0; i < count; ++i) digest.Add(static_cast<uint32_t>(table[i]));
        lumitra::module::TaskFree(table);
    }
    EXPECT_EQ(digest.Value(), 0x60316b686ea160c2ull) << std::hex << "digest 0x" << digest.Value();
}

}  // namespace
