// Allocation-failure sweeps of every export, each on several
// representative inputs (export_cases.h). Exports that allocate nothing
// are swept too: they complete at the first round (0 failure points).
#include <gtest/gtest.h>

#include "allocation_sweep.h"

namespace lumitra::test {
namespace {

TEST(AllocationSweep, WavelengthTablesAndLookup) { RunSweeps(TableCases()); }
TEST(AllocationSweep, Kernels) { RunSweeps(KernelCases()); }
TEST(AllocationSweep, Calibration) { RunSweeps(CalibrationCases()); }
TEST(AllocationSweep, WavelengthChecks) { RunSweeps(CheckCases()); }
TEST(AllocationSweep, LampDiagnostics) { RunSweeps(LampCases()); }
TEST(AllocationSweep, ChromatogramUtilities) { RunSweeps(ChromatogramCases()); }

}  // namespace
}  // namespace lumitra::test
