// Line location on the fine grid: window maxima and half-height centres.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "calibration/fine_grid.h"
#include "calibration/line_location.h"

namespace lumitra::calibration {
namespace {

TEST(LocateCalibrationLines, WindowsTiesAndMissingAnchor) {
    std::vector<double> first(kFineAllocation, 0.0), second(kFineAllocation, 0.0);
    uint32_t anchor = 99, line = 99;

    // A flat anchor window: the first index of the window wins.
    LocateCalibrationLines(first.data(), second.data(), &anchor, &line);
    EXPECT_EQ(anchor, 23360u);

    // Anchor at 24640: the 360.8 nm window is 8896 .. 10176.
    first[24640] = 5.0;
    first[25921] = 9.0;  // outside the anchor window
    second[8895] = 50.0;
    second[10177] = 50.0;
    second[8896] = 1.0;
    second[9000] = 1.0;  // equal later maximum loses
    LocateCalibrationLines(first.data(), second.data(), &anchor, &line);
    EXPECT_EQ(anchor, 24640u);
    EXPECT_EQ(line, 8896u);
    second[10176] = 2.0;
    LocateCalibrationLines(first.data(), second.data(), &anchor, &line);
    EXPECT_EQ(line, 10176u);

    // The 360.8 nm output is optional; then the second spectrum is not read.
    anchor = 0;
    LocateCalibrationLines(first.data(), nullptr, &anchor, nullptr);
    EXPECT_EQ(anchor, 24640u);

    // No value above -1e10 (or NaN only): anchor 0, and the second window,
    // which would lie before the array, is not searched.
    std::fill(first.begin(), first.end(), std::numeric_limits<double>::quiet_NaN());
    first[23000] = 1.0;
    first[24000] = -1e11;
    LocateCalibrationLines(first.data(), nullptr, &anchor, &line);
    EXPECT_EQ(anchor, 0u);
    EXPECT_EQ(line, 0u);
}

// A line of `height` at p falling by `step` per sample, 0 beyond.
std::vector<double> Triangle(int p, double height, double step) {
    std::vector<double> y(4000, 0.0);
    for (int d = 0; d * step < height; ++d) y[size_t(p - d)] = y[size_t(p + d)] = height - d * step;
    return y;
}

TEST(HalfHeightCenter, EdgesAndTruncation) {
    const int p = 2000;
    // Edges exactly on samples (cur equal to the half level).
    auto y = Triangle(p, 100, 10);
    EXPECT_EQ(HalfHeightCenter(y.data(), p, p - 1280, p + 1280), p);

    // Left edge at p - 5.5, right at p + 5: the centre p - 0.25 truncates.
    y[size_t(p - 5)] = 55;
    y[size_t(p - 6)] = 45;
    EXPECT_EQ(HalfHeightCenter(y.data(), p, p - 1280, p + 1280), p - 1);

    // A constant signal: height 0, edges at p - 1 and p + 1.
    std::vector<double> flat(4000, 7.25);
    EXPECT_EQ(HalfHeightCenter(flat.data(), p, p - 1280, p + 1280), p);

    // The base is the higher of the two minima.
    auto stepped = Triangle(p, 100, 10);
    for (int i = p - 1280; i < p - 9; ++i) stepped[size_t(i)] = 40;  // left minimum 40
    // level 70: left crossing at p - 3, right crossing at p + 3.
    EXPECT_EQ(HalfHeightCenter(stepped.data(), p, p - 1280, p + 1280), p);

    // No positive width: a line whose values are not numbers.
    auto broken = Triangle(p, 100, 10);
    broken[size_t(p)] = std::numeric_limits<double>::infinity();
    EXPECT_EQ(HalfHeightCenter(broken.data(), p, p - 1280, p + 1280), 0);
}

TEST(HalfHeightCenter, FindsTheCentreOfSymmetricLines) {
    // A broad symmetric line centred between two samples: the edges mirror
    // each other, so the centre lands on (or, through the truncation of a
    // value an ulp below, just before) the middle.
    for (double half : {6.0, 37.0, 180.0}) {
        std::vector<double> y(8000, 0.0);
        const double centre = 4000.5;
        for (int i = 0; i < 8000; ++i) {
            const double z = (i - centre) / half;
            y[size_t(i)] = 1000.0 * std::exp(-0.5 * z * z) + 3.0;
        }
        const int c = HalfHeightCenter(y.data(), 4000, 4000 - 1280, 4000 + 1280);
        EXPECT_TRUE(c == 4000 || c == 3999) << half << ": " << c;
    }
}

}  // namespace
}  // namespace lumitra::calibration
