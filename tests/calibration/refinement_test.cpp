// The refinement method through the shipped library, with a stand-in for
// the host's refinement library put where the library finds it: in a folder
// on this test's search path (LD_LIBRARY_PATH; under Wine, PATH). The
// stand-in returns the vertex of the parabola through the coarse maximum
// and its neighbours.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "lumitra/lumitra.h"
#if !defined(_WIN32)
#include "lumitra/lumitra_rules.h"
#endif

namespace {

namespace fs = std::filesystem;
const fs::path kStandIns = LUMITRA_STANDINS;

#if defined(_WIN32)
const char *kSiblingName = "KESTRONA.DLL", *kStandIn = "refine_standin.dll",
           *kStandInWithoutEntry = "refine_standin_without_entry.dll";
#else
const char *kSiblingName = "libkestrona.so", *kStandIn = "refine_standin.so",
           *kStandInWithoutEntry = "refine_standin_without_entry.so";
#endif

// Puts a stand-in in the sibling's place (or none) for one test.
struct Sibling {
    const fs::path target = kStandIns / "kestrona" / kSiblingName;
    explicit Sibling(const char* standIn) {
        fs::remove(target);
        if (standIn != nullptr) fs::copy_file(kStandIns / standIn, target);
    }
    ~Sibling() { fs::remove(target); }
};

// Lines whose three samples around `element` put the parabola's vertex
// `offset` elements above it: offset = 0.5 (a - c) / (a - 2b + c).
std::vector<double> Lamp(int element, double a, double b, double c) {
    std::vector<double> spectrum(512, 10.0);
    spectrum[size_t(element - 2)] = a, spectrum[size_t(element - 1)] = b, spectrum[size_t(element)] = c;
    return spectrum;
}

TEST(RefinementMethod, RefinedPositionsRoundToTheRecord) {
    Sibling sibling(kStandIn);
    struct Case {
        int element656;
        int32_t method, position1, position2, status;
    };
    // 656.1 nm at 385 + 3/128 elements: 24641.5 rounds to 24642; 360.8 nm at
    // 147.25: 9424. The coarse windows end at elements 405 and 168.
    const Case cases[] = {{385, 1, 9424, 24642, S_OK}, {385, -1, 9424, 24642, S_OK},
                          {405, 12345, 9424, 25922, E_CALIBRATION_RANGE}};
    for (const auto& c : cases) {
        const auto first = Lamp(c.element656, 66.5, 100.0, 69.5), second = Lamp(147, 40.0, 100.0, 80.0);
        std::vector<double> dark(512, 4.0), lit1 = first, lit2 = second;
        for (size_t i = 0; i < 512; ++i) lit1[i] += 4.0, lit2[i] += 4.0;
        CalibrationRecord record{};
        ASSERT_EQ(Lumitra_DoWavelengthCalibration(c.method, dark.data(), lit1.data(), dark.data(), lit2.data(), &record),
                  c.status) << c.element656;
        EXPECT_EQ(record.position2, c.position2);
        EXPECT_EQ(record.position1, c.position1);
        EXPECT_TRUE(record.wavelength1 == 36080 && record.wavelength2 == 65610);
#if !defined(_WIN32)
        // The rules' searches: the coarse windows (0-based elements) and the
        // maxima handed to the sibling.
        const double* differences[] = {first.data(), second.data()};
        LumitraLineSearch s[2];
        int32_t count = 0;
        ASSERT_EQ(LumitraRules_DescribeSearches(LUMITRA_OPERATION_REFINEMENT, &record, differences, s, 2, &count), S_OK);
        EXPECT_TRUE(count == 2 && s[0].firstSample == 128 && s[0].lastSample == 167 && s[1].firstSample == 365 &&
                    s[1].lastSample == 404 && s[0].foundSample == 146 && s[1].foundSample == c.element656 - 1 &&
                    s[1].floor == 0.0 && s[1].samplesPerElement == 1 && s[0].foundPosition == 147.0);
#endif
        // The Ex entry copies nothing with the refinement method.
        std::vector<double> copy(512, -1.0);
        ASSERT_EQ(Lumitra_DoWavelengthCalibrationEx(c.method, first.data(), second.data(), copy.data(), copy.data(),
                                                    &record, 0), c.status);
        EXPECT_EQ(copy[0], -1.0);
    }
}

TEST(RefinementMethod, MissingSiblingOrEntryFails) {
    const auto first = Lamp(385, 66.5, 100.0, 69.5), second = Lamp(147, 40.0, 100.0, 80.0);
    for (const char* standIn : {static_cast<const char*>(nullptr), kStandInWithoutEntry}) {
        Sibling sibling(standIn);
        CalibrationRecord record{1, 2, 3, 4};
        EXPECT_EQ(Lumitra_DoWavelengthCalibration(1, nullptr, first.data(), nullptr, second.data(), &record), E_FAIL);
        EXPECT_TRUE(record.position1 == 2 && record.position2 == 4);
    }
}

}  // namespace
