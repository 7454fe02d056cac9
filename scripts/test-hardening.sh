#!/usr/bin/env bash
# The hardening part of the test command: one clang build with
# AddressSanitizer and UndefinedBehaviorSanitizer (any report fails) that
# runs every native suite and each libFuzzer target for a few seconds from
# its seed corpus; the concurrency tests under ThreadSanitizer; and the
# suites that exercise allocation (build/native, built before) under
# Valgrind's memcheck. Longer fuzzing: scripts/fuzz-campaign.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for preset in sanitize tsan; do
  echo "=== $preset: configure, build and test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done
echo "=== memcheck: the allocating suites of build/native under Valgrind"
bash scripts/memcheck.sh build/native allocation_sweep_test chromdata_test shipped_library_test calibration_refinement_test
