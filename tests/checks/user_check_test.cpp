// The user-defined check: validation, windows, peaks and valleys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "lumitra/lumitra.h"
#include "module/task_allocator.h"
#include "support/allocation_guard.h"

namespace {

UserCheckList List(std::initializer_list<UserCheckLine> lines, int16_t option = 0) {
    UserCheckList list;
    std::memset(&list, 0x5A, sizeof list);
    list.checkCount = static_cast<int16_t>(lines.size());
    list.option = option;
    int i = 0;
    for (const auto& line : lines) list.lines[i++] = line;
    return list;
}

UserCheckLine Peak(int32_t target, int32_t halfWindow, int32_t allowed, int32_t valley = 0) {
    UserCheckLine line;
    std::memset(&line, 0x5A, sizeof line);
    line.targetWavelength = target;
    line.halfWindow = halfWindow;
    line.allowedDeviation = allowed;
    line.findMinimum = valley;
    return line;
}

// Display-grid spectra (1-nm points from 190 nm) whose difference has a
// strong peak at `peakNm` and a valley at `valleyNm`.
struct GridSpectra {
    std::vector<double> first = std::vector<double>(611, 1000.0);
    std::vector<double> second = std::vector<double>(611, 1000.0);
};
GridSpectra Grid(double peakNm, double valleyNm) {
    GridSpectra g;
    for (int i = 0; i < 611; ++i) {
        const double nm = 190.0 + i;
        g.second[size_t(i)] += 1e8 * std::exp(-0.5 * std::pow((nm - peakNm) / 3.0, 2)) -
                               1e8 * std::exp(-0.5 * std::pow((nm - valleyNm) / 3.0, 2));
    }
    return g;
}

const CalibrationRecord kRecord{36080, 9376, 65610, 24528};

TEST(UserCheck, ValidationWritesNothing) {
    const GridSpectra g = Grid(400.0, 500.0);
    struct Case {
        UserCheckList list;
        bool nullSpectrum;
    };
    std::vector<UserCheckList> invalid = {List({}), List({Peak(40000, 5, 5)}, 4),
                                          List({Peak(40000, 5, 5)}, -1)};
    UserCheckList five = List({Peak(40000, 5, 5)});
    five.checkCount = 5;
    invalid.push_back(five);
    for (auto& list : invalid) {
        const UserCheckList before = list;
        EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, g.first.data(), g.second.data(),
                                                       &list),
                  E_INVALIDARG);
        EXPECT_EQ(std::memcmp(&before, &list, sizeof list), 0);
    }
    UserCheckList list = List({Peak(40000, 5, 5)});
    EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, nullptr, g.first.data(), g.second.data(),
                                                   &list),
              E_INVALIDARG);
    EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, nullptr, g.second.data(), &list),
              E_INVALIDARG);
    EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, g.first.data(), nullptr, &list),
              E_INVALIDARG);
    EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, g.first.data(), g.second.data(),
                                                   nullptr),
              E_INVALIDARG);
}

TEST(UserCheck, WindowsAtTheGridEnds) {
    const GridSpectra g = Grid(400.0, 500.0);
    struct Case {
        int32_t target, halfWindow, status;
    };
    const Case cases[] = {{18999, 0, E_FAIL},  {80001, 0, E_FAIL}, {19005, 6, E_FAIL},
                          {19005, 5, S_OK},    {79995, 5, S_OK},   {79995, 6, E_FAIL},
                          {19000, 0, S_OK},    {80000, 0, S_OK},   {40000, 2147483647, E_FAIL}};
    for (const auto& c : cases) {
        UserCheckList list = List({Peak(c.target, c.halfWindow, 3)});
        EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, g.first.data(),
                                                       g.second.data(), &list),
                  c.status)
            << c.target << " +- " << c.halfWindow;
    }
    // A flat difference reports the lowest wavelength of the window, for a
    // peak and a valley alike; a half window of 0 reports the target.
    const std::vector<double> flat(611, 2.0);
    UserCheckList list = List({Peak(30000, 40, 40), Peak(30000, 40, 39, 1), Peak(31234, 0, 0)});
    ASSERT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, flat.data(), flat.data(), &list),
              S_OK);
    EXPECT_EQ(list.lines[0].foundWavelength, 29960);
    EXPECT_EQ(list.lines[0].difference, 40);
    EXPECT_EQ(list.lines[0].passed, 1);  // equal to the allowed deviation
    EXPECT_EQ(list.lines[1].foundWavelength, 29960);
    EXPECT_EQ(list.lines[1].passed, 0);  // one beyond it
    EXPECT_EQ(list.lines[2].foundWavelength, 31234);
    EXPECT_EQ(list.lines[2].difference, 0);
    EXPECT_EQ(list.lines[2].passed, 1);
    EXPECT_EQ(list.lines[3].passed, 0x5A5A5A5A);  // beyond checkCount: untouched
}

