#!/usr/bin/env bash
# Start-up to a ready main window and resident memory after adding 100 files,
# for the program and for a minimal Qt Widgets window measured in the same run.
#   bench/app/run.sh [BUILD_DIR] [RUNS]
# Uses the X server in $DISPLAY, or starts Xvfb when there is none.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${2:-7}
BENCH="$BUILD/bench/app_startup_bench"
[ -x "$BENCH" ] || { echo "build app_startup_bench first (ninja -C $BUILD app_startup_bench)"; exit 1; }

WORK=$(mktemp -d)
# shellcheck source=../xvfb.sh
. "$(dirname "${BASH_SOURCE[0]}")/../xvfb.sh"
cleanup() { [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
start_xvfb 83

PROGRAM="$WORK/program"
mkdir -p "$PROGRAM/Config" "$WORK/media"
for f in video-to-plim-converter Res.so Form.so Help.html; do cp "$BUILD/$f" "$PROGRAM/"; done
# 100 one-second clips (one made, the rest copies: the probe reads each file).
ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=15:duration=1.2 -c:v mpeg4 "$WORK/media/clip000.avi"
for i in $(seq -w 1 99); do cp "$WORK/media/clip000.avi" "$WORK/media/clip0$i.avi"; done
FILES=("$WORK"/media/*.avi)

# Milliseconds from the start of the process to its "ready" line, and its rss line.
measure() {
  local start end line ms rss=""
  start=$(date +%s%N)
  ms=""
  while IFS= read -r line; do
    if [ "$line" = "ready" ] && [ -z "$ms" ]; then end=$(date +%s%N); ms=$(((end - start) / 1000000)); fi
    case "$line" in rss_kb*) rss=${line#rss_kb };; esac
  done < <(HOME="$WORK" "$@" 2>/dev/null)
  echo "$ms $rss"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

: >"$WORK/base" ; : >"$WORK/app"
for _ in $(seq "$RUNS"); do
  measure "$BENCH" baseline "${FILES[@]}" >>"$WORK/base"
  measure "$BENCH" app "$PROGRAM" "${FILES[@]}" >>"$WORK/app"
done
b_ms=$(cut -d' ' -f1 "$WORK/base" | median); a_ms=$(cut -d' ' -f1 "$WORK/app" | median)
b_kb=$(cut -d' ' -f2 "$WORK/base" | median); a_kb=$(cut -d' ' -f2 "$WORK/app" | median)
echo "runs: $RUNS (medians), files added: ${#FILES[@]}"
echo "start-up to ready window: program ${a_ms} ms, minimal Qt window ${b_ms} ms, ratio $(awk "BEGIN{printf \"%.2f\", $a_ms/$b_ms}") (aim <= 1.5)"
echo "resident memory after adding: program $((a_kb / 1024)) MB, minimal Qt window $((b_kb / 1024)) MB," \
     "limit 1.5 x baseline + 40 MB = $(awk "BEGIN{printf \"%.0f\", 1.5*$b_kb/1024+40}") MB"
