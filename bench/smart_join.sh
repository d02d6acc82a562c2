#!/usr/bin/env bash
# Smart join speed: ten 20-second 1920x1080@30 H.264/AAC MP4 clips, one of
# them at 1280x720. The smart join copies nine and re-encodes one; it is
# compared with
# - the same work done by hand: re-encoding the odd clip alone to the nine's
#   format (libx264 at the join's defaults, 1080p, 30 fps, AAC) plus `cat` of
#   the other nine (the copy is bound by the disk);
# - re-encoding all ten at the same settings (the recompressing join).
# Prints the three times and both ratios, from one run each (page cache warm).
# Usage: bench/smart_join.sh (VANTREL_CLI overrides the CLI)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cli="${VANTREL_CLI:-$repo/build/src/cli/vantrel-cli}"
[ -x "$cli" ] || { echo "build vantrel-cli first" >&2; exit 1; }
# shellcheck source=lib.sh
source "$repo/bench/lib.sh"
cache="${TMPDIR:-/tmp}/vantrel-bench-smart"
mkdir -p "$cache"
cd "$cache"

clips=()
for i in 0 1 2 3 4 5 6 7 8 9; do
  size=1920x1080
  [ "$i" = 4 ] && size=1280x720
  [ -s "c$i.mp4" ] || ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=30:duration=20" \
    -f lavfi -i "sine=frequency=$((300 + 50 * i)):sample_rate=48000:duration=20" \
    -c:v libx264 -preset veryfast -g 60 -c:a aac -b:a 128k "c$i.mp4"
  clips+=("c$i.mp4")
done
cat "${clips[@]}" >/dev/null

runs=1
t_smart=$(best_of smart.mp4 "$cli" join --smart -q -y -o smart.mp4 "${clips[@]}")
# The same work by hand: the odd clip alone through the recompressing join
# at the nine's format, and the nine others read and written once.
t_one=$(best_of one.mp4 "$cli" join --recompress -q -y --size 1920x1080 --rate 30 -o one.mp4 c4.mp4)
others=(c0.mp4 c1.mp4 c2.mp4 c3.mp4 c5.mp4 c6.mp4 c7.mp4 c8.mp4 c9.mp4)
t_cat=$(best_of cat.bin sh -c "cat ${others[*]} > cat.bin")
t_all=$(best_of all.mp4 "$cli" join --recompress -q -y --size 1920x1080 --rate 30 -o all.mp4 "${clips[@]}")
rm -f cat.bin

awk -v s="$t_smart" -v o="$t_one" -v c="$t_cat" -v a="$t_all" 'BEGIN {
  printf "smart join (9 copied, 1 re-encoded):   %.2f s\n", s
  printf "re-encode the odd clip alone + cat:    %.2f s (%.2f + %.2f)\n", o + c, o, c
  printf "re-encode all ten (recompressing join): %.2f s\n", a
  printf "smart / (one + cat): %.2f (target <= 1.30)\n", s / (o + c)
  printf "all / smart:         %.2f (target >= 5)\n", a / s
}'
ffprobe -v error -show_entries stream=codec_name,width,height,r_frame_rate:format=duration -of compact smart.mp4
