// Resampling of element spectra onto the 64-sub-step fine grid.
#include <gtest/gtest.h>

#include <vector>

#include "calibration/fine_grid.h"
#include "lumitra/lumitra.h"
#include "support/allocation_guard.h"
#include "support/random.h"

namespace lumitra::calibration {
namespace {

TEST(FineGrid, QuantisesToThousandthsTowardZero) {
    // A constant spectrum stays constant on the fine grid, so every defined
    // fine value shows how the element value was cut.
    const double cases[][2] = {{0.0015, 0.001},   {-0.0015, -0.001}, {1.2345, 1.234},
                               {-1.2345, -1.234}, {0.0009, 0.0},     {250.0, 250.0}};
    std::vector<double> fine(kFineAllocation, -99.0);
    for (const auto& c : cases) {
        const std::vector<double> spectrum(512, c[0]);
        ASSERT_EQ(ResampleToFineGrid(512, spectrum.data(), fine.data()), S_OK);
        for (int k = 0; k <= 512 * 64; ++k) ASSERT_EQ(fine[size_t(k)], c[1]) << c[0] << " at " << k;
        for (int k = 512 * 64 + 1; k < kFineCount; ++k) ASSERT_EQ(fine[size_t(k)], 0.0) << k;
        EXPECT_EQ(fine[kFineCount], -99.0) << "wrote past the fine spectrum";
    }
}

TEST(FineGrid, PassesThroughEveryElement) {
    test::SplitMix64 random(7);
    std::vector<double> spectrum(512), fine(kFineAllocation);
    for (int round = 0; round < 20; ++round) {
        for (auto& v : spectrum) v = (random.Unit() - 0.3) * 5000.0;
        ASSERT_EQ(ResampleToFineGrid(512, spectrum.data(), fine.data()), S_OK);
        for (int e = 1; e < 512; ++e) {
            const double quantised = static_cast<int>(spectrum[size_t(e - 1)] * 1000.0) / 1000.0;
            ASSERT_EQ(fine[size_t(64 * (e - 1))], quantised) << "element " << e;
        }
    }
}

TEST(FineGrid, OutOfMemoryLeavesTheFineArrayUnwritten) {
    const std::vector<double> spectrum(512, 3.0);
    std::vector<double> fine(kFineAllocation, -5.0);
    const int points = test::SweepAllocationFailures(
        [&] { return ResampleToFineGrid(512, spectrum.data(), fine.data()); },
        [&](bool failed) {
            if (failed) {
                for (double v : fine) ASSERT_EQ(v, -5.0);
            } else {
                EXPECT_EQ(fine[0], 3.0);
            }
        });
    EXPECT_GE(points, 4);
}

}  // namespace
}  // namespace lumitra::calibration
