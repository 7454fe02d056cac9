#!/usr/bin/env bash
# Installs what is missing, builds the three variants (native x86-64,
# 32-bit Linux, PE32 DLL under Wine) and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
jobs=$(nproc)
for preset in native linux32 windows; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
done
for preset in native linux32 windows; do
  echo "=== $preset: tests"
  ctest --preset "$preset" -j"$jobs"
done
