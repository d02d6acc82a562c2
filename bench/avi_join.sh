#!/usr/bin/env bash
# Times `vantrel-cli join --copy` of three ~75 MiB MPEG-4/MP3 AVI files
# against a plain `cat` of the same files (the cost of moving the bytes) and
# against `ffmpeg -f concat -c copy`, and reports the peak memory of the join.
#
# Usage: bench/avi_join.sh
#   VANTREL_CLI   the vantrel-cli to time (default: build/src/cli/vantrel-cli
#                 under the repository root); this script builds nothing.
#   RUNS          timed runs per command, the best one counts (default 5).
# The inputs are made once with ffmpeg and kept in
# ${TMPDIR:-/tmp}/vantrel-bench-avi-join for later runs.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${VANTREL_CLI:-$repo_root/build/src/cli/vantrel-cli}"
runs="${RUNS:-5}"
cache="${TMPDIR:-/tmp}/vantrel-bench-avi-join"

die() {
  echo "avi_join.sh: $*" >&2
  exit 1
}

[ -x "$cli" ] || die "no vantrel-cli at $cli (build it, or set VANTREL_CLI)"
for tool in ffmpeg ffprobe; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is needed"
done
mkdir -p "$cache"

# ---------------------------------------------------------------- inputs
# 77 s of 1280x720 at 25 fps, MPEG-4 at a constant 8 Mbit/s with 128 kbit/s
# MP3: about 75 MiB a file.
sources=(testsrc2 testsrc smptehdbars)
tones=(440 660 880)
inputs=()
for i in 0 1 2; do
  f="$cache/input$((i + 1))-720p25-8M-77s.avi"
  inputs+=("$f")
  if [ ! -s "$f" ]; then
    echo "making $f ..." >&2
    ffmpeg -nostdin -v error -y \
      -f lavfi -i "${sources[$i]}=size=1280x720:rate=25:duration=77" \
      -f lavfi -i "sine=frequency=${tones[$i]}:sample_rate=44100:duration=77" \
      -c:v mpeg4 -b:v 8M -minrate 8M -maxrate 8M -bufsize 2M -g 250 \
      -c:a libmp3lame -b:a 128k \
      -f avi "$f.part"
    mv "$f.part" "$f"
  fi
done

work="$cache/work"
mkdir -p "$work"
out_cat="$work/cat.out"
out_vantrel="$work/vantrel.avi"
out_ffmpeg="$work/ffmpeg.avi"
list="$work/list.txt"
: >"$list"
for f in "${inputs[@]}"; do printf "file '%s'\n" "$f" >>"$list"; done
trap 'rm -f "$out_cat" "$out_vantrel" "$out_ffmpeg"' EXIT

total_bytes=0
chunks=0
for f in "${inputs[@]}"; do
  total_bytes=$((total_bytes + $(stat -c %s "$f")))
  # Every video and audio packet is one chunk of the output's index.
  n=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$f" |
    awk '{ s += $1 } END { print s + 0 }')
  chunks=$((chunks + n))
done

# Warm the page cache so every command reads from memory.
for _ in 1 2; do cat "${inputs[@]}" >/dev/null; done

# ---------------------------------------------------------------- timing
source "$repo_root/bench/lib.sh"

cat_all() { cat "${inputs[@]}" >"$out_cat"; }
join_vantrel() { "$cli" join --copy -q -y -o "$out_vantrel" "${inputs[@]}"; }
join_ffmpeg() { ffmpeg -nostdin -v error -f concat -safe 0 -i "$list" -c copy -y "$out_ffmpeg"; }

t_cat=$(best_of "$out_cat" cat_all)
t_vantrel=$(best_of "$out_vantrel" join_vantrel)
t_ffmpeg=$(best_of "$out_ffmpeg" join_ffmpeg)

# ---------------------------------------------------------------- memory
peak_note=""
peak_kib=""
if [ -x /usr/bin/time ] && /usr/bin/time -v true >/dev/null 2>&1; then
  rm -f "$out_vantrel"
  peak_kib=$({ /usr/bin/time -v "$cli" join --copy -q -y -o "$out_vantrel" "${inputs[@]}" >/dev/null; } 2>&1 |
    awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }')
else
  peak_note="GNU time (/usr/bin/time -v) is not installed: peak RSS not measured"
fi
budget_bytes=$((64 * 1024 * 1024 + 21 * chunks))

# ---------------------------------------------------------------- report
mib() { awk -v b="$1" 'BEGIN { printf "%.1f MiB", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { # value op target
  awk -v v="$1" -v t="$3" -v op="$2" 'BEGIN { ok = (op == "<=") ? v <= t : v >= t; print ok ? "met" : "NOT met" }'
}

r_cat=$(ratio "$t_vantrel" "$t_cat")
r_ffmpeg=$(ratio "$t_ffmpeg" "$t_vantrel")

echo "inputs:            3 files, $(mib "$total_bytes"), $chunks chunks (in $cache)"
echo "vantrel-cli:       $cli"
echo "runs per command:  $runs (best wall time counts)"
printf '%-18s %8.3f s\n' "cat:" "$t_cat" "vantrel-cli join:" "$t_vantrel" "ffmpeg concat:" "$t_ffmpeg"
echo "vantrel/cat:       $r_cat   (target <= 1.15: $(verdict "$r_cat" "<=" 1.15))"
echo "ffmpeg/vantrel:    $r_ffmpeg   (target >= 1.4: $(verdict "$r_ffmpeg" ">=" 1.4))"
if [ -n "$peak_kib" ]; then
  peak_bytes=$((peak_kib * 1024))
  within=$([ "$peak_bytes" -le "$budget_bytes" ] && echo "within" || echo "OVER")
  echo "vantrel peak RSS:  $(mib "$peak_bytes")   (budget 64 MiB + 21 B x $chunks chunks = $(mib "$budget_bytes"): $within)"
else
  echo "vantrel peak RSS:  $peak_note   (budget $(mib "$budget_bytes"))"
fi
