#!/usr/bin/env bash
# Starts the program under a virtual X server and saves screenshots for a
# person to look at: the splash and the main window of the real program, then
# (through the screenshot driver) the main window with rows, the trim bar naming
# the rows a marker drag writes, the Options dialog
# and the progress window in the middle of a conversion, then the status column;
# the driver's set again at twice the scale in OUTPUT_DIR/2x.
#   scripts/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]
# Needs xvfb and imagemagick (scripts/setup.sh installs them) and a built tree.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=${2:-$BUILD/screenshots}
BUILD=$(cd "$BUILD" && pwd)
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

for tool in Xvfb import ffmpeg; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (run scripts/setup.sh)"; exit 1; }
done
[ -x "$BUILD/video-to-plim-converter" ] || { echo "screenshots: build the program first (make build)"; exit 1; }

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

# A virtual X server of the given size on a free display number; DISPLAY names it.
DISPLAY_NUMBER=77
start_x() {
  while [ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] || [ -e "/tmp/.X$DISPLAY_NUMBER-lock" ] ||
    xdpyinfo -display ":$DISPLAY_NUMBER" >/dev/null 2>&1; do
    DISPLAY_NUMBER=$((DISPLAY_NUMBER + 1))
  done
  Xvfb ":$DISPLAY_NUMBER" -screen 0 "$1" -nolisten tcp >/dev/null 2>&1 &
  PIDS+=($!)
  export DISPLAY=":$DISPLAY_NUMBER"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}
start_x 1100x760x24

# A program folder of our own, so the user's settings are not touched.
PROGRAM="$WORK/program"
mkdir -p "$PROGRAM/Config"
for f in video-to-plim-converter Res.so Form.so Help.html evc revc; do
  [ -e "$BUILD/$f" ] && cp "$BUILD/$f" "$PROGRAM/"
done

# 1. The real program: its splash, then its main window.
HOME="$WORK" "$PROGRAM/video-to-plim-converter" >"$WORK/program.log" 2>&1 &
APP=$!
PIDS+=($APP)
sleep 1.0
import -window root "$OUT/0-program-splash.png"
sleep 2.5
import -window root "$OUT/0-program-main-window.png"
kill "$APP" 2>/dev/null || true

# 2. The driver: rows, the Options dialog, a conversion.
MEDIA="$WORK/media"
mkdir -p "$MEDIA"
ffmpeg -v error -f lavfi -i testsrc=size=640x480:rate=25:duration=40 -f lavfi -i sine=frequency=440:duration=40 \
  -c:v mpeg4 -c:a mp3 -shortest "$MEDIA/holiday clip.avi"
ffmpeg -v error -f lavfi -i smptebars=size=320x240:rate=25:duration=5 -f lavfi -i sine=frequency=660:duration=5 \
  -c:v mpeg1video -c:a mp2 -shortest "$MEDIA/concert.mpg"
ffmpeg -v error -f lavfi -i mandelbrot=size=320x240:rate=25 -t 6 -c:v mpeg4 "$MEDIA/fractal.mov"
# The encoder under a name of our own, so the conversion waits for and could
# end only the processes this script started.
SHOT_NAME=""
if [ -x "$BUILD/evc" ]; then
  SHOT_NAME=vtshotevc
  cp "$BUILD/evc" "$PROGRAM/$SHOT_NAME"
  [ -x "$BUILD/revc" ] && cp "$BUILD/revc" "$PROGRAM/r$SHOT_NAME"
else
  echo "screenshots: no encoder built yet, no progress window"
fi
HOME="$WORK" VTPC_SHOT_ENCODER_NAME="$SHOT_NAME" "$BUILD/tools/vtpc_screenshot_tool" "$PROGRAM" "$OUT" \
  "$MEDIA/holiday clip.avi" "$MEDIA/concert.mpg" "$MEDIA/fractal.mov"
# 3. The same at twice the scale, as on a HiDPI screen, on a screen twice the size.
start_x 2200x1520x24
mkdir -p "$OUT/2x"
rm -rf "$PROGRAM/Config" && mkdir -p "$PROGRAM/Config"
HOME="$WORK" QT_SCALE_FACTOR=2 VTPC_SHOT_ENCODER_NAME="$SHOT_NAME" "$BUILD/tools/vtpc_screenshot_tool" "$PROGRAM" \
  "$OUT/2x" "$MEDIA/holiday clip.avi" "$MEDIA/concert.mpg" "$MEDIA/fractal.mov"
# The README's picture (docs/main-window.png): the main window with rows, without the screen around it.
convert "$OUT/2-main-window.png" -bordercolor black -border 1 -trim +repage -strip "$OUT/readme-main-window.png"
echo "screenshots in $OUT"
