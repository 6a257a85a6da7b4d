#!/usr/bin/env bash
# vtp-convert with two conversions at once against one at a time, in one run.
#
#   bench/cli/run.sh [build folder]
#
# Converts 8 short clips (6 s, 640x360 H.264+AAC) to MP4 at "Normal Quality",
# first with -j 1 and then with -j 2, taking turns REPEAT times (default 3).
# Prints the median wall time of each and the ratio -j 2 / -j 1 (lower is better;
# on 2 cores it cannot go below 0.5, and evc already uses a second thread for
# encoding, so expect well above that).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build}"
cli="$build/vtp-convert"
out="${OUT:-$root/bench/out/cli}"
repeat="${REPEAT:-3}"
mkdir -p "$out/src"

[ -x "$cli" ] || { echo "no vtp-convert at $cli; build first" >&2; exit 1; }

clips=()
for i in 1 2 3 4 5 6 7 8; do
  f="$out/src/clip$i.mp4"
  if [ ! -s "$f" ]; then
    ffmpeg -nostdin -hide_banner -loglevel error -y \
      -f lavfi -i "testsrc2=size=640x360:rate=30:duration=6,noise=alls=8:allf=t" \
      -f lavfi -i "sine=frequency=$((300 + i * 50)):sample_rate=48000:duration=6" \
      -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p -c:a aac -b:a 128k "$f.part.mp4"
    mv "$f.part.mp4" "$f"
  fi
  clips+=("$f")
done

config="$(mktemp -d)"
trap 'rm -rf "$config" "$out/run"' EXIT

run() {  # jobs -> wall seconds
  rm -rf "$out/run"
  local TIMEFORMAT='%R' t
  t=$( { time "$cli" --config "$config" -o "$out/run" -q 2 -j "$1" "${clips[@]}" >/dev/null 2>&1; } 2>&1 | tail -1)
  [ "$(ls "$out/run" | wc -l)" -eq 8 ] || { echo "a conversion failed with -j $1" >&2; exit 1; }
  echo "$t"
}

one=() two=()
for _ in $(seq "$repeat"); do
  one+=("$(run 1)")
  two+=("$(run 2)")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
m1=$(median "${one[@]}")
m2=$(median "${two[@]}")
echo "8 clips, -j 1: ${m1} s   -j 2: ${m2} s   ratio -j 2 / -j 1: $(echo "scale=3; $m2 / $m1" | bc -l | sed 's/^\./0./')"
