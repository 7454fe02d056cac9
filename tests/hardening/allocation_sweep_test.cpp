// Every call of the export catalogue with its 1st, 2nd, ... allocation
// failing in turn until a call completes: each failed call returns the
// status the contract gives and leaves the caller-visible state it gives,
// and holds no allocation; the completed call has its outcome. Exports
// that allocate nothing complete at once. The failure points per export
// are printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "exports/export_cases.h"
#include "support/new_failure.h"
#include "support/test_support.h"

namespace lumitra::test {
namespace {

// The operator-new counterpart of SweepAllocationFailures.
template <typename Call, typename Check>
int SweepNewFailures(Call call, Check check) {
    for (int n = 1; n <= 200; ++n) {
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

TEST(AllocationSweep, EveryExportCall) {
    std::map<std::string, std::string> points;
    for (const ExportCase& c : AllExportCases()) {
        SCOPED_TRACE(c.exportName + ", " + c.input);
        const Outcome untouched = c.run(Invoke(Invoke::Mode::kNoCall));
        Outcome complete;
        {
            AllocationBalance balance;
            complete = RunAlone(c);
        }
        EXPECT_EQ(complete.verdict, "");
        Outcome outcome;
        auto call = [&] { outcome = RunAlone(c); };
        auto check = [&](bool failed) {
            if (!failed) {
                EXPECT_EQ(outcome.status, complete.status);
                EXPECT_EQ(outcome.state, complete.state) << "differs from the complete call";
            } else if (c.checkFailed) {
                c.checkFailed(outcome, untouched, complete);
            } else {
                EXPECT_EQ(outcome.status, E_OUTOFMEMORY);
                EXPECT_EQ(outcome.state, untouched.state) << "caller-visible state changed";
            }
        };
        const int n = c.memory == Memory::kOperatorNew ? SweepNewFailures(call, check)
                                                        : SweepAllocationFailures(call, check);
        points[c.exportName].append(" ").append(std::to_string(n));
    }
    EXPECT_EQ(std::count_if(points.begin(), points.end(), [](const auto& p) { return p.first.rfind("Lumitra_", 0) == 0; }),
              24);
    std::printf("allocation failure points per export and call\n");
    for (const auto& [name, each] : points) std::printf("  %-44s%s\n", name.c_str(), each.c_str());
}

}  // namespace
}  // namespace lumitra::test
