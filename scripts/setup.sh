#!/usr/bin/env bash
# Installs everything the project needs to build, run, test and benchmark, on
# Debian 12 (bookworm) or Debian 13 (trixie). Safe to run again: packages
# already present are skipped.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-multimedia-dev libqt6multimedia6 libgl-dev
  libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libswresample-dev libavutil-dev
  libjpeg62-turbo-dev
  libgtest-dev libgmock-dev
  ffmpeg
  xvfb xauth x11-utils imagemagick
  fonts-dejavu-core xdg-utils
  clang-format
  libsystemd-dev dbus-daemon python3-dbusmock
  at-spi2-core python3-pyatspi openbox xdotool
  desktop-file-utils appstream lintian dpkg-dev man-db
  parallel
)

# What differs between the releases.
release=""
if [ -r /etc/os-release ]; then
  release=$(. /etc/os-release && echo "${ID:-}:${VERSION_ID:-}")
fi
case "$release" in
  debian:12)
    # Qt 6.4 plays the preview through GStreamer, which needs its plugins for
    # the source formats.
    packages+=(gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav)
    ;;
  debian:13)
    # Qt 6.8 plays through its FFmpeg back end, part of libqt6multimedia6.
    ;;
  *)
    echo "setup: made for Debian 12 or 13; this is ${release:-an unknown system}, trying the Debian 13 packages" >&2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
