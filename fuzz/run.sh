#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in build-fuzz/ and runs each for SECONDS:
#   bash fuzz/run.sh [SECONDS]            (default 60)
#   bash fuzz/run.sh SECONDS TARGET...    (only these: avi_reader avi_writer
#                                          mpeg_reader project_reader mpeg_audio
#                                          remux_input hevc_sets)
# Seeds are made at run time with our writers and, when present, ffmpeg; the
# growing corpora stay in build-fuzz/corpus, findings in build-fuzz/artifacts.
# Prints per target the executions and the coverage (cov:) reached; exits 1
# when a target found a fault.
# VANTREL_FUZZ_JOBS sets the build's parallel jobs (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_TARGET="${1:-60}"
shift || true
TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then TARGETS=(avi_reader avi_writer mpeg_reader project_reader mpeg_audio remux_input hevc_sets); fi
JOBS="${VANTREL_FUZZ_JOBS:-1}"
BUILD=build-fuzz

# The project's own packages, then clang with its sanitizer and libFuzzer
# runtimes, each installed only when missing.
bash scripts/install-deps.sh
missing=()
for p in clang libclang-rt-14-dev llvm; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then missing+=("$p"); fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVANTREL_FUZZ=ON -DVANTREL_BUILD_TESTS=OFF >/dev/null
build_targets=(fuzz_make_seeds)
for t in "${TARGETS[@]}"; do build_targets+=("fuzz_$t"); done
ninja -C "$BUILD" -j"$JOBS" "${build_targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

# Seeds: made afresh each run, small.
SEEDS="$BUILD/seeds"
rm -rf "$SEEDS"
mkdir -p "$SEEDS"/{avi_reader,avi_writer,mpeg_reader,project_reader,mpeg_audio,remux_input,hevc_sets} "$BUILD/artifacts" \
  "$BUILD/logs"
"$BUILD/fuzz/fuzz_make_seeds" "$SEEDS"
if command -v ffmpeg >/dev/null 2>&1; then
  ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@" || echo "ffmpeg seed skipped: $*" >&2; }
  src=(-f lavfi -i testsrc=size=32x24:rate=10 -f lavfi -i sine=frequency=440:sample_rate=8000)
  ff "${src[@]}" -t 0.5 -c:v mjpeg -q:v 31 -c:a pcm_u8 "$SEEDS/avi_reader/ff-mjpeg-pcm.avi"
  ff "${src[@]}" -t 0.5 -c:v mpeg4 -q:v 31 -c:a mp3 -b:a 8k -ac 1 "$SEEDS/avi_reader/ff-mpeg4-mp3.avi" 2>/dev/null
  ff -f lavfi -i testsrc=size=32x24:rate=10 -t 0.3 -c:v rawvideo -pix_fmt rgb555le "$SEEDS/avi_reader/ff-raw.avi"
  ff -f lavfi -i testsrc=size=32x24:rate=25 -f lavfi -i sine=frequency=440:sample_rate=8000 -t 0.5 -c:v mpeg1video -q:v 31 -c:a mp2 -b:a 32k -ac 1 -ar 32000 -f mpeg \
    "$SEEDS/mpeg_reader/ff-system.mpg"
  ff -f lavfi -i testsrc=size=32x24:rate=25 -t 0.2 -c:v mpeg1video -q:v 31 -f mpeg1video \
    "$SEEDS/mpeg_reader/ff-elementary.m1v"
  ff -f lavfi -i sine=frequency=440:sample_rate=22050 -t 0.3 -c:a libmp3lame -b:a 32k -f mp3 "$SEEDS/mpeg_audio/ff.mp3"
  ff -f lavfi -i sine=frequency=440:sample_rate=32000 -t 0.3 -c:a mp2 -b:a 64k -f mp2 "$SEEDS/mpeg_audio/ff.mp2"
  # The container copy's families, small: two seconds of 32x24 pictures and
  # sound, with an edit list, B-frames, a cut.
  r="$SEEDS/remux_input"
  tiny=(-f lavfi -i testsrc=size=32x24:rate=10 -f lavfi -i sine=frequency=440:sample_rate=8000 -t 1)
  ff "${tiny[@]}" -c:v libx264 -preset ultrafast -bf 2 -c:a aac -b:a 16k -ac 1 "$r/ff.mp4"
  ff "${tiny[@]}" -c:v libx264 -preset ultrafast -c:a aac -b:a 16k -ac 1 -movflags +faststart "$r/ff-front.mov"
  ff "${tiny[@]}" -c:v libx264 -preset ultrafast -c:a libopus -b:a 16k -ac 1 "$r/ff.mkv"
  ff "${tiny[@]}" -c:v libvpx-vp9 -deadline realtime -c:a libopus -b:a 16k -ac 1 "$r/ff.webm"
  ff "${tiny[@]}" -c:v libx264 -preset ultrafast -c:a aac -b:a 16k -ac 1 "$r/ff.ts"
  ff "${tiny[@]}" -c:v mpeg2video -c:a mp2 -b:a 32k -ac 1 -f vob "$r/ff.vob"
  ff "${tiny[@]}" -c:v flv1 -c:a libmp3lame -b:a 16k -ac 1 -ar 22050 "$r/ff.flv"
  if [ -f "$r/ff.mp4" ]; then head -c 3000 "$r/ff.mp4" >"$r/cut.mp4"; fi
  # x265's hvcC records (the box's payload), plain and with wavefront off.
  for p in "" wpp=0; do
    rm -f "$BUILD/x265.mp4"
    ff -f lavfi -i testsrc=size=64x48:rate=10 -t 0.3 -c:v libx265 -x265-params "log-level=error${p:+:$p}" \
      "$BUILD/x265.mp4"
    python3 -c 'import sys; b = open(sys.argv[1], "rb").read(); i = b.find(b"hvcC"); n = int.from_bytes(b[i - 4:i], "big")
open(sys.argv[2], "wb").write(b[i + 4:i - 4 + n])' "$BUILD/x265.mp4" "$SEEDS/hevc_sets/x265${p:+-wpp0}.hvcc" || true
  done
fi

declare -A MAX_LEN=([avi_reader]=131072 [avi_writer]=16384 [mpeg_reader]=65536 [project_reader]=16384 [mpeg_audio]=16384
                   [remux_input]=65536 [hevc_sets]=4096)
summary=()
status=0
for t in "${TARGETS[@]}"; do
  corpus="$BUILD/corpus/$t"
  mkdir -p "$corpus"
  log="$BUILD/logs/$t.log"
  echo "== fuzz_$t for ${SECONDS_PER_TARGET}s" >&2
  set +e
  "$BUILD/fuzz/fuzz_$t" "$corpus" "$SEEDS/$t" \
    -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 -malloc_limit_mb=64 -timeout=20 \
    -max_len="${MAX_LEN[$t]}" -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$t-" >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | sed 's/cov: //')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | sed 's/ft: //')
  result=ok
  if [ $rc -ne 0 ]; then
    result="FAULT (exit $rc, see $log)"
    status=1
    grep -m1 -E 'ERROR: |runtime error|property broken|deadly signal|out-of-memory|malloc\(' "$log" >&2 || true
  fi
  summary+=("$(printf '%-16s execs %-10s cov %-6s ft %-6s %s' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$result")")
done

echo
printf '%s\n' "${summary[@]}"
exit $status
