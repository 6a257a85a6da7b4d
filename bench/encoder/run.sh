#!/usr/bin/env bash
# evc against Debian's ffmpeg, measured side by side in one run.
#
#   bench/encoder/run.sh [build folder]
#
# On a heavy source (60 s 1280x720 H.264 at 16 Mbit/s, mostly P-pictures, so
# the rate conversion can skip little) and a light one (60 s 640x480 MPEG-4
# Visual, as older phones and cameras write), converted to MP4 "Normal Quality"
# (320x240, 15 fps), it prints (lower is better):
#   - evc / ffmpeg converting the same way                                       (aim <= 1.0)
#   - evc / ffmpeg only decoding the source (-f null -)                          (aim <= 0.9)
#   - on the heavy source, ffmpeg decoding without the deblocking filter / decoding:
#     the least an H.264 decoder that keeps every picture can do
#   - with BASELINE=/path/to/an/older/evc: evc / that evc
# and the PSNR and SSIM of each output against the source scaled and
# rate-converted the same way, so that decoding less can be seen to cost no
# quality. Then (QUICK=1 skips them):
#   - the same heavy source to MP3, "Normal Quality": evc / ffmpeg              (aim <= 1.0)
#   - last 10 s of a 10-minute source / the whole file, both by evc             (aim <= 0.05)
#
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

make_source() {  # name duration size video-options...
  local file="$out/$1" duration=$2 size=$3
  shift 3
  if [ ! -s "$file" ]; then
    echo "making $(basename "$file") ($duration s, $size)..." >&2
    # Noise keeps the picture from being trivially compressible, like real footage.
    "${ff[@]}" -f lavfi -i "testsrc2=size=$size:rate=30:duration=$duration,noise=alls=10:allf=t" \
      -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$duration" \
      "$@" -g 60 -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 "$file.part.mp4"
    mv "$file.part.mp4" "$file"
  fi
  echo "$file"
}
x264=(-c:v libx264 -preset veryfast)

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

heavy="$(make_source src_720p_60s_16M.mp4 60 1280x720 "${x264[@]}" -b:v 16M -maxrate 16M -bufsize 32M)"
light="$(make_source src_480p_60s_mpeg4.mp4 60 640x480 -c:v mpeg4 -q:v 4)"
quick="${QUICK:-0}"
[ "$quick" = 1 ] || src600="$(make_source src_360p_600s.mp4 600 640x360 "${x264[@]}" -crf 23)"
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
baseline="${BASELINE:-}"
[ -z "$baseline" ] || [ -x "$baseline" ] || { echo "no evc at BASELINE=$baseline" >&2; exit 1; }

normal_mp4=(-vcodec mpeg4 -acodec aac -b 768 -s 320x240 -r 15 -aspect 4:3 -ab 128 -vol 200 -ac 2 -ar 44100)
normal_mp4_ff=(-vcodec mpeg4 -acodec aac -b:v 768k -s 320x240 -r 15 -aspect 4:3 -b:a 128k -vol 200 -ac 2 -ar 44100)
normal_mp3=(-acodec mp3 -vn -ab 128 -vol 200 -ac 1 -ar 22050)
normal_mp3_ff=(-acodec libmp3lame -vn -b:a 128k -vol 200 -ac 1 -ar 22050)

for ((i = 1; i <= repeat; i++)); do
  echo "round $i of $repeat..." >&2
  for src in heavy light; do
    record "evc_$src" "$evc" -y -i "${!src}" "${normal_mp4[@]}" "$out/evc_$src.mp4"
    [ -z "$baseline" ] || record "base_$src" "$baseline" -y -i "${!src}" "${normal_mp4[@]}" "$out/base_$src.mp4"
    record "ffmpeg_$src" "${ff[@]}" -threads 0 -i "${!src}" "${normal_mp4_ff[@]}" -threads 0 "$out/ffmpeg_$src.mp4"
    record "decode_$src" "${ff[@]}" -threads 0 -i "${!src}" -f null -
  done
  # The floor of decoding less on H.264 without dropping pictures: no in-loop
  # deblocking at all (which costs quality the output can see).
  record nolf_heavy "${ff[@]}" -threads 0 -skip_loop_filter all -i "$heavy" -f null -
  [ "$quick" = 1 ] || record tail "$evc" -y -i "$src600" "${normal_mp4[@]}" -ss 00:09:50 -t 10 "$out/evc_tail.mp4"
