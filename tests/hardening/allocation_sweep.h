// The allocation-failure sweep of an export case: run once without failures
// (the reference), then with its 1st, 2nd, ... allocation failing until a
// call completes. Every failed call must return the contract's status,
// leave the caller-visible state the contract states and hold no
// allocation. The failure points of each export are tallied and printed
// at the end of the program.
#pragma once

#include <vector>

#include "export_cases.h"

namespace lumitra::test {

void RunSweep(const ExportCase& exportCase);
void RunSweeps(const std::vector<ExportCase>& cases);

}  // namespace lumitra::test
