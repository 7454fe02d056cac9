#!/usr/bin/env bash
# The hardening part of the test command: the native suites under
# AddressSanitizer with UndefinedBehaviorSanitizer (any report fails), the
# concurrency tests under ThreadSanitizer, every fuzz target for a bounded
# time (10 s each), and the native suites (build/native, built before)
# under Valgrind's memcheck.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for preset in asan tsan fuzz; do
  echo "=== $preset: configure, build and test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done
echo "=== memcheck: build/native under Valgrind"
bash scripts/memcheck.sh build/native