// Lines are taken in order: a failing line leaves the lines before it with
// their results and the lines after it untouched. A negative half-window
// whose window lies inside the grid is refused at its line; one outside the
// grid fails as any window outside the grid.
TEST(UserCheck, LinesInOrderUpToTheFirstFailingOne) {
    const GridSpectra g = Grid(404.0, 546.0);
    struct Case {
        int32_t halfWindow, target, status;
    };
    const Case cases[] = {{-1, 50000, E_INVALIDARG},     {-30000, 50000, E_INVALIDARG},
                          {-40000, 50000, E_FAIL},       {-1, 18999, E_FAIL},
                          {-2147483647, 40000, E_FAIL},  {70000, 50000, E_FAIL}};
    for (const auto& c : cases) {
        UserCheckList list =
            List({Peak(40470, 300, 100), Peak(c.target, c.halfWindow, 5), Peak(54610, 300, 100, 1)});
        const UserCheckList before = list;
        EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(1, &kRecord, g.first.data(),
                                                       g.second.data(), &list),
                  c.status)
            << c.halfWindow << " at " << c.target;
        EXPECT_EQ(list.lines[0].foundWavelength, 40400) << c.halfWindow;
        EXPECT_EQ(list.lines[0].passed, 1) << c.halfWindow;
        EXPECT_EQ(std::memcmp(&list.lines[1], &before.lines[1], 2 * sizeof(UserCheckLine)), 0)
            << c.halfWindow;
    }
}

TEST(UserCheck, FindsPeaksAndValleysOnTheDisplayGrid) {
    // Symmetric features centred on grid points are found exactly there.
    const GridSpectra g = Grid(404.0, 546.0);
    UserCheckList list = List({Peak(40470, 300, 100), Peak(54610, 300, 100, 1),
                               Peak(40400, 300, 10), Peak(40700, 100, 10)});
    ASSERT_EQ(Lumitra_DoUserDefinedWavelengthCheck(3, &kRecord, g.first.data(), g.second.data(),
                                                   &list),
              S_OK);
    EXPECT_EQ(list.lines[0].foundWavelength, 40400);
    EXPECT_EQ(list.lines[0].difference, 70);
    EXPECT_EQ(list.lines[0].passed, 1);
    EXPECT_EQ(list.lines[1].foundWavelength, 54600);
    EXPECT_EQ(list.lines[2].difference, 0);
    EXPECT_EQ(list.lines[3].foundWavelength, 40600);  // window edge nearest the peak
    EXPECT_EQ(list.lines[3].passed, 0);

    // A stop leaves earlier lines written and later ones untouched.
    UserCheckList stop = List({Peak(40470, 300, 100), Peak(80001, 0, 0), Peak(54610, 300, 100)});
    EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(3, &kRecord, g.first.data(), g.second.data(),
                                                   &stop),
              E_FAIL);
    EXPECT_EQ(stop.lines[0].foundWavelength, 40400);
    EXPECT_EQ(stop.lines[2].foundWavelength, 0x5A5A5A5A);
}

TEST(UserCheck, FindsLinesInElementSpectra) {
    // Element spectra of a detector calibrated as kRecord: a line at 486.0
    // nm in wavelength, sampled at each element's calibrated wavelength.
    int32_t* table = nullptr;
    int32_t count = 0;
    ASSERT_EQ(Lumitra_GetWavelengthTable(0, &kRecord, 1, &table, &count), S_OK);
    std::vector<double> dark(512, 500.0), lamp(512, 500.0);
    for (int i = 0; i < 512; ++i)
        lamp[size_t(i)] += 5e6 * std::exp(-0.5 * std::pow((table[i] / 100.0 - 486.0) / 2.0, 2));
    lumitra::module::TaskFree(table);
    UserCheckList list = List({Peak(48600, 500, 15)});
    ASSERT_EQ(Lumitra_DoUserDefinedWavelengthCheck(0, &kRecord, dark.data(), lamp.data(), &list),
              S_OK);
    EXPECT_NEAR(list.lines[0].foundWavelength, 48600, 15);
    EXPECT_EQ(list.lines[0].passed, 1);

    // Wavelengths that do not increase make the spline set-up fail.
    const CalibrationRecord reversed{36080, 24528, 65610, 9376};
    EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(0, &reversed, dark.data(), lamp.data(), &list),
              E_FAIL);
}

TEST(UserCheck, OutOfMemoryLeavesTheLinesUntouched) {
    const GridSpectra g = Grid(404.0, 546.0);
    for (int32_t display : {0, 1}) {
        const int points = lumitra::test::SweepAllocationFailures(
            [&] {
                UserCheckList list = List({Peak(40400, 300, 100)});
                const UserCheckList before = list;
                const int32_t status = Lumitra_DoUserDefinedWavelengthCheck(
                    display, &kRecord, g.first.data(), g.second.data(), &list);
                if (status != S_OK) {
                    // The spline object reports a missing value array as a
                    // set-up failure (E_FAIL), every other array as
                    // E_OUTOFMEMORY.
                    EXPECT_TRUE(status == E_OUTOFMEMORY || status == E_FAIL) << status;
                    EXPECT_EQ(std::memcmp(&before, &list, sizeof list), 0);
                }
            },
            [](bool) {});
        EXPECT_GE(points, 3);
    }
}

}  // namespace
