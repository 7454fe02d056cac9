#!/usr/bin/env bash
# A fuzzing campaign: every libFuzzer target (or the ones named), one after
# the other, each for SECONDS (default 180), niced, in libFuzzer's fork mode
# over LUMITRA_FUZZ_JOBS processes (default: one per core). The targets
# whose inputs resample and filter full-size spectra (test label full-size)
# run in the fuzz-opt build (UndefinedBehaviorSanitizer, full optimisation),
# and what they found is then replayed under AddressSanitizer in the
# fuzz-asan build, where every other target runs. Each starts from its seed
# corpus (fuzz/corpus/<target>) and what earlier campaigns found
# (build/<preset>/fuzz-corpus/<target>); crash inputs are left in
# build/<preset>/fuzz/crash-*. Prints per target the inputs run, inputs a
# second, the coverage of its corpus (libFuzzer's cov and ft) before and
# after, crashes, and the load average when it ended. A target that ran
# fewer than LUMITRA_FUZZ_MIN_RATE inputs a second (default 100) fails:
# a campaign that slow explores too little to stand for its time.
#
#   scripts/fuzz-campaign.sh [SECONDS] [TARGET...]    (LUMITRA_FUZZ_JOBS, LUMITRA_FUZZ_NICE: default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-180}
shift || true
jobs=${LUMITRA_FUZZ_JOBS:-$(nproc)}
niceness=${LUMITRA_FUZZ_NICE:-10}
min_rate=${LUMITRA_FUZZ_MIN_RATE:-100}
root=$PWD

for preset in fuzz-asan fuzz-opt; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
targets=("$@")
if (( ${#targets[@]} == 0 )); then
  targets=($(ctest --test-dir build/fuzz-asan -N | awk '/Test +#/ && $3 ~ /_fuzzer$/ {print $3}'))
fi
full_size=" $(ctest --test-dir build/fuzz-asan -N -L full-size | awk '/Test +#/ {print $3}' | tr '\n' ' ') "

# The target's test command in a build, with its environment, as words for
# eval: env NAME=VALUE... program options... found-corpus seed-corpus.
command_of() {
  ctest --test-dir "$root/build/$1" -R "^$2\$" --show-only=json-v1 | python3 -c '
import json, shlex, sys
test = json.load(sys.stdin)["tests"][0]
env = [v for p in test.get("properties", []) if p["name"] == "ENVIRONMENT" for v in p["value"]]
print(" ".join(shlex.quote(word) for word in ["env"] + env + test["command"]))'
}
# cov and ft of a run over the target's corpora (the "INITED" line).
coverage() {
  (cd "build/$1/fuzz" && eval "$(command_of "$1" "$2")" -runs=0 2>&1) |
    awk '/INITED/ {for (i = 1; i < NF; ++i) if ($i == "cov:" || $i == "ft:") printf "%s ", $(i + 1)}'
}
crashes() { find "build/$1/fuzz" -maxdepth 1 -name 'crash-*' | wc -l; }

failed=0
printf '%-24s %-9s %10s %9s %13s %13s %7s %6s  %s\n' \
  target build inputs inputs/s cov ft crashes load result
for target in "${targets[@]}"; do
  preset=fuzz-asan
  [[ $full_size == *" $target "* ]] && preset=fuzz-opt
  log="build/$preset/fuzz/$target.campaign.log"
  read -r cov0 ft0 <<<"$(coverage "$preset" "$target")"
  before=$(crashes "$preset")
  start=$(date +%s.%N)
  result=passed
  if ! (cd "build/$preset/fuzz" && eval nice -n "$niceness" "$(command_of "$preset" "$target")" \
          -fork="$jobs" -max_total_time="$seconds" >"$target.campaign.log" 2>&1); then
    result="FAILED (see $log)"
    failed=1
  fi
  elapsed=$(awk -v start="$start" -v end="$(date +%s.%N)" 'BEGIN {print end - start}')
  load=$(cut -d' ' -f1 /proc/loadavg)
  inputs=$(grep -o '^#[0-9]*:' "$log" | tail -1 | tr -d '#:' || true)
  read -r cov1 ft1 <<<"$(coverage "$preset" "$target")"
  found=$(( $(crashes "$preset") - before ))
  if [[ $preset == fuzz-opt ]]; then
    # What the optimised build found, replayed under AddressSanitizer.
    opt_found="$PWD/build/fuzz-opt/fuzz-corpus/$target"
    if ! (cd build/fuzz-asan/fuzz && eval "$(command_of fuzz-asan "$target")" -runs=0 "$opt_found" \
            >"$target.replay.log" 2>&1); then
      result="FAILED under AddressSanitizer (see build/fuzz-asan/fuzz/$target.replay.log)"
      failed=1
    fi
  fi
  rate=$(awk -v n="${inputs:-0}" -v t="$elapsed" 'BEGIN {print n / t}')
  if [[ $result == passed ]] && awk -v r="$rate" -v m="$min_rate" 'BEGIN {exit !(r < m)}'; then
    result="FAILED (fewer than $min_rate inputs a second)"
    failed=1
  fi
  (( found == 0 )) || { result="FAILED ($found crash inputs in build/$preset/fuzz)"; failed=1; }
  printf '%-24s %-9s %10s %9.0f %13s %13s %7s %6s  %s\n' "$target" "$preset" "${inputs:-?}" \
    "$rate" "$cov0->$cov1" "$ft0->$ft1" "$found" "$load" "$result"
done
echo "load average (1, 5, 15 minutes) at the end: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, nice $niceness"
exit $failed
