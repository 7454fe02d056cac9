// A process that finds the stand-in sibling (a process of its own: the
// sibling's address is kept for the life of the process). Built twice:
// with FIRST_CALLS_RACE the first calls of the UV-record form race on four
// threads, each may look the sibling up, and all get the same record from
// a sibling attached once; without it one call after another, the later
// ones reusing the kept address: the library holds exactly one reference.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "sibling_standin.h"
#include "spectrum_source_standin.h"

namespace {

using lumitra::test::StandInSpectrumSource;

TEST(SiblingFirstCalls, RaceThenReuseOneLoadedSibling) {
    ASSERT_FALSE(lumitra::test::SiblingLoaded());
#if defined(FIRST_CALLS_RACE)
    constexpr int kThreads = 4, kLaterCalls = 0;
#else
    constexpr int kThreads = 0, kLaterCalls = 3;
#endif
    std::vector<UVSpecData> records(kThreads + kLaterCalls);
    std::vector<int32_t> statuses(records.size(), -1);
    auto call = [&](size_t i) {
        StandInSpectrumSource source;  // one per thread: it records its requests
        StandInSpectrumSource::Reply reply;
        reply.values = {3.0, 4.0};
        reply.wavelengths = {25400, 28000};
        source.At(7, reply);
        const BGSubtractionRequest request{7, 7, 7, source.Source(), 0, 0};
        statuses[i] = Lumitra_GetBGSubtractedUVSpecData(&request, &records[i]);
    };
    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            call(size_t(t));
        });
    for (auto& thread : threads) thread.join();
    for (size_t i = kThreads; i < records.size(); ++i) call(i);

    // Freed through the stand-in without taking a reference to it.
    using FreeRecord = void(LUMITRA_CALL*)(UVSpecData*);
#if defined(_WIN32)
    auto release = reinterpret_cast<FreeRecord>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA(lumitra::test::kSiblingFile), "Tool_FreeUVSpecData")));
#else
    void* handle = ::dlopen(lumitra::test::kSiblingFile, RTLD_NOW | RTLD_NOLOAD);
    auto release = reinterpret_cast<FreeRecord>(::dlsym(handle, "Tool_FreeUVSpecData"));
    ::dlclose(handle);
#endif
    ASSERT_NE(release, nullptr);
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(statuses[i], S_OK) << i;
        EXPECT_TRUE(records[i].pointCount == 2 && records[i].maxValue == 0.0 &&
                    records[i].lastWavelength == 28000) << i;
        release(&records[i]);
    }
    EXPECT_EQ(lumitra::test::SiblingAttachCount(), 1);
#if !defined(FIRST_CALLS_RACE)
    // Dropping the library's one reference unloads the sibling.
    EXPECT_TRUE(lumitra::test::SiblingLoaded(true));
    EXPECT_FALSE(lumitra::test::SiblingLoaded());
#endif
}

}  // namespace
