#!/usr/bin/env bash
# Builds and runs the source-list benchmarks: the probe per file against
# ffprobe, then adding 2,000 and 10,000 files through the window models.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD:-build}
cmake -S . -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD" -j 2 --target bench_sources_probe bench_sources_adding
"$BUILD"/bench/bench_sources_probe "${1:-200}"
"$BUILD"/bench/bench_sources_adding 2000 10000