done
if [ "$quick" != 1 ]; then
  # Sound-only runs last a fraction of a second, so they are taken more often.
  for ((i = 1; i <= short_repeat; i++)); do
    record evc_mp3 "$evc" -y -i "$heavy" "${normal_mp3[@]}" "$out/evc.mp3"
    record ffmpeg_mp3 "${ff[@]}" -threads 0 -i "$heavy" "${normal_mp3_ff[@]}" -threads 0 "$out/ffmpeg.mp3"
  done
  # The whole 10 minutes once: against a ratio near 0.02 its spread does not matter.
  echo "whole 10-minute file..." >&2
  record whole "$evc" -y -i "$src600" "${normal_mp4[@]}" "$out/evc_whole.mp4"
fi

for file in evc_heavy.mp4 evc_light.mp4; do
  [ -s "$out/$file" ] || { echo "evc failed to write $file" >&2; exit 1; }
done

# "PSNR dB / SSIM" of an output against its source brought to 320x240 at 15
# fps by the same filters; both outputs are judged against the same reference.
quality() {  # output source
  "${ff[@]}" -loglevel info -i "$1" -i "$2" -filter_complex \
    "[1:v]fps=15,scale=320:240,setsar=1[ref];[0:v]setsar=1,split[a][b];[ref]split[r1][r2];[a][r1]psnr;[b][r2]ssim" \
    -f null - 2>&1 | awk '/PSNR/ {for (i = 1; i <= NF; i++) if ($i ~ /^average:/) p = substr($i, 9)}
                          /SSIM/ {for (i = 1; i <= NF; i++) if ($i ~ /^All:/) s = substr($i, 5)}
                          END {printf "%s dB / %s", p, s}'
}

echo "threads: automatic for decoders and encoders in both tools; $(nproc) cores; load before: $load_before"
echo "median of $repeat runs ($short_repeat for MP3); wall-clock ratios are the figures, CPU-time ratios show the work done"
row() {  # label a b aim
  printf '%-34s %7.2f s / %7.2f s  wall ratio %-6s (aim <= %s)   cpu %6.2f s / %6.2f s  ratio %s\n' \
    "$1" "$(wall "$2")" "$(wall "$3")" "$(ratio "$(wall "$2")" "$(wall "$3")")" "$4" \
    "$(cpu "$2")" "$(cpu "$3")" "$(ratio "$(cpu "$2")" "$(cpu "$3")")"
}
for src in heavy light; do
  row "$src: MP4 Normal, evc/ffmpeg" "evc_$src" "ffmpeg_$src" 1.0
  row "$src: evc / decoding only" "evc_$src" "decode_$src" 0.9
  [ -z "$baseline" ] || row "$src: evc / baseline evc" "evc_$src" "base_$src" 1.0
  [ "$src" != heavy ] || row "heavy: no deblocking / decoding" nolf_heavy decode_heavy "-"
  printf '%-32s evc %s   ffmpeg %s' "$src: PSNR / SSIM" "$(quality "$out/evc_$src.mp4" "${!src}")" \
    "$(quality "$out/ffmpeg_$src.mp4" "${!src}")"
  [ -z "$baseline" ] || printf '   baseline evc %s' "$(quality "$out/base_$src.mp4" "${!src}")"
  echo
done
if [ "$quick" != 1 ]; then
  row "MP3 Normal, evc/ffmpeg" evc_mp3 ffmpeg_mp3 1.0
  row "last 10 s / whole 10 min" tail whole 0.05
fi
