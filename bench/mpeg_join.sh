#!/usr/bin/env bash
# Times `vantrel-cli join --copy` of three ~35 MiB MPEG-1 system streams
# against a plain `cat` of the same files (the cost of moving the bytes) and
# against `ffmpeg -f concat -c copy -f mpeg`.
#
# Usage: bench/mpeg_join.sh
#   VANTREL_CLI   the vantrel-cli to time (default: build/src/cli/vantrel-cli
#                 under the repository root); this script builds nothing.
#   RUNS          timed runs per command, the best one counts (default 5).
# The inputs are made once with ffmpeg and kept in
# ${TMPDIR:-/tmp}/vantrel-bench-mpeg-join for later runs.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${VANTREL_CLI:-$repo_root/build/src/cli/vantrel-cli}"
runs="${RUNS:-5}"
cache="${TMPDIR:-/tmp}/vantrel-bench-mpeg-join"

die() {
  echo "mpeg_join.sh: $*" >&2
  exit 1
}

[ -x "$cli" ] || die "no vantrel-cli at $cli (build it, or set VANTREL_CLI)"
for tool in ffmpeg ffprobe; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is needed"
done
[ -n "${EPOCHREALTIME:-}" ] || die "bash 5 or later is needed (EPOCHREALTIME)"
mkdir -p "$cache"

# ---------------------------------------------------------------- inputs
# 47 s of 720x576 at 25 fps, MPEG-1 video at a constant 6 Mbit/s with
# 192 kbit/s MP2, in MPEG-1 system streams: about 35 MiB a file.
sources=(testsrc2 testsrc smptebars)
tones=(440 660 880)
seconds=47
inputs=()
for i in 0 1 2; do
  f="$cache/input$((i + 1))-576p25-6M-${seconds}s.mpg"
  inputs+=("$f")
  if [ ! -s "$f" ]; then
    echo "making $f ..." >&2
    ffmpeg -nostdin -v error -y \
      -f lavfi -i "${sources[$i]}=size=720x576:rate=25:duration=$seconds" \
      -f lavfi -i "sine=frequency=${tones[$i]}:sample_rate=44100:duration=$seconds" \
      -c:v mpeg1video -b:v 6M -minrate 6M -maxrate 6M -bufsize 2M -g 12 \
      -c:a mp2 -b:a 192k \
      -f mpeg "$f.part"
    mv "$f.part" "$f"
  fi
done

work="$cache/work"
mkdir -p "$work"
out_cat="$work/cat.out"
out_vantrel="$work/vantrel.mpg"
out_ffmpeg="$work/ffmpeg.mpg"
list="$work/list.txt"
: >"$list"
for f in "${inputs[@]}"; do printf "file '%s'\n" "$f" >>"$list"; done
trap 'rm -f "$out_cat" "$out_vantrel" "$out_ffmpeg"' EXIT

total_bytes=0
for f in "${inputs[@]}"; do total_bytes=$((total_bytes + $(stat -c %s "$f"))); done

# Warm the page cache so every command reads from memory.
for _ in 1 2; do cat "${inputs[@]}" >/dev/null; done

# ---------------------------------------------------------------- timing
source "$repo_root/bench/lib.sh"

cat_all() { cat "${inputs[@]}" >"$out_cat"; }
join_vantrel() { "$cli" join --copy -q -y -o "$out_vantrel" "${inputs[@]}"; }
probe_vantrel() { "$cli" probe "${inputs[@]}" >/dev/null; }
join_ffmpeg() { ffmpeg -nostdin -v error -f concat -safe 0 -i "$list" -c copy -f mpeg -y "$out_ffmpeg"; }

t_cat=$(best_of "$out_cat" cat_all)
t_vantrel=$(best_of "$out_vantrel" join_vantrel)
t_ffmpeg=$(best_of "$out_ffmpeg" join_ffmpeg)
# The join probes its inputs before copying; the probe timed alone shows
# its share.
t_probe=$(best_of - probe_vantrel)
out_bytes=$(stat -c %s "$out_vantrel")
# A join that copied less would time well for nothing: every pack and
# packet is carried, only later system headers are left out.
awk -v o="$out_bytes" -v t="$total_bytes" 'BEGIN { exit !(o > t * 0.999 && o <= t) }' ||
  die "the join wrote $out_bytes bytes of $total_bytes"

# ---------------------------------------------------------------- report
mib() { awk -v b="$1" 'BEGIN { printf "%.1f MiB", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { # value op target
  awk -v v="$1" -v t="$3" -v op="$2" 'BEGIN { ok = (op == "<=") ? v <= t : v >= t; print ok ? "met" : "NOT met" }'
}

r_cat=$(ratio "$t_vantrel" "$t_cat")
r_ffmpeg=$(ratio "$t_ffmpeg" "$t_vantrel")

echo "inputs:            3 files, $(mib "$total_bytes") (in $cache)"
echo "vantrel output:    $(mib "$out_bytes")"
echo "vantrel-cli:       $cli"
echo "runs per command:  $runs (best wall time counts)"
printf '%-18s %8.3f s\n' "cat:" "$t_cat" "vantrel-cli join:" "$t_vantrel" "  probe alone:" "$t_probe" \
  "ffmpeg concat:" "$t_ffmpeg"
echo "vantrel/cat:       $r_cat   (target <= 1.3: $(verdict "$r_cat" "<=" 1.3))"
echo "ffmpeg/vantrel:    $r_ffmpeg   (target >= 2: $(verdict "$r_ffmpeg" ">=" 2))"
