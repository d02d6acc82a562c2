#!/usr/bin/env bash
# Probing speed: vantrel-cli probe against ffprobe -show_streams on the same
# 20 files of mixed formats, time per file, from one run.
# Usage: bench/probe.sh   (VANTREL_CLI overrides the CLI to measure)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cli="${VANTREL_CLI:-$repo/build/src/cli/vantrel-cli}"
[ -x "$cli" ] || { echo "build vantrel-cli first (bash scripts/test.sh or cmake --build build)" >&2; exit 1; }
cache="${TMPDIR:-/tmp}/vantrel-bench-probe"
mkdir -p "$cache"

mk() {  # name, then ffmpeg output arguments
  local name="$1"; shift
  [ -s "$cache/$name" ] && return 0
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=640x360:rate=25:duration=20" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=20" "$@" "$cache/$name"
}
for i in 1 2 3 4; do
  mk "avi$i.avi" -c:v mpeg4 -b:v 2M -c:a libmp3lame
  mk "mpg$i.mpg" -c:v mpeg1video -b:v 2M -c:a mp2 -f mpeg
  mk "mp4$i.mp4" -c:v libx264 -preset ultrafast -c:a aac
  mk "mkv$i.mkv" -c:v mpeg4 -c:a libvorbis
  mk "wmv$i.wmv" -c:v wmv2 -c:a wmav2
done
files=("$cache"/*.avi "$cache"/*.mpg "$cache"/*.mp4 "$cache"/*.mkv "$cache"/*.wmv)
n=${#files[@]}
cat "${files[@]}" >/dev/null  # warm the page cache

best() {  # best wall time in seconds of 5 runs of the command
  local b=""
  for _ in 1 2 3 4 5; do
    local s e
    s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N)
    b=$(echo "$s $e $b" | awk '{t=$2-$1; if ($3=="" || t<$3) print t; else print $3}')
  done
  echo "$b"
}

# One process per file for both, as ffprobe works; and all files in one
# vantrel process, as the desktop application probes them.
ffprobe_each() { for f in "${files[@]}"; do ffprobe -v error -show_streams "$f"; done; }
vantrel_each() { for f in "${files[@]}"; do "$cli" probe "$f"; done; }
t_ffprobe=$(best ffprobe_each)
t_each=$(best vantrel_each)
t_one=$(best "$cli" probe "${files[@]}")
awk -v n="$n" -v e="$t_each" -v o="$t_one" -v f="$t_ffprobe" 'BEGIN {
  printf "files:                             %d\n", n
  printf "ffprobe -show_streams, each:       %.2f ms per file\n", 1000 * f / n
  printf "vantrel-cli probe, each:           %.2f ms per file\n", 1000 * e / n
  printf "vantrel-cli probe, all in one run: %.2f ms per file\n", 1000 * o / n
  printf "ratio vantrel/ffprobe (each):      %.2f (target <= 1.00)\n", e / f
}'
