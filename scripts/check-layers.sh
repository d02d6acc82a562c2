#!/usr/bin/env bash
# Fails when an include points up the layers, when a folder of src/ has no
# rule here, when FFmpeg's headers are included above the probe and the
# engines, or when a source file passes 500 lines.
#
# The floors, from the ground up:
#   base                         errors, files, buffers, progress, the join skeleton
#   avi mpeg ffmpeg              the copy engines, FFmpeg's owners
#   remux recompress             the engines on FFmpeg
#   smart                        copies some files, re-encodes the others
#   formats                      the registry of containers and codecs
#   probe                        what each file holds, read once
#   plan                         the request and the one plan made from it
#   job                          carries the plan out, off the window's thread
#   cli ui                       the front ends
#   app                          the desktop application's start
set -euo pipefail
cd "$(dirname "$0")/../src"
allowed() {
  case "$1" in
    base) echo "base" ;;
    avi | mpeg | ffmpeg) echo "base $1" ;;
    recompress | remux) echo "base ffmpeg $1" ;;
    smart) echo "base ffmpeg remux recompress smart" ;;
    formats) echo "base formats" ;;
    probe) echo "base avi mpeg ffmpeg recompress formats probe" ;;
    plan) echo "base avi mpeg recompress formats probe plan" ;;
    job) echo "base avi mpeg remux recompress smart formats probe plan job" ;;
    cli) echo "base formats probe plan job cli" ;;
    ui) echo "base formats probe plan job ui" ;;
    app) echo "base job ui app" ;;
    *) echo "" ;;
  esac
}
# Folders that may include FFmpeg's own headers.
ffmpeg_allowed="ffmpeg remux recompress smart probe"
bad=0
for dir in */; do
  dir=${dir%/}
  ok=$(allowed "$dir")
  if [ -z "$ok" ]; then
    echo "layering: src/$dir has no rule in scripts/check-layers.sh" >&2
    bad=1
    continue
  fi
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$line")
    if ! grep -qw -- "$target" <<<"$ok"; then
      echo "layering: $file includes $target/ (allowed: $ok)" >&2
      bad=1
    fi
  done < <(grep -H '#include "[a-z]*/' "$dir"/*.h "$dir"/*.cpp 2>/dev/null || true)
  if ! grep -qw -- "$dir" <<<"$ffmpeg_allowed"; then
    while IFS= read -r line; do
      echo "layering: ${line%%:*} includes FFmpeg's ${line#*#include } above the probe and the engines" >&2
      bad=1
    done < <(grep -H '#include <lib\(av\|sw\)[a-z]*/' "$dir"/*.h "$dir"/*.cpp 2>/dev/null || true)
  fi
done
while read -r n f; do
  [ "$f" = total ] && continue
  if [ "$n" -gt 500 ]; then
    echo "size: $f has $n lines (at most 500)" >&2
    bad=1
  fi
done < <(wc -l */*.h */*.cpp)
exit $bad
