// Every export called from several threads at once, each thread on data of
// its own (the representative cases of export_cases.h): every result must
// equal that of the same call made alone. The threads go first, so the
// first calls of the UV-record form also race on the sibling lookup.
// Meant for ThreadSanitizer as much as for the ordinary builds.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "export_cases.h"
#include "exports/export_table.h"

namespace lumitra::test {
namespace {

constexpr size_t kThreads = 4;
constexpr size_t kRounds = 2;

TEST(Concurrency, EveryExportFromSeveralThreadsAtOnce) {
    const std::vector<ExportCase> cases = AllExportCases();
    std::set<std::string> covered;
    for (const auto& c : cases) covered.insert(c.exportName);
    for (const auto& entry : kExports) EXPECT_TRUE(covered.count(entry.name)) << entry.name;

    // Thread t starts its rounds at a different case, so that different
    // exports and the same export run side by side.
    std::vector<std::vector<Outcome>> seen(kThreads, std::vector<Outcome>(kRounds * cases.size()));
    std::atomic<size_t> waiting{kThreads};
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            for (size_t k = 0; k < kRounds * cases.size(); ++k) {
                const size_t index = (k + t * cases.size() / kThreads) % cases.size();
                seen[t][k] = cases[index].run(true);
            }
        });
    }
    for (auto& thread : threads) thread.join();

    std::vector<Outcome> alone;
    for (const auto& c : cases) alone.push_back(c.run(true));
    for (size_t t = 0; t < kThreads; ++t) {
        for (size_t k = 0; k < kRounds * cases.size(); ++k) {
            const size_t index = (k + t * cases.size() / kThreads) % cases.size();
            const ExportCase& c = cases[index];
            EXPECT_EQ(seen[t][k].status, alone[index].status) << c.exportName << ", " << c.input;
            EXPECT_EQ(seen[t][k].state, alone[index].state) << c.exportName << ", " << c.input;
        }
    }
}

}  // namespace
}  // namespace lumitra::test
