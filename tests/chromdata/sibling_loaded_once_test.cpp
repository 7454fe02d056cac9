// A process that finds the stand-in sibling: the first UV-record call
// loads it, later calls reuse the address kept from the first and neither
// load it again nor release it. (A process of its own: the address is kept
// for the life of the process, and the last step unloads the sibling.)
#include <gtest/gtest.h>

#include "lumitra/lumitra.h"
#include "sibling_standin.h"
#include "spectrum_source_standin.h"

namespace {

using lumitra::test::StandInSpectrumSource;

TEST(SiblingLoadedOnce, LaterCallsReuseTheFirstLookup) {
    ASSERT_FALSE(lumitra::test::SiblingLoaded());
    StandInSpectrumSource source;
    StandInSpectrumSource::Reply reply;
    reply.values = {1.0};
    reply.wavelengths = {25400};
    source.At(1, reply);
    const BGSubtractionRequest request{1, 1, 1, source.Source(), 0, 0};

    using FreeRecord = void(LUMITRA_CALL*)(UVSpecData*);
    for (int call = 0; call < 3; ++call) {
        UVSpecData record{};
        ASSERT_EQ(Lumitra_GetBGSubtractedUVSpecData(&request, &record), S_OK) << call;
        EXPECT_EQ(record.values[0], 0.0);
        EXPECT_TRUE(lumitra::test::SiblingLoaded());
        // Freed through the stand-in without taking a reference to it.
#if defined(_WIN32)
        auto release = reinterpret_cast<FreeRecord>(reinterpret_cast<void*>(::GetProcAddress(
            ::GetModuleHandleA(lumitra::test::kSiblingFile), "Tool_FreeUVSpecData")));
#else
        void* handle = ::dlopen(lumitra::test::kSiblingFile, RTLD_NOW | RTLD_NOLOAD);
        auto release = reinterpret_cast<FreeRecord>(::dlsym(handle, "Tool_FreeUVSpecData"));
        ::dlclose(handle);
#endif
        ASSERT_NE(release, nullptr);
        release(&record);
    }
    // Attached once, and the library holds exactly one reference: dropping
    // one unloads it. A second load would have left it loaded here.
    EXPECT_EQ(lumitra::test::SiblingAttachCount(), 1);
    lumitra::test::ReleaseSiblingOnce();
    EXPECT_FALSE(lumitra::test::SiblingLoaded());
}

}  // namespace
