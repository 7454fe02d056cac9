// The shipped library loaded and unloaded by file name twice in one
// process, as a host does; nothing of it is linked into this program.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

TEST(HostInterface, LoadsAndUnloadsRepeatedly) {
    for (int round = 0; round < 2; ++round) {
#if defined(_WIN32)
        HMODULE library = ::LoadLibraryA("Lumitra.dll");
        ASSERT_NE(library, nullptr) << round;
        EXPECT_NE(::GetProcAddress(library, "Lumitra_GetWavelengthTable"), nullptr);
        EXPECT_TRUE(::FreeLibrary(library));
#else
        void* library = ::dlopen("liblumitra.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << round;
        EXPECT_NE(::dlsym(library, "Lumitra_GetWavelengthTable"), nullptr);
        EXPECT_EQ(::dlclose(library), 0);
#endif
    }
}

}  // namespace
