#!/usr/bin/env bash
# Installs what is missing, builds the three variants (native x86-64,
# 32-bit Linux, PE32 DLL under Wine) and runs every test suite, the
# hardening runs (sanitizers, fuzzing, memcheck; scripts/test-hardening.sh),
# then the Python package's tests against the native library.
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
bash scripts/test-hardening.sh
echo "=== python: tests against build/native/bin/liblumitra.so"
LUMITRA_LIBRARY="$PWD/build/native/bin/liblumitra.so" PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider --durations=5 python/tests
