#!/usr/bin/env bash
# A fuzzing campaign: every libFuzzer target of the sanitize preset (or the ones
# named), one after the other, each for SECONDS (default 300), niced. Each
# starts from its seed corpus (fuzz/corpus/<target>) and what earlier runs
# found (<build>/fuzz-corpus/<target>); crash inputs are left as
# <build>/fuzz/crash-*. Prints the executions and crashes of every target.
#
#   scripts/fuzz-campaign.sh [SECONDS] [TARGET...]     (build: LUMITRA_FUZZ_BUILD, default build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
build=${LUMITRA_FUZZ_BUILD:-build/fuzz}

cmake --preset sanitize -B "$build" -DLUMITRA_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build "$build" -j2
targets=("$@")
if (( ${#targets[@]} == 0 )); then
  targets=($(ctest --test-dir "$build" -N | awk '/Test +#/ && $3 ~ /_fuzzer$/ {print $3}'))
fi

crash_files() { find "$build/fuzz" -maxdepth 1 -name 'crash-*' | wc -l; }

failed=0
printf '%-22s %14s %8s %s\n' target executions crashes result
for target in "${targets[@]}"; do
  log="$build/fuzz/$target.log"
  before=$(crash_files)
  if nice -n 10 ctest --test-dir "$build" -R "^$target\$" -V >"$log" 2>&1; then
    result=passed
  else
    result="FAILED (see $log)"
    failed=1
  fi
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | awk '{print $2}' | tail -1 || true)
  crashes=$(( $(crash_files) - before ))
  printf '%-22s %14s %8s %s\n' "$target" "${executions:-?}" "$crashes" "$result"
done
exit $failed
