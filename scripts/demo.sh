#!/usr/bin/env bash
# The main job: builds the native library and prints the wavelength scale of
# an uncalibrated diode array through it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh --native >/dev/null
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target lumitra-table >/dev/null
exec build/native/bin/lumitra-table "$@"
