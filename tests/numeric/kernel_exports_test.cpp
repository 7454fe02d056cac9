// The kernel exports as a host calls them: thin entry points over the
// routines the calibration and the checks call directly.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "lumitra/lumitra.h"
#include "numeric/low_frequency_filter.h"
#include "numeric/spline_interpolation.h"
#include "support/ulps.h"

namespace {

TEST(KernelExports, FilterExportIsTheInternalRoutine) {
    std::vector<double> a = {5, -1, 2.5, 8, 8, 0.125, 3};
    std::vector<double> b = a;
    for (uint32_t w : {0u, 1u, 2u, 6u, 100u}) {
        EXPECT_EQ(Lumitra_FiltrateLowFrequency(a.data(), 7, w), S_OK);
        EXPECT_EQ(lumitra::numeric::FiltrateLowFrequency(b.data(), 7, w), S_OK);
        for (size_t i = 0; i < a.size(); ++i)
            EXPECT_EQ(lumitra::test::Bits(a[i]), lumitra::test::Bits(b[i])) << w;
    }
    EXPECT_EQ(Lumitra_FiltrateLowFrequency(a.data(), -7, 3), E_OUTOFMEMORY);
}

TEST(KernelExports, SplineExportValidatesTheRecordPointerOnly) {
    EXPECT_EQ(Lumitra_SplineInterpolation(nullptr), E_INVALIDARG);
    double inX[4] = {1, 2, 3, 4}, outX[17];
    int32_t inY[4] = {10, 20, 40, 80}, outY[17];
    SplineRequest request{7, inX, inY, outX, outY, 12345, 1.0, 4.0, 17, 4};
    const SplineRequest before = request;
    ASSERT_EQ(Lumitra_SplineInterpolation(&request), S_OK);
    // The record is left as it was (the reserved field is not read).
    EXPECT_EQ(std::memcmp(&request, &before, sizeof request), 0);
    double outX2[17];
    int32_t outY2[17];
    SplineRequest internal{1, inX, inY, outX2, outY2, 0, 1.0, 4.0, 17, 4};
    ASSERT_EQ(lumitra::numeric::SplineInterpolation(internal), S_OK);
    for (int o = 0; o < 17; ++o) {
        EXPECT_EQ(outY[o], outY2[o]) << o;
        EXPECT_EQ(outX[o], outX2[o]) << o;
    }
}

}  // namespace
