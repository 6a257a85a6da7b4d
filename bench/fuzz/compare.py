#!/usr/bin/env python3
"""vtp-convert against Debian's ffmpeg on the same damaged files.

    bench/fuzz/compare.py [build folder] [work folder]

Makes 2-second clips of many containers with ffmpeg, damages each the same
way every run (flipped bytes, cuts, zeroed ranges, a chunk written twice,
junk after the end), converts every mutant to MP4 with vtp-convert (--json)
and with ffmpeg, and prints per tool how many converted, failed, or were kept
as partial, and how many files one tool converted that the other did not.
A conversion ffmpeg "converts" to less than half of the source's length is
counted apart, as short.
"""
import json
import os
import random
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
WORK = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "bench", "out", "fuzz")
CLI = os.path.join(BUILD, "vtp-convert")

VIDEO = "testsrc=size=160x120:rate=15:duration=2"
AUDIO = "sine=frequency=440:sample_rate=22050:duration=2"
SEEDS = {
    "avi": ["-c:v", "mpeg4", "-c:a", "mp3"],
    "mp4": ["-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"],
    "mov": ["-c:v", "mpeg4", "-c:a", "aac"],
    "flv": ["-c:v", "flv", "-c:a", "mp3"],
    "mkv": ["-c:v", "mpeg4", "-c:a", "libvorbis"],
    "webm": ["-c:v", "libvpx", "-c:a", "libvorbis"],
    "ogv": ["-c:v", "libtheora", "-c:a", "libvorbis"],
    "mpg": ["-c:v", "mpeg2video", "-c:a", "mp2"],
    "ts": ["-c:v", "mpeg2video", "-c:a", "mp2"],
    "wmv": ["-c:v", "wmv2", "-c:a", "wmav2"],
    "asf": ["-c:v", "msmpeg4", "-c:a", "wmav2"],
    "3gp": ["-c:v", "h263", "-s", "176x144", "-c:a", "aac", "-ar", "8000", "-ac", "1"],
    "mp3": ["-vn", "-c:a", "libmp3lame"],
    "ogg": ["-vn", "-c:a", "libvorbis"],
    "flac": ["-vn", "-c:a", "flac"],
    "wav": ["-vn", "-c:a", "pcm_s16le"],
    "m4a": ["-vn", "-c:a", "aac"],
    "wma": ["-vn", "-c:a", "wmav2"],
}


def make_seed(ext):
    path = os.path.join(WORK, "seed." + ext)
    if not os.path.exists(path):
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", VIDEO, "-f", "lavfi", "-i",
                        AUDIO, "-shortest"] + SEEDS[ext] + [path], check=True)
    with open(path, "rb") as f:
        return f.read()


def mutants(data, ext):
    rnd = random.Random(ext)
    out = []
    for i in range(4):
        m = bytearray(data)
        for _ in range(1 + rnd.randrange(3)):
            at = rnd.randrange(len(m))
            m[at] ^= 1 + rnd.randrange(255)
        out.append(("flip%d" % i, bytes(m)))
    for fraction in (0.02, 0.3, 0.6, 0.95):
        out.append(("cut%02d" % int(fraction * 100), data[:int(len(data) * fraction)]))
    for i in range(2):
        at = rnd.randrange(len(data))
        m = bytearray(data)
        m[at:at + 16 + rnd.randrange(2048)] = bytes(min(len(data) - at, 16 + rnd.randrange(2048)))
        out.append(("zeros%d" % i, bytes(m[:len(data)])))
    for i in range(2):
        at, size = rnd.randrange(len(data) // 2), 1024 + rnd.randrange(8192)
        out.append(("twice%d" % i, data[:at + size] + data[at:]))
    out.append(("junk", data + bytes(rnd.randrange(256) for _ in range(4096))))
    return out


def length(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                       capture_output=True, text=True)
    try:
        return float(r.stdout.strip())
    except ValueError:
        return 0.0


def main():
    if not os.access(CLI, os.X_OK):
        sys.exit("no vtp-convert at " + CLI)
    shutil.rmtree(os.path.join(WORK, "m"), ignore_errors=True)
    os.makedirs(os.path.join(WORK, "m"), exist_ok=True)
    counts = {"vtp-convert": {}, "ffmpeg": {}}
    only = {"vtp-convert": [], "ffmpeg": []}
    total = 0
    for ext in SEEDS:
        for name, data in mutants(make_seed(ext), ext):
            total += 1
            src = os.path.join(WORK, "m", "%s_%s.%s" % (ext, name, ext))
            with open(src, "wb") as f:
                f.write(data)
            out = os.path.join(WORK, "m", "out")
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            r = subprocess.run([CLI, "--json", "--quiet", "-o", out, "-t", "mp4", src], capture_output=True, text=True,
                               timeout=120)
            rec = json.loads(r.stdout.splitlines()[-1]) if r.stdout.strip() else {}
            ours = "partial" if rec.get("partial") else rec.get("status", "failed")
            ff_out = os.path.join(out, "ffmpeg.mp4")
            f = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", src, "-c:v", "mpeg4", "-c:a", "aac",
                                ff_out], capture_output=True, timeout=120)
            theirs = "converted" if f.returncode == 0 and os.path.exists(ff_out) else "failed"
            if theirs == "converted" and length(ff_out) < 1.0:
                theirs = "converted short"
            for tool, result in (("vtp-convert", ours), ("ffmpeg", theirs)):
                counts[tool][result] = counts[tool].get(result, 0) + 1
            if ours == "converted" and theirs == "failed":
                only["vtp-convert"].append(os.path.basename(src))
            if ours != "converted" and theirs.startswith("converted"):
                only["ffmpeg"].append(os.path.basename(src) + " (" + theirs + ", ours " + ours + ")")
    print("%d damaged files of %d types" % (total, len(SEEDS)))
    for tool in counts:
        print("%-12s %s" % (tool, ", ".join("%s %d" % kv for kv in sorted(counts[tool].items()))))
    for tool in only:
        print("converted by %s alone: %d %s" % (tool, len(only[tool]), " ".join(only[tool])))


if __name__ == "__main__":
    main()
