#!/usr/bin/env bash
# Fails when an include points up the layers: src/base includes only
# itself; the AVI and MPEG engines only base and themselves; the FFmpeg
# engines base, the FFmpeg owners and themselves; no engine reaches the
# job or a front end. Also fails on a source file over 500 lines.
set -euo pipefail
cd "$(dirname "$0")/../src"
allowed() {
  case "$1" in
    base) echo "base" ;;
    avi | mpeg) echo "base $1" ;;
    ffmpeg) echo "base ffmpeg" ;;
    recompress | remux) echo "base ffmpeg $1" ;;
    *) echo "" ;;
  esac
}
bad=0
for dir in base avi mpeg ffmpeg recompress remux; do
  [ -d "$dir" ] || continue
  ok=$(allowed "$dir")
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$line")
    if ! grep -qw -- "$target" <<<"$ok"; then
      echo "layering: $file includes $target/ (allowed: $ok)" >&2
      bad=1
    fi
  done < <(grep -H '#include "[a-z]*/' "$dir"/*.h "$dir"/*.cpp 2>/dev/null || true)
done
while read -r n f; do
  [ "$f" = total ] && continue
  if [ "$n" -gt 500 ]; then
    echo "size: $f has $n lines (at most 500)" >&2
    bad=1
  fi
done < <(wc -l */*.h */*.cpp)
exit $bad
