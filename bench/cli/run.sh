#!/usr/bin/env bash
# vtp-convert against the bare encoder, and two conversions at once against one
# at a time, in one run.
#
#   bench/cli/run.sh [build folder]
#
# 1. Per-file cost: vtp-convert on one 1 s clip against evc alone on it with the
#    command vtp-convert would run (from --dry-run), PAIRS times in turn (default
#    15); medians of wall time and of CPU time (user + system, children
#    included). Aim: vtp-convert within 1.15x evc.
# 2. -j 2 against -j 1 over CLIPS one-second clips (default 100), taking turns
#    REPEAT times (default 3); median wall times and the ratio (aim <= 0.55 on
#    2 cores; it cannot go below 0.5).
# Clips are made once into bench/out/cli and reused.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build}"
cli="$build/vtp-convert"
out="${OUT:-$root/bench/out/cli}"
repeat="${REPEAT:-3}"
pairs="${PAIRS:-15}"
count="${CLIPS:-100}"
mkdir -p "$out/src"

[ -x "$cli" ] || { echo "no vtp-convert at $cli; build first" >&2; exit 1; }

clips=()
for i in $(seq "$count"); do
  f="$out/src/clip$i.mp4"
  if [ ! -s "$f" ]; then
    ffmpeg -nostdin -hide_banner -loglevel error -y \
      -f lavfi -i "testsrc2=size=640x360:rate=30:duration=1,noise=alls=8:allf=t" \
      -f lavfi -i "sine=frequency=$((300 + i * 5)):sample_rate=48000:duration=1" \
      -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p -c:a aac -b:a 128k "$f.part.mp4"
    mv "$f.part.mp4" "$f"
  fi
  clips+=("$f")
done

config="$(mktemp -d)"
trap 'rm -rf "$config" "$out/run"' EXIT

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ratio() { echo "scale=3; $1 / $2" | bc -l | sed 's/^\./0./'; }
# "wall cpu" seconds of a command, its output discarded.
measure() {
  local TIMEFORMAT='%R %U %S' line
  line=$( { time "$@" >/dev/null 2>&1; } 2>&1 | tail -1)
  awk '{printf "%.3f %.3f\n", $1, $2 + $3}' <<<"$line"
}

# 1. The command vtp-convert runs for the first clip, run by hand.
rm -rf "$out/run"
mapfile -t encoder < <("$cli" --config "$config" -o "$out/run" -q 2 --dry-run "${clips[0]}" | grep -v '^#' |
  xargs -n 1 printf '%s\n')
cli_wall=() cli_cpu=() evc_wall=() evc_cpu=()
for _ in $(seq "$pairs"); do
  rm -rf "$out/run"
  read -r w c < <(measure "$cli" --config "$config" -o "$out/run" -q 2 "${clips[0]}")
  cli_wall+=("$w") cli_cpu+=("$c")
  rm -rf "$out/run" && mkdir -p "$out/run"
  read -r w c < <(measure "${encoder[@]}")
  evc_wall+=("$w") evc_cpu+=("$c")
  [ -s "$out/run/$(basename "${clips[0]}")" ] || { echo "evc failed" >&2; exit 1; }
done
cw=$(median "${cli_wall[@]}") cc=$(median "${cli_cpu[@]}") ew=$(median "${evc_wall[@]}") ec=$(median "${evc_cpu[@]}")
echo "1 s clip, median of $pairs pairs: vtp-convert ${cw} s wall / ${cc} s cpu, evc ${ew} s wall / ${ec} s cpu;" \
  "ratio wall $(ratio "$cw" "$ew"), cpu $(ratio "$cc" "$ec") (aim <= 1.15)"

# 2. Many short clips.
run() {  # jobs -> wall seconds
  rm -rf "$out/run"
  local TIMEFORMAT='%R' t
  t=$( { time "$cli" --config "$config" -o "$out/run" -q 2 -j "$1" "${clips[@]}" >/dev/null 2>&1; } 2>&1 | tail -1)
  [ "$(ls "$out/run" | wc -l)" -eq "$count" ] || { echo "a conversion failed with -j $1" >&2; exit 1; }
  echo "$t"
}
one=() two=()
for _ in $(seq "$repeat"); do
  one+=("$(run 1)")
  two+=("$(run 2)")
done
m1=$(median "${one[@]}")
m2=$(median "${two[@]}")
echo "$count clips of 1 s, median of $repeat: -j 1 ${m1} s, -j 2 ${m2} s; ratio -j 2 / -j 1 $(ratio "$m2" "$m1") (aim <= 0.55)"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
