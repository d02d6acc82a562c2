#!/usr/bin/env bash
# Takes a screenshot of the main window on a real X server (Xvfb) with a few
# files listed and the differences highlighted: docs/main-window.png.
set -euo pipefail
cd "$(dirname "$0")/.."
need=()
for p in xvfb x11-apps imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
[ -x build/src/app/vantrel ] || { bash scripts/install-deps.sh; cmake -S . -B build -G Ninja >/dev/null; cmake --build build -j2; }

work="$(mktemp -d)"
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
clip() {  # name, size, rate, audio rate
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$2:rate=$3:duration=$5" \
    -f lavfi -i "sine=sample_rate=$4:duration=$5" -c:v mpeg4 -c:a libmp3lame "$work/$1"
}
clip "Beach day 1.avi" 640x360 25 44100 12
clip "Beach day 2.avi" 640x360 25 44100 75
clip "Harbour.avi" 640x480 25 44100 9
clip "Night market.avi" 640x360 30000/1001 22050 31

Xvfb :57 -screen 0 800x500x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=:57 QT_QPA_PLATFORM=xcb build/src/app/vantrel --highlight-differences "$work"/*.avi &
app=$!
sleep 4
mkdir -p docs
DISPLAY=:57 xwd -root -silent | convert xwd:- -trim docs/main-window.png
kill $app 2>/dev/null || true
echo "docs/main-window.png"
