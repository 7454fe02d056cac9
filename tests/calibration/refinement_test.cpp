// The refinement method through the shipped library, with a stand-in for
// the host's refinement library put where the library search finds it:
// beside the test program (Windows) or beside liblumitra.so (Linux).
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "lumitra/lumitra.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

fs::path ProgramFolder() {
#if defined(_WIN32)
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
#else
    return fs::canonical("/proc/self/exe").parent_path();
#endif
}

#if defined(_WIN32)
const char* kSiblingName = "KESTRONA.DLL";
const char* kStandIn = "refine_standin.dll";
const char* kStandInWithoutEntry = "refine_standin_without_entry.dll";
#else
const char* kSiblingName = "libkestrona.so";
const char* kStandIn = "refine_standin.so";
const char* kStandInWithoutEntry = "refine_standin_without_entry.so";
#endif

// Puts a stand-in in the sibling's place (or none) for one test.
class Sibling {
public:
    explicit Sibling(const char* standIn) : target_(ProgramFolder() / kSiblingName) {
        fs::remove(target_);
        if (standIn != nullptr) fs::copy_file(ProgramFolder() / standIn, target_);
    }
    ~Sibling() { fs::remove(target_); }

private:
    fs::path target_;
};

// A line whose three samples around element `element` put the parabola's
// vertex `offset` elements above it: offset = 0.5 (a - c) / (a - 2b + c).
void PutLine(std::vector<double>& spectrum, int element, double a, double b, double c) {
    spectrum[size_t(element - 2)] = a;
    spectrum[size_t(element - 1)] = b;
    spectrum[size_t(element)] = c;
}

struct Lamp {
    std::vector<double> first = std::vector<double>(512, 10.0);
    std::vector<double> second = std::vector<double>(512, 10.0);
};

Lamp RefinableLamp() {
    Lamp lamp;
    // 656.1 nm at element 385 + 3/128: 385.0234375 elements, 24641.5 rounds to 24642.
    PutLine(lamp.first, 385, 66.5, 100.0, 69.5);
    // 360.8 nm at element 147 + 0.25 = 147.25 elements: 9424.
    PutLine(lamp.second, 147, 40.0, 100.0, 80.0);
    return lamp;
}

TEST(RefinementMethod, RefinedPositionsRoundToTheRecord) {
    Sibling sibling(kStandIn);
    const Lamp lamp = RefinableLamp();
    for (int32_t method : {1, -1, 12345}) {
        CalibrationRecord record{};
        ASSERT_EQ(Lumitra_DoWavelengthCalibration(method, nullptr, lamp.first.data(), nullptr,
                                                  lamp.second.data(), &record),
                  S_OK)
            << method;
        EXPECT_EQ(record.position2, 24642);
        EXPECT_EQ(record.position1, 9424);
        EXPECT_EQ(record.wavelength1, 36080);
        EXPECT_EQ(record.wavelength2, 65610);
    }
    // Darks are subtracted before the coarse search.
    std::vector<double> dark(512, 4.0), lit1(lamp.first), lit2(lamp.second);
    for (size_t i = 0; i < 512; ++i) {
        lit1[i] += dark[i];
        lit2[i] += dark[i];
    }
    CalibrationRecord record{};
    ASSERT_EQ(Lumitra_DoWavelengthCalibration(1, dark.data(), lit1.data(), dark.data(),
                                              lit2.data(), &record),
              S_OK);
    EXPECT_EQ(record.position2, 24642);
    // The Ex entry copies nothing with the refinement method.
    std::vector<double> copy(512, -1.0);
    ASSERT_EQ(Lumitra_DoWavelengthCalibrationEx(1, lamp.first.data(), lamp.second.data(),
                                                copy.data(), copy.data(), &record, 0),
              S_OK);
    EXPECT_EQ(copy[0], -1.0);
}

TEST(RefinementMethod, MissingSiblingOrEntryFails) {
    const Lamp lamp = RefinableLamp();
    for (const char* standIn : {static_cast<const char*>(nullptr), kStandInWithoutEntry}) {
        Sibling sibling(standIn);
        CalibrationRecord record{1, 2, 3, 4};
        EXPECT_EQ(Lumitra_DoWavelengthCalibration(1, nullptr, lamp.first.data(), nullptr,
                                                  lamp.second.data(), &record),
                  E_FAIL);
        EXPECT_EQ(record.position1, 2);
        EXPECT_EQ(record.position2, 4);
        // The fine-grid method does not need the sibling.
        EXPECT_NE(Lumitra_DoWavelengthCalibration(0, nullptr, lamp.first.data(), nullptr,
                                                  lamp.second.data(), &record),
                  E_FAIL);
    }
}

}  // namespace
