#!/usr/bin/env bash
# Runs the test programs of a native build (all, or the ones named) under
# Valgrind's memcheck, one at a time, with each test's own arguments,
# folder and environment. Any
# memory error, and any leak (definitely, indirectly or possibly lost),
# fails the run; nothing of the library's own is suppressed (memcheck.supp
# holds one report about the system's dynamic loader). Tests that are not
# programs of the build (the install-consumer test runs CMake) are skipped.
#
#   scripts/memcheck.sh [BUILD_DIR [TEST...]]      (default build/native, every test)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/native}")
shift || true
logs="$build/memcheck"
mkdir -p "$logs"

ctest --test-dir "$build" --show-only=json-v1 | /usr/bin/python3 -c '
import json, os, subprocess, sys, time

build, logs, only = sys.argv[1], sys.argv[2], set(sys.argv[3:])
valgrind = ["valgrind", "--tool=memcheck", "--error-exitcode=99", "--leak-check=full",
            "--show-leak-kinds=definite,indirect,possible",
            "--errors-for-leak-kinds=definite,indirect,possible", "--track-origins=yes",
            "--num-callers=40", "--suppressions=" + os.path.abspath("scripts/memcheck.supp"),
            # Programs that replace operator new (to fail it) keep their own.
            "--soname-synonyms=somalloc=nouserintercepts"]
failed = []
for test in json.load(sys.stdin)["tests"]:
    name, command = test["name"], test.get("command", [])
    if only and name not in only:
        continue
    if not command or not command[0].startswith(build + "/"):
        print(f"  {name:34} skipped (not a program of the build)")
        continue
    properties = {p["name"]: p["value"] for p in test.get("properties", [])}
    env = dict(os.environ)
    for setting in properties.get("ENVIRONMENT", []):
        key, _, value = setting.partition("=")
        env[key] = value
    log = os.path.join(logs, name + ".log")
    start = time.time()
    result = subprocess.run(valgrind + ["--log-file=" + log] + command,
                            cwd=properties.get("WORKING_DIRECTORY", os.path.dirname(command[0])),
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    with open(log) as f:
        summary = [l.split("== ", 1)[-1].strip() for l in f if "ERROR SUMMARY" in l]
    verdict = "passed" if result.returncode == 0 else f"FAILED (exit {result.returncode}, {log})"
    last = summary[-1] if summary else "no summary"
    print(f"  {name:34} {time.time() - start:7.1f} s  {last}  {verdict}")
    if result.returncode != 0:
        failed.append(name)
if failed:
    sys.exit("memcheck failed: " + " ".join(failed))
print("memcheck: no errors, no leaks")
' "$build" "$logs" "$@"
