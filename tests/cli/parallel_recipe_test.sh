#!/usr/bin/env bash
# The README's GNU parallel recipe, run on this machine alone (--sshlogin :):
# every source gives its output and exactly one JSON record, in list order, and
# a file that cannot be converted gives a failed record and a failed job.
#
#   parallel_recipe_test.sh VTP_CONVERT
set -euo pipefail
cli="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# parallel keeps its state under the home folder; the user's stays untouched.
export HOME="$work/home"
mkdir -p "$HOME" "$work/config" "$work/videos"
cd "$work/videos"

good=("one.mp4" "two words.mp4" "it's.mp4")
for name in "${good[@]}"; do
  ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "testsrc2=size=160x120:rate=15:duration=1.2" \
    -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=1.2" -c:v libx264 -preset ultrafast \
    -pix_fmt yuv420p -c:a aac "$name"
done
echo "not a video" >broken.mp4

set +e
ls *.mp4 | parallel --will-cite --keep-order --sshlogin : \
  --workdir . --transferfile {} --return out/{.}.mp4 --cleanup \
  "$cli" --config "$work/config" --json --quiet -t mp4 -q 2 -o out {} >results.jsonl 2>"$work/stderr.txt"
status=$?
set -e
[ "$status" -eq 1 ] || { echo "parallel exited with $status, not 1 (one failed job)"; cat "$work/stderr.txt"; exit 1; }

for name in "${good[@]}"; do
  [ -s "out/$name" ] || { echo "no output for $name"; exit 1; }
  ffprobe -v error -select_streams v -show_entries stream=width,height -of csv=p=0 "out/$name" | grep -qx "320,240" ||
    { echo "out/$name is no 320x240 video"; exit 1; }
done
[ ! -e out/broken.mp4 ] || { echo "the broken source left an output"; exit 1; }

python3 - "$PWD" <<'PY'
import json, os, sys
folder = sys.argv[1]
expected = sorted(n for n in os.listdir(folder) if n.endswith(".mp4"))  # the order ls gave
records = [json.loads(line) for line in open(os.path.join(folder, "results.jsonl"), encoding="utf-8")]
assert [os.path.basename(r["source"]) for r in records] == expected, records
for r in records:
    name = os.path.basename(r["source"])
    assert r["index"] == 0 and r["source"] == os.path.join(folder, name), r
    if name == "broken.mp4":
        assert r["status"] == "failed" and r["output"] is None and r["reason"] and r["exit_code"] is None, r
    else:
        assert r["status"] == "converted" and r["output"] == os.path.join(folder, "out", name), r
        assert r["exit_code"] == 0 and r["reason"] == "", r
PY
echo "parallel recipe: ${#good[@]} converted, 1 failed, $(wc -l <results.jsonl) records"
