#!/usr/bin/env bash
# Installs what is missing, builds the four variants (native x86-64, 32-bit
# Linux, PE32 DLL, PE32+ DLL) and runs every test suite, the hardening runs
# (sanitizers, fuzzing, memcheck; scripts/test-hardening.sh), then the Python
# package's tests against the native library.
#
# 32-bit code runs natively where the kernel executes i386 programs.
# Elsewhere the 32-bit Linux suites run under qemu-user, and the PE32 DLL,
# which 32-bit Wine cannot run there, is checked statically (export table,
# imports, version, the stack bytes each export releases). LUMITRA_I386
# chooses: "auto" (default: whatever this machine can), "native" (fail
# unless i386 programs run here), "fallback" (emulate and check statically
# even where i386 programs would run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
jobs=$(nproc)

runs_i386_programs() {
  local dir status=1
  dir=$(mktemp -d)
  printf 'int main(void) { return 0; }\n' > "$dir/probe.c"
  if gcc -m32 "$dir/probe.c" -o "$dir/probe" 2>/dev/null && "$dir/probe" 2>/dev/null; then
    status=0
  fi
  rm -rf "$dir"
  return $status
}

case "${LUMITRA_I386:-auto}" in
  auto)
    if runs_i386_programs; then i386=native; why="this kernel executes i386 programs"
    else i386=fallback; why="this kernel cannot execute i386 programs"; fi ;;
  native)
    runs_i386_programs || { echo "LUMITRA_I386=native, but this kernel cannot execute i386 programs" >&2; exit 1; }
    i386=native; why="LUMITRA_I386=native" ;;
  fallback) i386=fallback; why="LUMITRA_I386=fallback" ;;
  *) echo "LUMITRA_I386 must be auto, native or fallback" >&2; exit 2 ;;
esac

declare -A mode configure
mode[native]="natively"
configure[native]=""
mode[windows64]="under 64-bit Wine"
configure[windows64]=""
if [[ $i386 == native ]]; then
  mode[linux32]="natively ($why)"
  configure[linux32]="-DLUMITRA_EMULATE_I386=OFF"
  mode[windows]="under 32-bit Wine ($why)"
  configure[windows]="-DLUMITRA_WINE_TESTS=ON"
else
  mode[linux32]="emulated by qemu-i386, a CPU model without AVX ($why)"
  configure[linux32]="-DLUMITRA_EMULATE_I386=ON"
  mode[windows]="static checks only: export table, imports, version, stack bytes released ($why; 32-bit Wine needs it)"
  configure[windows]="-DLUMITRA_WINE_TESTS=OFF"
fi
presets=(native linux32 windows windows64)
report_modes() {
  local preset
  for preset in "${presets[@]}"; do printf '  %-10s %s %s\n' "$preset" "$1" "${mode[$preset]}"; done
}
echo "=== how each variant is tested"
report_modes "to run"

for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build"
  # shellcheck disable=SC2086 # the options are words
  cmake --preset "$preset" ${configure[$preset]} >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
done
for preset in "${presets[@]}"; do
  echo "=== $preset: tests, ${mode[$preset]}"
  ctest --preset "$preset" -j"$jobs"
done
bash scripts/test-hardening.sh
echo "=== python: tests against build/native/bin/liblumitra.so"
LUMITRA_LIBRARY="$PWD/build/native/bin/liblumitra.so" PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider --durations=5 python/tests
echo "=== every suite passed"
report_modes "passed"
