#!/usr/bin/env bash
# The main job: builds the native library and runs `lumitra demo`: a
# simulated detector out of calibration fails the deuterium/holmium and
# deuterium/mercury checks with the default record, is calibrated, and passes
# them. Prints the report; the figure goes to build/demo/lumitra-demo.png.
# Options are passed to `lumitra demo` (see `python/bin/lumitra demo --help`).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh --native >/dev/null
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target lumitra >/dev/null
mkdir -p build/demo
export LUMITRA_LIBRARY="$PWD/build/native/bin/liblumitra.so"
export PYTHONDONTWRITEBYTECODE=1
exec /usr/bin/python3 python/bin/lumitra demo --out build/demo/lumitra-demo.png "$@"
