#!/usr/bin/env bash
# Times `vantrel-cli join --copy` of three 1-minute 1080p H.264/AAC MP4 files
# against `ffmpeg -f concat -safe 0 -i list -c copy` and against a plain `cat`
# of the same files, in one run with the page cache warm, and reports the
# join's peak memory. With mkvmerge installed, also times appending the
# Matroska versions with mkvmerge against vantrel-cli joining them.
#
# Usage: bench/remux_join.sh
#   VANTREL_CLI   the vantrel-cli to time (default: build/src/cli/vantrel-cli
#                 under the repository root); this script builds nothing.
#   RUNS          timed runs per command, the best one counts (default 5).
# The inputs are made once with ffmpeg and kept in
# ${TMPDIR:-/tmp}/vantrel-bench-remux-join for later runs.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${VANTREL_CLI:-$repo_root/build/src/cli/vantrel-cli}"
runs="${RUNS:-5}"
cache="${TMPDIR:-/tmp}/vantrel-bench-remux-join"

die() {
  echo "remux_join.sh: $*" >&2
  exit 1
}

[ -x "$cli" ] || die "no vantrel-cli at $cli (build it, or set VANTREL_CLI)"
for tool in ffmpeg ffprobe; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is needed"
done
mkdir -p "$cache"

# ---------------------------------------------------------------- inputs
# 60 s of 1920x1080 at 30 fps, H.264 at about 12 Mbit/s (grain, so that
# the encoder cannot undershoot) with B-frames, AAC at 160 kbit/s: about
# 85 MiB a file, as a phone or camera writes them.
sources=(testsrc2 testsrc smptehdbars)
tones=(440 660 880)
inputs=()
mkvs=()
for i in 0 1 2; do
  f="$cache/input$((i + 1))-1080p30-12M-60s.mp4"
  inputs+=("$f")
  if [ ! -s "$f" ]; then
    echo "making $f ..." >&2
    ffmpeg -nostdin -v error -y \
      -f lavfi -i "${sources[$i]}=size=1920x1080:rate=30:duration=60,noise=alls=12:allf=t" \
      -f lavfi -i "sine=frequency=${tones[$i]}:sample_rate=48000:duration=60" \
      -pix_fmt yuv420p -c:v libx264 -preset ultrafast -bf 2 -b:v 12M -maxrate 12M -bufsize 6M -g 60 \
      -c:a aac -b:a 160k -f mp4 "$f.part"
    mv "$f.part" "$f"
  fi
  m="${f%.mp4}.mkv"
  mkvs+=("$m")
  [ -s "$m" ] || ffmpeg -nostdin -v error -y -i "$f" -c copy -f matroska "$m"
done

work="$cache/work"
mkdir -p "$work"
out_cat="$work/cat.out"
out_vantrel="$work/vantrel.mp4"
out_ffmpeg="$work/ffmpeg.mp4"
out_vantrel_mkv="$work/vantrel.mkv"
out_mkvmerge="$work/mkvmerge.mkv"
list="$work/list.txt"
: >"$list"
for f in "${inputs[@]}"; do printf "file '%s'\n" "$f" >>"$list"; done
trap 'rm -f "$out_cat" "$out_vantrel" "$out_ffmpeg" "$out_vantrel_mkv" "$out_mkvmerge"' EXIT

total_bytes=0
for f in "${inputs[@]}"; do total_bytes=$((total_bytes + $(stat -c %s "$f"))); done

# Warm the page cache so every command reads from memory.
for _ in 1 2; do cat "${inputs[@]}" "${mkvs[@]}" >/dev/null; done

# ---------------------------------------------------------------- timing
source "$repo_root/bench/lib.sh"

cat_all() { cat "${inputs[@]}" >"$out_cat"; }
join_vantrel() { "$cli" join --copy -q -y -o "$out_vantrel" "${inputs[@]}"; }
join_ffmpeg() { ffmpeg -nostdin -v error -f concat -safe 0 -i "$list" -c copy -y "$out_ffmpeg"; }
join_vantrel_mkv() { "$cli" join --copy -q -y -o "$out_vantrel_mkv" "${mkvs[@]}"; }
append_mkvmerge() {
  local args=(-q -o "$out_mkvmerge" "${mkvs[0]}")
  for ((k = 1; k < ${#mkvs[@]}; ++k)); do args+=(+ "${mkvs[$k]}"); done
  mkvmerge "${args[@]}"
}

t_cat=$(best_of "$out_cat" cat_all)
t_vantrel=$(best_of "$out_vantrel" join_vantrel)
t_ffmpeg=$(best_of "$out_ffmpeg" join_ffmpeg)
have_mkvmerge=""
if command -v mkvmerge >/dev/null 2>&1; then
  have_mkvmerge=1
  t_vantrel_mkv=$(best_of "$out_vantrel_mkv" join_vantrel_mkv)
  # mkvmerge takes far longer than the others here: one run is enough.
  t_mkvmerge=$(runs=1 best_of "$out_mkvmerge" append_mkvmerge)
fi

# ---------------------------------------------------------------- memory
peak=""
if [ -x /usr/bin/time ] && /usr/bin/time -v true >/dev/null 2>&1; then
  rm -f "$out_vantrel"
  peak_kib=$({ /usr/bin/time -v "$cli" join --copy -q -y -o "$out_vantrel" "${inputs[@]}" >/dev/null; } 2>&1 |
    awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }')
  peak=$((peak_kib * 1024))
fi

# ---------------------------------------------------------------- report
mib() { awk -v b="$1" 'BEGIN { printf "%.1f MiB", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v v="$1" -v t="$2" 'BEGIN { print v <= t ? "met" : "NOT met" }'; }

r_ffmpeg=$(ratio "$t_vantrel" "$t_ffmpeg")
r_cat=$(ratio "$t_vantrel" "$t_cat")
echo "inputs:              3 MP4 files, $(mib "$total_bytes") (in $cache)"
echo "vantrel-cli:         $cli"
echo "runs per command:    $runs (best wall time counts)"
printf '%-20s %8.3f s\n' "cat:" "$t_cat" "vantrel-cli join:" "$t_vantrel" "ffmpeg concat:" "$t_ffmpeg"
echo "vantrel/ffmpeg:      $r_ffmpeg   (target <= 1.2: $(verdict "$r_ffmpeg" 1.2))"
echo "vantrel/cat:         $r_cat   (target <= 1.5: $(verdict "$r_cat" 1.5))"
if [ -n "$have_mkvmerge" ]; then
  r_mkv=$(ratio "$t_vantrel_mkv" "$t_mkvmerge")
  printf '%-20s %8.3f s\n' "vantrel-cli (mkv):" "$t_vantrel_mkv" "mkvmerge append:" "$t_mkvmerge"
  echo "vantrel/mkvmerge:    $r_mkv"
else
  echo "mkvmerge:            not installed, Matroska line left out"
fi
if [ -n "$peak" ]; then
  echo "vantrel peak RSS:    $(mib "$peak")   (target < 64 MiB: $([ "$peak" -lt $((64 * 1048576)) ] && echo met || echo "NOT met"))"
else
  echo "vantrel peak RSS:    GNU time (/usr/bin/time -v) is not installed: not measured"
fi
