// Linux: the host's sibling libraries come from beside liblumitra.so or
// from the system's search path, never from the working directory. A copy
// of the library is loaded from a folder of its own while siblings are
// planted in the working directory (and LD_LIBRARY_PATH holds an empty
// element, which the loader would read as that directory).
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"

namespace {

namespace fs = std::filesystem;

// A data source that has nothing: a UV record call that wrongly found a
// sibling fails here instead of reaching further.
int32_t NoSpectrum(ISpectrumSource*, int32_t, double**, int32_t*, int32_t**, int32_t, int32_t,
                   int32_t, int32_t) {
    return E_FAIL;
}

TEST(SiblingSearch, PlantedInTheWorkingDirectoryNeverLoaded) {
    const fs::path standIns = LUMITRA_STANDINS;
    const fs::path root = fs::temp_directory_path() / ("lumitra-siblings-" + std::to_string(::getpid()));
    const fs::path folder = root / "lib", work = root / "work";
    fs::remove_all(root);
    fs::create_directories(folder);
    fs::create_directories(work);
    fs::copy_file(LUMITRA_LIBRARY, folder / "liblumitra.so");
    fs::copy_file(standIns / "refine_standin.so", work / "libkestrona.so");
    fs::copy_file(standIns / "libvarnex2.so", work / "libvarnex2.so");
    ASSERT_EQ(::chdir(work.c_str()), 0);

    void* library = ::dlopen((folder / "liblumitra.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto calibrate = reinterpret_cast<decltype(&Lumitra_DoWavelengthCalibration)>(
        ::dlsym(library, "Lumitra_DoWavelengthCalibration"));
    auto uvRecord = reinterpret_cast<decltype(&Lumitra_GetBGSubtractedUVSpecData)>(
        ::dlsym(library, "Lumitra_GetBGSubtractedUVSpecData"));
    ASSERT_TRUE(calibrate && uvRecord);

    std::vector<double> lamp(512, 10.0);
    lamp[384] = lamp[147] = 100.0;
    CalibrationRecord record{};
    EXPECT_EQ(calibrate(1, nullptr, lamp.data(), nullptr, lamp.data(), &record), E_FAIL);
    ISpectrumSourceVtbl methods{};
    methods.GetSpectrum = &NoSpectrum;
    ISpectrumSource source{&methods};
    BGSubtractionRequest request{1, 0, 2, &source, 0, 0};
    UVSpecData uv{};
    EXPECT_EQ(uvRecord(&request, &uv), E_UNEXPECTED);
    EXPECT_EQ(::dlopen((work / "libvarnex2.so").c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);

    // Beside the library the same file is found.
    fs::copy_file(work / "libkestrona.so", folder / "libkestrona.so");
    EXPECT_EQ(calibrate(1, nullptr, lamp.data(), nullptr, lamp.data(), &record), S_OK);

    ASSERT_EQ(::chdir("/"), 0);
    ::dlclose(library);
    fs::remove_all(root);
}

}  // namespace
