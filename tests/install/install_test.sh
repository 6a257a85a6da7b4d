#!/usr/bin/env bash
# The installed program: `cmake --install` into a temporary prefix, then the
# checks named by the first argument. Run by CTest (label "install").
#   install_test.sh CHECK BUILD_DIR
set -euo pipefail
check=$1
build=$2
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Every path under the prefix with its size and time, to show nothing was written there.
snapshot() { (cd "$prefix" && find . -printf '%p %y %s %T@\n' | sort); }

case $check in
layout)
    # The user commands are relative links into the private program folder.
    for command in video-to-plim-converter vtp-convert; do
        [[ -L $prefix/bin/$command ]] || fail "bin/$command is no link"
        [[ $(readlink "$prefix/bin/$command") == ../lib/video-to-plim-converter/$command ]] ||
            fail "bin/$command points to $(readlink "$prefix/bin/$command")"
    done
    for file in evc revc Res.so Form.so vtp-probe.so Help.html; do
        [[ -f $prefix/lib/video-to-plim-converter/$file ]] || fail "$file is not installed"
    done
    [[ ! -e $prefix/lib/video-to-plim-converter/Config ]] || fail "a Config folder would make it a program folder"
    for file in share/man/man1/video-to-plim-converter.1.gz share/man/man1/vtp-convert.1.gz \
        share/bash-completion/completions/vtp-convert share/icons/hicolor/scalable/apps/video-to-plim-converter.svg \
        share/doc/video-to-plim-converter/copyright share/doc/video-to-plim-converter/changelog.Debian.gz; do
        [[ -f $prefix/$file ]] || fail "$file is not installed"
    done
    ;;
