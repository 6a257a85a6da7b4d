#!/usr/bin/env bash
# Builds and runs the source-list benchmark; prints per-file times and the ratio.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD:-build}
cmake -S . -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD" -j 2 --target bench_sources_probe
"$BUILD"/bench/bench_sources_probe "${1:-200}"
