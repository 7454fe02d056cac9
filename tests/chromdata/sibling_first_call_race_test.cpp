// First calls of the UV-record form on several threads at once: each may
// look the sibling up, all succeed with the same record, and the loader
// attaches the sibling once. (A process of its own: nothing may have
// looked the sibling up before.)
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "lumitra/lumitra.h"
#include "sibling_standin.h"
#include "spectrum_source_standin.h"

namespace {

using lumitra::test::StandInSpectrumSource;

TEST(SiblingFirstCallRace, EveryThreadGetsTheSameRecord) {
    ASSERT_FALSE(lumitra::test::SiblingLoaded());
    constexpr int kThreads = 4;
    std::vector<UVSpecData> records(kThreads);
    std::vector<int32_t> statuses(kThreads, -1);
    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Each thread owns its data source (it records its requests).
            StandInSpectrumSource source;
            StandInSpectrumSource::Reply reply;
            reply.values = {3.0, 4.0};
            reply.wavelengths = {25400, 28000};
            source.At(7, reply);
            const BGSubtractionRequest request{7, 7, 7, source.Source(), 0, 0};
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            statuses[size_t(t)] = Lumitra_GetBGSubtractedUVSpecData(&request, &records[size_t(t)]);
        });
    }
    for (auto& thread : threads) thread.join();

    const lumitra::test::SiblingControls sibling;
    ASSERT_TRUE(sibling.Ready());
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(statuses[size_t(t)], S_OK) << t;
        EXPECT_EQ(records[size_t(t)].pointCount, 2) << t;
        EXPECT_EQ(records[size_t(t)].maxValue, 0.0) << t;
        EXPECT_EQ(records[size_t(t)].lastWavelength, 28000) << t;
        sibling.Free(&records[size_t(t)]);
    }
    EXPECT_EQ(lumitra::test::SiblingAttachCount(), 1);
    EXPECT_EQ(sibling.OutstandingArrays(), 0);
}

}  // namespace
