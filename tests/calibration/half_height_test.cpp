// The half-height centre of the calibration's broad line on worked
// examples: which samples form its base and how its edges are placed.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "calibration/line_location.h"

namespace lumitra::calibration {
namespace {

TEST(HalfHeightCenter, WorkedExamples) {
    const int p = 2000, lo = p - 1280, hi = p + 1280;
    // A peak of 100 on a base of 0, falling by `left` and `right` per sample.
    auto peak = [&](double left, double right) {
        std::vector<double> y(4000, 0.0);
        for (int d = 0; d * left < 100.0; ++d) y[size_t(p - d)] = 100.0 - left * d;
        for (int d = 0; d * right < 100.0; ++d) y[size_t(p + d)] = 100.0 - right * d;
        return y;
    };
    auto edgeAtHalfSample = peak(10, 10), higherBase = peak(10, 10), broken = peak(10, 10);
    edgeAtHalfSample[size_t(p - 5)] = 55;  // left edge at p - 5.5: p - 0.25 truncates
    edgeAtHalfSample[size_t(p - 6)] = 45;
    std::fill(higherBase.begin() + lo, higherBase.begin() + p - 9, 40.0);  // level 70: edges p -+ 3
    broken[size_t(p)] = std::numeric_limits<double>::infinity();
    // Falling by 5 to the left on a shelf of 80 down to the window's first
    // sample, 0, and by 20 to the right: base 0, half 50, edges lo + 50/80
    // and p + 2.5, centre p - 638.4375 truncated.
    std::vector<double> shelf = peak(5, 20);
    std::fill(shelf.begin() + lo + 1, shelf.begin() + p - 3, 80.0);
    // The window's last sample is no part of the right minimum: with it
    // (-100, as low as the left one) the base would be -100, not 0.
    std::vector<double> lowEnds = peak(10, 20);
    lowEnds[size_t(lo)] = lowEnds[size_t(hi)] = -100.0;
    struct Case {
        const char* what;
        std::vector<double> y;
        int centre;
    } const cases[] = {{"edges on samples", peak(10, 10), p},
                       {"an edge between samples", edgeAtHalfSample, p - 1},
                       {"a constant signal", std::vector<double>(4000, 7.25), p},
                       {"the higher minimum is the base", higherBase, p},
                       {"no positive width", broken, 0},
                       {"the window's first sample is its minimum", shelf, p - 639},
                       {"the window's last sample is not searched for the base", lowEnds, p - 2}};
    for (const auto& c : cases) EXPECT_EQ(HalfHeightCenter(c.y.data(), p, lo, hi), c.centre) << c.what;
}

}  // namespace
}  // namespace lumitra::calibration
