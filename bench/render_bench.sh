#!/usr/bin/env bash
# fadecrest-render beside sox, ffmpeg and lame, measured side by side in one run with hyperfine:
#   - one 10-minute stereo file, float WAV and 16-bit FLAC, against a plain `sox in out` copy;
#   - the same float WAV against ffmpeg computing the same fade per sample with `aeval`;
#   - a batch of 8 two-minute FLAC files, all cores against one file after another;
#   - the same 10 minutes as 16-bit WAV to MP3 at 192 kbit/s against Debian's lame alone encoding
#     that WAV at that setting;
#   - a batch of 12 two-minute FLAC files to MP3, -j 2 against -j 1.
# Prints each ratio with the target it is held to. The machine may be shared: run it more than
# once and read the spread hyperfine reports.
#
#   bench/render_bench.sh [BUILD_DIR] [RUNS]      (default build/release, 5 runs)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
runs=${2:-5}
render=$(realpath "$build/fadecrest-render")
for tool in sox ffmpeg hyperfine python3 lame; do
  command -v "$tool" >/dev/null || { echo "render_bench: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -x "$render" ] || { echo "render_bench: build $render first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

rate=44100
interval=30.5   # seconds: the program "Medium track", given explicitly
duration=3
sox -n -r $rate -c 2 -e floating-point -b 32 song.wav synth 600 pinknoise vol 0.5
sox song.wav -b 16 song.flac
mkdir batch
for i in $(seq 1 12); do sox song.wav -b 16 "batch/track$i.flac" trim $((i * 10)) 120; done
sox song.wav -b 16 song16.wav

# The fade as ffmpeg's per-sample expression: frame n lies at p = n mod cycle of the effect's
# cycle; frames interval+1 .. interval+fade are scaled by |(h - (p - interval)) / h|.
i=$(python3 -c "print(int($interval * $rate))")
f=$(python3 -c "print(int($duration * $rate))")
h=$((f / 2))
cycle=$((i + f + 2))
gain="if(between(mod(n\\,$cycle)\\,$((i + 1))\\,$((i + f)))\\,abs(($h-(mod(n\\,$cycle)-$i))/$h)\\,1)"

settings=(--interval "$interval" --duration "$duration" -q -y)
measure() {  # name, then the commands to compare
  local name=$1
  shift
  hyperfine -N --warmup 1 --runs "$runs" --export-json "$name.json" "$@" | grep -E "Benchmark|Time"
}

echo "== one file, float WAV: fadecrest-render / sox copy / ffmpeg aeval"
measure wav \
  "$render song.wav -o render.wav ${settings[*]}" \
  "sox song.wav sox.wav" \
  "ffmpeg -y -v error -i song.wav -af 'aeval=val(0)*$gain|val(1)*$gain:c=same' -c:a pcm_f32le ffmpeg.wav"
echo "== one file, 16-bit FLAC: fadecrest-render / sox copy"
measure flac "$render song.flac -o render.flac ${settings[*]}" "sox song.flac sox.flac"
echo "== batch of 8 FLAC files: one after another (-j 1) / all cores"
tracks=$(echo batch/track[1-8].flac)
measure batch "$render $tracks -o out/ -j 1 ${settings[*]}" "$render $tracks -o out/ ${settings[*]}"
echo "== 10 minutes of 16-bit WAV to MP3 at 192 kbit/s: fadecrest-render / lame alone"
measure mp3 "$render song16.wav -o render.mp3 --bitrate 192 ${settings[*]}" "lame --quiet -b 192 song16.wav lame.mp3"
echo "== batch of 12 FLAC files to MP3: -j 1 / -j 2"
tracks=$(echo batch/*.flac)
measure batchmp3 "$render $tracks -o mp3/ --format mp3 -j 1 ${settings[*]}" \
  "$render $tracks -o mp3/ --format mp3 -j 2 ${settings[*]}"

# Same samples as ffmpeg's expression, so the comparison is of equal work.
difference=$(sox -m -v 1 render.wav -v -1 ffmpeg.wav -n stats 2>&1 | awk '/Pk lev dB/ {print $4}')
echo "largest difference between fadecrest-render and ffmpeg: $difference dB"

python3 - "$(nproc)" <<'EOF'
import json, sys
def means(name):
    return [r["mean"] for r in json.load(open(name + ".json"))["results"]]
render, sox, ffmpeg = means("wav")
flac_render, flac_sox = means("flac")
sequential, parallel = means("batch")
mp3_render, mp3_lame = means("mp3")
mp3_sequential, mp3_parallel = means("batchmp3")
rows = [
    ("float WAV: sox copy time / render time", sox / render, "at least 1.0"),
    ("16-bit FLAC: sox copy time / render time", flac_sox / flac_render, "at least 1.0"),
    ("float WAV: ffmpeg aeval time / render time", ffmpeg / render, "at least 3.0"),
    (f"batch of 8: one after another / {sys.argv[1]} cores", sequential / parallel, "at least 1.7"),
    ("MP3 192 kbit/s: lame alone time / render time", mp3_lame / mp3_render, "at least 0.91 (render <= 1.1x)"),
    ("batch of 12 to MP3: -j 1 time / -j 2 time", mp3_sequential / mp3_parallel, "at least 1.8"),
]
for label, ratio, target in rows:
    print(f"{label:48s} {ratio:5.2f}x  (target {target})")
EOF