user-data)
    # An ordinary user with an empty home: every XDG folder inside the test's own folder.
    home=$work/home
    mkdir -p "$home" "$work/run" "$work/media"
    chmod 700 "$work/run"
    ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=10:duration=2 -f lavfi -i sine=duration=2 \
        -c:v mpeg4 -c:a mp3 -shortest "$work/media/clip.avi"
    before=$(snapshot)
    run() {
        (cd "$work/media" && env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$work/run" "$@")
    }
    run "$prefix/bin/vtp-convert" clip.avi 2>"$work/err" || fail "vtp-convert failed: $(cat "$work/err")"
    [[ -s "$home/Videos/Video To Plim Converter/clip.mp4" ]] || fail "no output in ~/Videos: $(cat "$work/err")"
    # It only reads the settings: nothing else appears in the home folder.
    [[ $(cd "$home" && find . -mindepth 1 | sort | tr '\n' ' ') == "./Videos ./Videos/Video To Plim Converter ./Videos/Video To Plim Converter/clip.mp4 " ]] ||
        fail "vtp-convert wrote more than its output: $(cd "$home" && find . -mindepth 1)"
    [[ $(stat -c %a "$work/run/video-to-plim-converter") == 700 ]] || fail "the scratch folder is not private"
    [[ -z $(ls -A "$work/run/video-to-plim-converter") ]] || fail "the run left scratch files"

    # The videos folder of user-dirs.dirs, and settings from XDG_CONFIG_HOME.
    mkdir -p "$work/config"
    echo 'XDG_VIDEOS_DIR="$HOME/Filme"' >"$work/config/user-dirs.dirs"
    run XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" "$prefix/bin/vtp-convert" -t mp3 clip.avi \
        2>"$work/err" || fail "vtp-convert failed: $(cat "$work/err")"
    [[ -s "$home/Filme/Video To Plim Converter/clip.mp3" ]] || fail "no output in the user-dirs videos folder"
    mkdir -p "$work/config/video-to-plim-converter"
    printf '[USRInfo]\r\nOutDir=%s\r\n' "$work/chosen" >"$work/config/video-to-plim-converter/UserSettings.ini"
    printf '[Tiny]\r\nTiny=0|0|0|0|0|0\r\n' >"$work/config/video-to-plim-converter/UserProfileInfo.ini"
    run XDG_CONFIG_HOME="$work/config" "$prefix/bin/vtp-convert" -q Tiny clip.avi 2>"$work/err" ||
        fail "vtp-convert with stored settings failed: $(cat "$work/err")"
    [[ -s $work/chosen/clip.mp4 ]] || fail "the stored output folder was not used"

    # The program itself starts from the link, makes its folders and stays up.
    status=0
    run QT_QPA_PLATFORM=offscreen XDG_STATE_HOME="$work/state" timeout 8 \
        "$prefix/bin/video-to-plim-converter" clip.avi >"$work/out" 2>&1 || status=$?
    [[ $status == 124 ]] || fail "the program ended with $status before it was stopped: $(cat "$work/out")"
    [[ -d $work/state/video-to-plim-converter ]] || fail "no log folder in XDG_STATE_HOME"
    [[ -d $home/.config/video-to-plim-converter ]] || fail "no settings folder in ~/.config"

    [[ $(snapshot) == "$before" ]] || fail "something was written under the prefix: $(diff <(echo "$before") <(snapshot))"
    ;;
desktop-entry)
    desktop-file-validate "$prefix"/share/applications/*.desktop
    ;;
metainfo)
    metainfo=$(echo "$prefix"/share/metainfo/*.metainfo.xml)
    appstreamcli validate --no-net "$metainfo"
    # The README's screenshot at its real size, notes for this release, the developer.
    python3 - "$metainfo" "$source/docs/main-window.png" "$source/README.md" <<'PY' || fail "metainfo content"
import struct, sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
image = root.find("screenshots/screenshot[@type='default']/image")
width, height = struct.unpack(">II", open(sys.argv[2], "rb").read()[16:24])
problems = []
if image is None or not image.text.endswith("/docs/main-window.png"):
    problems.append("no default screenshot of docs/main-window.png")
elif (image.get("width"), image.get("height")) != (str(width), str(height)):
    problems.append(f"screenshot size {image.get('width')}x{image.get('height')}, not {width}x{height}")
if "(docs/main-window.png)" not in open(sys.argv[3]).read():
    problems.append("the README shows another picture")
if not root.findall("releases/release[1]/description/ul/li"):
    problems.append("the release has no notes")
if root.find("developer/name") is None or root.find("developer_name") is not None:
    problems.append("the developer is not given as <developer>")
print("\n".join(problems), file=sys.stderr)
sys.exit(1 if problems else 0)
PY
    ;;
command-line)
    # Answered before Qt, so without a display; Qt's options pass, others are
    # refused. No session bus either: no running program may take the files.
    program=$prefix/bin/video-to-plim-converter
    mkdir -m 700 "$work/run"
    check_run() { # EXPECTED-STATUS EXPECTED-OUTPUT-PATTERN COMMAND...
        local expected=$1 pattern=$2 status=0
        shift 2
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/run" \
            "$@" >"$work/out" 2>&1 || status=$?
        [[ $status == "$expected" ]] || fail "$* ended with $status, not $expected: $(cat "$work/out")"
        [[ $(cat "$work/out") =~ $pattern ]] || fail "$*: unexpected output: $(cat "$work/out")"
    }
    check_run 0 '^Usage: video-to-plim-converter \[OPTION\]\.\.\. \[FILE\]\.\.\.' "$program" --help
    check_run 0 '^Usage: ' "$program" clip.avi -h
    check_run 0 '^video-to-plim-converter [0-9]+\.[0-9]+$' "$program" --version
    check_run 2 "^video-to-plim-converter: unknown option '--frobnicate' \(see --help\)$" "$program" --frobnicate
    check_run 2 "^video-to-plim-converter: option '-style' needs a value" "$program" -style
    check_run 1 '^video-to-plim-converter: cannot open the display: [^'$'\n'']+$' "$program" clip.avi
    check_run 1 '^video-to-plim-converter: cannot open the display: could not connect to display :97$' \
        DISPLAY=:97 "$program" -style fusion -- -clip.avi
    ;;
package)
    # The one packing of the suite: the build tree's CPack into a folder of the test's own.
    release=13
    [[ $(. /etc/os-release && echo "$ID:$VERSION_ID") != debian:12 ]] || release=12
    (cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) || fail "cpack: $(cat "$work/cpack.log")"
    deb=$work/deb/video-to-plim-converter_2.0.0.0-1~deb${release}_amd64.deb
    [[ -f $deb ]] || fail "no $(basename "$deb"): $(ls "$work/deb")"
    field() { dpkg-deb -f "$deb" "$1"; }
    [[ $(field Version) == "2.0.0.0-1~deb$release" ]] || fail "version $(field Version)"
    dpkg --compare-versions 2.0.0.0-1~deb13 gt 2.0.0.0-1~deb12 || fail "13's version does not sort above 12's"
    # GStreamer (and qt6-wayland, which 13's Qt recommends itself) only on 12.
    relations="$(field Depends), $(field Recommends)"
    for name in gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav gstreamer1.0-plugins-bad qt6-wayland; do
        if [[ $release == 12 ]]; then
            [[ $relations == *"$name"* ]] || fail "12's package does not name $name: $relations"
        else
            [[ $relations != *"$name"* ]] || fail "13's package names $name: $relations"
        fi
    done
    [[ $(field Depends) == *xdg-utils* && $(field Depends) == *libqt6multimedia6* ]] || fail "depends: $(field Depends)"
    scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -Ev '^\./(control|md5sums)?$' || true)
    [[ -z $scripts ]] || fail "maintainer scripts: $scripts"
    dpkg-deb -c "$deb" | grep '/usr/share/doc/video-to-plim-converter/changelog.Debian.gz$' >/dev/null ||
        fail "no changelog.Debian.gz"
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/video-to-plim-converter/changelog.Debian.gz |
        gunzip >"$work/changelog"
    [[ $(dpkg-parsechangelog -l "$work/changelog" -S Version) == $(field Version) ]] ||
        fail "the changelog names another version"
    # Any warning fails; hardening tags are only informational, so they are looked for.
    lintian --fail-on warning --display-info "$deb" >"$work/lintian" 2>&1 || fail "lintian: $(cat "$work/lintian")"
    ! grep -E 'hardening-|maintscript' "$work/lintian" || fail "lintian: $(cat "$work/lintian")"
    ;;
manual-pages)
    # The check lintian makes: groff must not warn about the text.
    for page in "$prefix"/share/man/man1/*.1.gz; do
        warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
        [[ -z $warnings ]] || fail "$page: $warnings"
    done
    ;;
completion)
    # The completion as bash runs it (the installed vtp-convert on PATH, a home
    # of the test's own), with a settings folder holding one profile. Offers
    # may come escaped or plain: both are compared plain.
    mkdir -p "$work/cfg" "$work/home"
    printf '\r\n[My Travel]\r\nMy Travel=1|5|2|5|1|2\r\n' >"$work/cfg/UserProfileInfo.ini"
    complete_words() {
        HOME=$work/home PATH=$prefix/bin:$PATH bash -c \
            'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _vtp_convert; printf "%s\n" "${COMPREPLY[@]}"' \
            _ "$prefix/share/bash-completion/completions/vtp-convert" "$@" | tr -d '\\'
    }
    offers() { complete_words "$@" | tr '\n' '|'; }
    [[ $(offers vtp-convert --ty) == *--type\|* ]] || fail "options: $(offers vtp-convert --ty)"
    for type in mp4 aac m4a mp3; do
        [[ $(offers vtp-convert -t "") == *"$type"* ]] || fail "output type $type: $(offers vtp-convert -t "")"
    done
    [[ $(offers vtp-convert -t mp) != *aac* ]] || fail "types are not filtered: $(offers vtp-convert -t mp)"
    [[ $(offers vtp-convert -q Sup) == "Superb Quality|" ]] || fail "quality levels: $(offers vtp-convert -q Sup)"
    [[ $(offers vtp-convert -q '"Normal Q') == "Normal Quality|" ]] || fail "a quoted start: $(offers vtp-convert -q '"Normal Q')"
    [[ $(offers vtp-convert --config "$work/cfg" -q My) == *"My Travel"* ]] ||
        fail "profiles: $(offers vtp-convert --config "$work/cfg" -q My)"
    [[ -z $(ls -A "$work/home") ]] || fail "completing wrote into the home folder"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
