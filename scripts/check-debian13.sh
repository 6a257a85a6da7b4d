#!/usr/bin/env bash
# Builds and tests the current commit on Debian 13 (trixie), as a new user
# would: a fresh clone in a minimal Debian 13 root, then the README's
#   ./scripts/setup.sh && make test && make deb
# and a look at the package's name and dependencies. The exit status is that
# command's, or 1 when the package is not Debian 13's.
#
# The root is made with debootstrap from the mirror this machine's own apt
# sources name, and kept between runs (packages stay installed, compiles stay
# in its ccache), by default in /var/cache/vtpc-debian13; VTPC_DEBIAN13_DIR
# names another folder. Needs root: it uses debootstrap, chroot and mount.
# Only committed work is tested.
set -euo pipefail

suite=trixie
repo=$(cd "$(dirname "$0")/.." && pwd)
self="$repo/scripts/$(basename "$0")"
cache=${VTPC_DEBIAN13_DIR:-/var/cache/vtpc-debian13}

say() { echo "check-debian13: $*" >&2; }

if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=VTPC_DEBIAN13_DIR "$self" "$@"
fi
case "$cache" in
  /?*) ;;
  *) say "VTPC_DEBIAN13_DIR must be an absolute folder, not \"$cache\"" && exit 2 ;;
esac
cache=${cache%/}
root="$cache/root"

# In a mount namespace of its own, the mounts below vanish with this script
# even when it is killed outright; the trap undoes them on any other exit.
if [ -z "${VTPC_CHECK_NAMESPACE:-}" ]; then
  exec env VTPC_CHECK_NAMESPACE=1 unshare --mount --propagation private "$self" "$@"
fi

mkdir -p "$cache"
exec 9>"$cache/lock"
if ! flock -n 9; then
  say "another check is using $cache"
  exit 2
fi

# The first mirror of the main archive in this machine's apt sources, in either
# format: one-line (*.list, sources.list) or deb822 (*.sources).
host_mirrors() {
  local file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$file" ] || continue
    # deb [options] URI suite components...
    sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$file" | awk '$1 == "deb" && NF >= 3 { print $2, $3 }'
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -r "$file" ] || continue
    awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && enabled !~ /^[Nn]o/)
          for (u = 1; u <= nu; ++u) for (s = 1; s <= ns; ++s) print uris[u], suites[s]
        types = ""; enabled = ""; nu = 0; ns = 0
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      {
        field = tolower($1); sub(/:$/, "", field); $1 = ""
        if (field == "types") types = $0
        else if (field == "enabled") { enabled = $0; sub(/^ +/, "", enabled) }
        else if (field == "uris") nu = split($0, uris, " ")
        else if (field == "suites") ns = split($0, suites, " ")
      }
      END { flush() }' "$file"
  done
}
mirror=""
security=""
# Only Debian's own suites count: other vendors' sources name theirs.
debian_suites="bullseye|bookworm|trixie|forky|sid|oldoldstable|oldstable|stable|testing|unstable"
while read -r uri dist; do
  if [[ $dist =~ ^($debian_suites)$ ]]; then
    [ -n "$mirror" ] || mirror=$uri
  elif [[ $dist =~ ^($debian_suites)-security$ ]]; then
    [ -n "$security" ] || security=$uri
  fi
done < <(host_mirrors | grep -E '^(https?|ftp)://')
if [ -z "$mirror" ]; then
  say "no Debian mirror named in /etc/apt/sources.list or /etc/apt/sources.list.d/"
  exit 2
fi

mounted=()
cleanup() {
  # Whatever still runs inside the root (a hung test, a helper daemon) holds
  # its mounts: it ends first.
  local signal pid
  for signal in TERM KILL; do
    for pid in /proc/[0-9]*; do
      [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && kill "-$signal" "${pid#/proc/}" 2>/dev/null
    done
    [ "$signal" = TERM ] && sleep 1
  done
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; --i)); do
    umount "${mounted[i]}" 2>/dev/null || umount --lazy "${mounted[i]}" || true
  done
  mounted=()
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

attach() {  # attach MOUNT-ARGS... TARGET
  local target=${*: -1}
  mkdir -p "$target"
  mount "$@"
  mounted+=("$target")
}

# Nothing may still be mounted below the root before it is removed or used.
if grep -q " $root/" /proc/self/mounts; then
  say "something is still mounted below $root; unmount it first"
  exit 2
fi

started=$SECONDS
if [ ! -e "$root/.vtpc-ready" ]; then
  if ! command -v debootstrap >/dev/null; then
    say "installing debootstrap"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -qq debootstrap >/dev/null || { apt-get update -qq && apt-get install -y -qq debootstrap >/dev/null; }
  fi
  # A root left half made by an interrupted run is started over.
  rm -rf --one-file-system "$root"
  say "making a Debian 13 root in $root from $mirror"
  # ccache keeps the compiles of one run for the next.
  debootstrap --variant=minbase --include=ca-certificates,ccache "$suite" "$root" "$mirror" >"$cache/debootstrap.log" ||
    {
      say "debootstrap failed; see $cache/debootstrap.log"
      exit 2
    }
  touch "$root/.vtpc-ready"
  say "root made in $((SECONDS - started)) s"
fi

{
  echo "deb $mirror $suite main"
  echo "deb $mirror $suite-updates main"
  [ -z "$security" ] || echo "deb $security $suite-security main"
} >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# Packages installed in a root start no services.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

attach -t proc proc "$root/proc"
attach -t sysfs sysfs "$root/sys"
attach --bind /dev "$root/dev"
attach --bind /dev/pts "$root/dev/pts"
attach -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
attach -t tmpfs -o mode=1777 tmpfs "$root/tmp"
attach -t tmpfs -o mode=755 tmpfs "$root/run"

commit=$(git -C "$repo" rev-parse HEAD)
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
  say "uncommitted changes are not part of the check"
fi
source_dir=/root/vtpc
rm -rf --one-file-system "${root:?}$source_dir"
git clone -q --no-checkout "$repo" "$root$source_dir"
git -C "$root$source_dir" checkout -q --detach "$commit" 2>/dev/null ||
  { git -C "$root$source_dir" fetch -q origin "$commit" && git -C "$root$source_dir" checkout -q --detach "$commit"; }
say "testing $(git -C "$repo" log -1 --format='%h %s' "$commit")"

# A clean environment: nothing of this machine's session (display, buses) leaks in.
status=0
chroot "$root" /usr/bin/env -i HOME=/root USER=root LOGNAME=root LANG=C.UTF-8 \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR=/var/cache/ccache \
  bash -c "cd $source_dir && ./scripts/setup.sh && make test && make deb" &
wait $! || status=$?
# The package make deb left: named for Debian 13, and without GStreamer, which
# Qt 6.8 does not play through.
if [ "$status" -eq 0 ]; then
  deb=$(find "$root$source_dir/build/deb" -maxdepth 1 -name 'video-to-plim-converter_*-1~deb13_amd64.deb' | head -n 1)
  if [ -z "$deb" ]; then
    say "make deb made no package named for Debian 13: $(ls "$root$source_dir/build/deb")"
    status=1
  elif dpkg-deb -f "$deb" Depends Recommends | grep -i gstreamer; then
    say "the Debian 13 package names GStreamer"
    status=1
  else
    say "package $(basename "$deb"), depends: $(dpkg-deb -f "$deb" Depends)"
  fi
fi
say "Debian 13 step: status $status after $((SECONDS - started)) s"
exit "$status"
