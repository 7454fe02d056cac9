#include "allocation_sweep.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "exports/export_table.h"
#include "support/allocation_guard.h"
#include "support/new_failure.h"

namespace lumitra::test {
namespace {

// Failure points per export, one entry per input.
std::map<std::string, std::vector<int>>& Tally() {
    static std::map<std::string, std::vector<int>> tally;
    return tally;
}

// Prints the tally after the last test; when every test ran, also expects
// every export of the table to have been swept.
class TallyReport : public ::testing::Environment {
public:
    void TearDown() override {
        std::printf("allocation failure points per export (total: each input)\n");
        for (const auto& [name, points] : Tally()) {
            int total = 0;
            std::string each;
            for (int p : points) {
                total += p;
                each += ' ' + std::to_string(p);
            }
            std::printf("  %-44s %4d:%s\n", name.c_str(), total, each.c_str());
        }
        if (::testing::GTEST_FLAG(filter) != "*") return;
        for (const auto& entry : kExports)
            EXPECT_TRUE(Tally().count(entry.name)) << entry.name << " was not swept";
    }
};
const auto* const kReport = ::testing::AddGlobalTestEnvironment(new TallyReport);

void ExpectOutOfMemoryUntouched(const Outcome& failed, const Outcome& untouched, const Outcome&) {
    EXPECT_EQ(failed.status, E_OUTOFMEMORY);
    EXPECT_EQ(failed.state, untouched.state) << "caller-visible state changed";
}

// The operator-new counterpart of SweepAllocationFailures.
template <typename Call, typename Check>
int SweepNewFailures(Call call, Check check) {
    for (int n = 1; n <= 200; ++n) {
        AllocationBalance balance;
        FailNthNew(n);
        call();
        const bool failed = NewFailureDelivered();
        FailNthNew(0);
        check(failed);
        if (!failed) return n - 1;
    }
    ADD_FAILURE() << "operator new sweep did not finish";
    return 200;
}

}  // namespace

void RunSweep(const ExportCase& c) {
    SCOPED_TRACE(c.exportName + ", " + c.input);
    const Outcome untouched = c.run(false);
    Outcome reference;
    {
        AllocationBalance balance;
        reference = c.run(true);
    }
    const auto& checkFailed = c.checkFailed ? c.checkFailed : ExpectOutOfMemoryUntouched;
    Outcome outcome;
    auto call = [&] { outcome = c.run(true); };
    auto check = [&](bool failed) {
        if (failed) {
            checkFailed(outcome, untouched, reference);
        } else {
            EXPECT_EQ(outcome.status, reference.status);
            EXPECT_EQ(outcome.state, reference.state) << "result differs from the reference";
        }
    };
    const int points = c.memory == Memory::kOperatorNew ? SweepNewFailures(call, check)
                                                        : SweepAllocationFailures(call, check);
    Tally()[c.exportName].push_back(points);
}

void RunSweeps(const std::vector<ExportCase>& cases) {
    for (const auto& c : cases) RunSweep(c);
}

}  // namespace lumitra::test
