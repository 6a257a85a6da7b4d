#!/usr/bin/env bash
# Start-up to a ready main window against the number of stored custom profiles.
#   bench/settings/run.sh [BUILD_DIR] [RUNS] [COUNTS...]
# Prints the median milliseconds for each count and the time per 1,000 profiles
# above the empty file, which stays flat when start-up is linear in the count.
# Uses the X server in $DISPLAY, or starts Xvfb when there is none.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${2:-3}
shift $(($# > 2 ? 2 : $#))
COUNTS=("$@")
[ ${#COUNTS[@]} -gt 0 ] || COUNTS=(0 4000 16000)
BENCH="$BUILD/bench/app_startup_bench"
[ -x "$BENCH" ] || { echo "build app_startup_bench first (ninja -C $BUILD app_startup_bench)"; exit 1; }

WORK=$(mktemp -d)
# shellcheck source=../xvfb.sh
. "$(dirname "${BASH_SOURCE[0]}")/../xvfb.sh"
cleanup() { [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
start_xvfb 93

PROGRAM="$WORK/program"
mkdir -p "$PROGRAM/Config"
for f in video-to-plim-converter Res.so Form.so Help.html; do cp "$BUILD/$f" "$PROGRAM/"; done

# The profile file as the Options dialog's Add writes it, COUNT profiles long.
write_profiles() {
  awk -v n="$1" 'BEGIN { for (i = 1; i <= n; i++) printf "\r\n[UserProfileInfo%d]\r\nUserProfileInfo%d=1|1|2|5|1|2\r\n", i, i }' \
    >"$PROGRAM/Config/UserProfileInfo.ini"
}

# Milliseconds from the start of the process to its "ready" line.
measure() {
  local start end line
  start=$(date +%s%N)
  while IFS= read -r line; do
    if [ "$line" = "ready" ]; then end=$(date +%s%N); echo $(((end - start) / 1000000)); return; fi
  done < <(HOME="$WORK" "$BENCH" app "$PROGRAM" 2>/dev/null)
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

base=""
for count in "${COUNTS[@]}"; do
  write_profiles "$count"
  ms=$(for _ in $(seq "$RUNS"); do measure; done | median)
  [ -n "$base" ] || base=$ms
  if [ "$count" -gt 0 ]; then
    per=$(awk "BEGIN{printf \"%.1f\", ($ms - $base) * 1000 / $count}")
    echo "profiles $count: start-up ${ms} ms (${per} ms per 1,000 profiles above the first count)"
  else
    echo "profiles $count: start-up ${ms} ms"
  fi
done
