// Offsets of the records that cross the interface. Records without
// pointers are identical on every build; records with pointers have the
// documented 32-bit layout on 32-bit builds and natural alignment with
// 8-byte pointers on 64-bit builds. (The library itself pins the 32-bit
// layout with static_asserts; this table shows every build's values.)
#include <gtest/gtest.h>

#include <cstddef>

#include "lumitra/lumitra.h"

namespace {

struct Field {
    const char* name;
    size_t actual, offset32, offset64;
};

#define FIELD(T, f, o32, o64) Field{#T "." #f, offsetof(T, f), o32, o64}
#define SIZE(T, s32, s64) Field{"sizeof " #T, sizeof(T), s32, s64}

TEST(RecordLayout, OffsetsAndSizes) {
    const Field fields[] = {
        SIZE(CalibrationRecord, 16, 16),
        FIELD(CalibrationRecord, position2, 12, 12),
        SIZE(WavelengthCheckResult, 296, 296),
        FIELD(WavelengthCheckResult, referenceWavelength, 8, 8),
        FIELD(WavelengthCheckResult, measuredWavelength, 72, 72),
        FIELD(WavelengthCheckResult, deviation, 136, 136),
        FIELD(WavelengthCheckResult, lineWidth, 200, 200),
        FIELD(WavelengthCheckResult, withinTolerance, 264, 264),
        SIZE(UserCheckLine, 60, 60),
        FIELD(UserCheckLine, passed, 24, 24),
        SIZE(UserCheckList, 244, 244),
        FIELD(UserCheckList, lines, 4, 4),
        SIZE(LambdaList, 164, 164),
        FIELD(LambdaList, count1, 2, 2),
        FIELD(LambdaList, list2, 4, 4),
        FIELD(LambdaList, list1, 84, 84),
        SIZE(SplineRequest, 48, 72),
        FIELD(SplineRequest, inX, 4, 8),
        FIELD(SplineRequest, inY, 8, 16),
        FIELD(SplineRequest, outX, 12, 24),
        FIELD(SplineRequest, outY, 16, 32),
        FIELD(SplineRequest, startX, 24, 48),
        FIELD(SplineRequest, endX, 32, 56),
        FIELD(SplineRequest, outCount, 40, 64),
        FIELD(SplineRequest, subSteps, 44, 68),
        SIZE(BGSubtractionRequest, 20, 32),
        FIELD(BGSubtractionRequest, dataSource, 12, 16),
        FIELD(BGSubtractionRequest, selectorB, 16, 24),
        FIELD(BGSubtractionRequest, selectorA, 18, 26),
        SIZE(UVSpecData, 48, 56),
        FIELD(UVSpecData, maxValue, 16, 16),
        FIELD(UVSpecData, minValue, 24, 24),
        FIELD(UVSpecData, values, 32, 32),
        FIELD(UVSpecData, wavelengths, 36, 40),
        FIELD(UVSpecData, reserved1, 40, 48),
        FIELD(UVSpecData, reserved2, 44, 52),
        FIELD(ISpectrumSourceVtbl, GetSpectrum, 48, 96),
    };
    for (const auto& f : fields)
        EXPECT_EQ(f.actual, sizeof(void*) == 4 ? f.offset32 : f.offset64) << f.name;
}

}  // namespace
