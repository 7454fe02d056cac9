// Every call of the export catalogue made from four threads at once, each
// on data of its own: each outcome must equal that of the same call made
// alone. The threads start together, so the first calls of the UV-record
// form also race on the sibling lookup. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "exports/export_cases.h"

namespace lumitra::test {
namespace {

TEST(Concurrency, EveryExportCallFromFourThreadsAtOnce) {
    const std::vector<ExportCase> cases = AllExportCases();
    constexpr size_t kThreads = 4;
    // Thread t starts at a different case, so that different exports and
    // the same export run side by side.
    std::vector<std::vector<Outcome>> seen(kThreads, std::vector<Outcome>(cases.size()));
    std::atomic<size_t> waiting{kThreads};
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            for (size_t k = 0; k < cases.size(); ++k) {
                const size_t index = (k + t * cases.size() / kThreads) % cases.size();
                seen[t][index] = RunAlone(cases[index]);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (size_t i = 0; i < cases.size(); ++i) {
        const Outcome alone = RunAlone(cases[i]);
        for (size_t t = 0; t < kThreads; ++t) {
            EXPECT_EQ(seen[t][i].status, alone.status) << cases[i].exportName << ", " << cases[i].input;
            EXPECT_EQ(seen[t][i].state, alone.state) << cases[i].exportName << ", " << cases[i].input;
        }
    }
}

}  // namespace
}  // namespace lumitra::test
