#!/usr/bin/env bash
# evc against Debian's ffmpeg, measured side by side in one run.
#
#   bench/encoder/run.sh [build folder]
#
# Prints four ratios (lower is better):
#   1. 60 s 1280x720 H.264+AAC to MP4, "Normal Quality": evc time / ffmpeg time   (aim <= 1.0)
#   2. the same source to MP3, "Normal Quality":         evc time / ffmpeg time   (aim <= 1.0)
#   3. last 10 s of a 10-minute source / the whole file, both by evc             (aim <= 0.05)
#   4. conversion (1) / decoding the source alone to nothing                     (aim <= 1.3)
#
# Both tools run with automatic thread counts for decoders and encoders
# (evc sets thread_count 0; ffmpeg gets -threads 0 on input and output).
# Each figure is the median of REPEAT runs (default 3; SHORT_REPEAT, default 15,
# for the sub-second MP3 runs), evc and ffmpeg taking turns; CPU time (user + system) is printed beside the wall time because a
# shared machine makes wall time noisy. Sources are made once into
# bench/out/encoder and reused.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build}"
evc="$build/evc"
out="${OUT:-$root/bench/out/encoder}"
repeat="${REPEAT:-3}"
short_repeat="${SHORT_REPEAT:-15}"
mkdir -p "$out"

if [ ! -x "$evc" ]; then
  echo "no evc at $evc; build first (ninja -C build evc)" >&2
  exit 1
fi

ff=(ffmpeg -nostdin -hide_banner -loglevel error -y)

make_source() {  # name duration size
  local file="$out/$1"
  if [ ! -s "$file" ]; then
    echo "making $1 ($2 s, $3)..." >&2
    # Noise keeps the picture from being trivially compressible, like real footage.
    "${ff[@]}" -f lavfi -i "testsrc2=size=$3:rate=30:duration=$2,noise=alls=10:allf=t" \
      -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$2" \
      -c:v libx264 -preset veryfast -crf 23 -g 60 -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 "$file.part.mp4"
    mv "$file.part.mp4" "$file"
  fi
  echo "$file"
}

# "wall cpu" seconds of a command (cpu: user + system of it and its threads),
# its output discarded.
measure() {
  local TIMEFORMAT='%R %U %S' line
  line=$( { time "$@" >/dev/null 2>&1; } 2>&1 | tail -1)
  awk '{printf "%.3f %.3f\n", $1, $2 + $3}' <<<"$line"
}

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ratio() { echo "scale=3; $1 / $2" | bc -l | sed 's/^\./0./'; }

# Adds one run of a command to the figures kept under a key.
declare -A wall_runs cpu_runs
record() {  # key command...
  local key=$1
  shift
  local result
  result=$(measure "$@")
  wall_runs[$key]+="${result% *} "
  cpu_runs[$key]+="${result#* } "
}
wall() { median ${wall_runs[$1]}; }
cpu() { median ${cpu_runs[$1]}; }

src60="$(make_source src_720p_60s.mp4 60 1280x720)"
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
src600="$(make_source src_360p_600s.mp4 600 640x360)"

normal_mp4=(-vcodec mpeg4 -acodec aac -b 768 -s 320x240 -r 15 -aspect 4:3 -ab 128 -vol 200 -ac 2 -ar 44100)
normal_mp4_ff=(-vcodec mpeg4 -acodec aac -b:v 768k -s 320x240 -r 15 -aspect 4:3 -b:a 128k -vol 200 -ac 2 -ar 44100)
normal_mp3=(-acodec mp3 -vn -ab 128 -vol 200 -ac 1 -ar 22050)
normal_mp3_ff=(-acodec libmp3lame -vn -b:a 128k -vol 200 -ac 1 -ar 22050)

for ((i = 1; i <= repeat; i++)); do
  echo "round $i of $repeat..." >&2
  record evc_mp4 "$evc" -y -i "$src60" "${normal_mp4[@]}" "$out/evc.mp4"
  record ffmpeg_mp4 "${ff[@]}" -threads 0 -i "$src60" "${normal_mp4_ff[@]}" -threads 0 "$out/ffmpeg.mp4"
  record decode "${ff[@]}" -threads 0 -i "$src60" -f null -
  record tail "$evc" -y -i "$src600" "${normal_mp4[@]}" -ss 00:09:50 -t 10 "$out/evc_tail.mp4"
done
# Sound-only runs last a fraction of a second, so they are taken more often.
for ((i = 1; i <= short_repeat; i++)); do
  record evc_mp3 "$evc" -y -i "$src60" "${normal_mp3[@]}" "$out/evc.mp3"
  record ffmpeg_mp3 "${ff[@]}" -threads 0 -i "$src60" "${normal_mp3_ff[@]}" -threads 0 "$out/ffmpeg.mp3"
done
# The whole 10 minutes once: against a ratio near 0.02 its spread does not matter.
echo "whole 10-minute file..." >&2
record whole "$evc" -y -i "$src600" "${normal_mp4[@]}" "$out/evc_whole.mp4"

for file in evc.mp4 evc.mp3 evc_tail.mp4 evc_whole.mp4; do
  [ -s "$out/$file" ] || { echo "evc failed to write $file" >&2; exit 1; }
done

echo "threads: automatic for decoders and encoders in both tools; $(nproc) cores; load before: $load_before"
echo "median of $repeat runs ($short_repeat for MP3); wall-clock ratios are the figures, CPU-time ratios show the work done"
row() {  # label a b aim
  printf '%-32s %7.2f s / %7.2f s  wall ratio %-6s (aim <= %s)   cpu %6.2f s / %6.2f s  ratio %s\n' \
    "$1" "$(wall "$2")" "$(wall "$3")" "$(ratio "$(wall "$2")" "$(wall "$3")")" "$4" \
    "$(cpu "$2")" "$(cpu "$3")" "$(ratio "$(cpu "$2")" "$(cpu "$3")")"
}
row "1. MP4 Normal, evc/ffmpeg" evc_mp4 ffmpeg_mp4 1.0
row "2. MP3 Normal, evc/ffmpeg" evc_mp3 ffmpeg_mp3 1.0
row "3. last 10 s / whole 10 min" tail whole 0.05
row "4. MP4 Normal / decoding only" evc_mp4 decode 1.3
