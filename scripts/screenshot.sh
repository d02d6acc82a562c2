#!/usr/bin/env bash
# Takes screenshots on a real X server (Xvfb, with the openbox window
# manager, so the windows have their frames) with a few files listed and
# the differences highlighted: the main window and the Join Options dialog,
# at the default font and at 11 pt (docs/main-window.png,
# docs/main-window-11pt.png, docs/join-options.png, docs/join-options-11pt.png).
set -euo pipefail
cd "$(dirname "$0")/.."
need=()
for p in xvfb x11-apps imagemagick xdotool openbox; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
[ -x build/src/app/vantrel ] || { bash scripts/install-deps.sh; cmake -S . -B build -G Ninja >/dev/null; cmake --build build -j2; }

work="$(mktemp -d)"
trap 'kill $wm $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
clip() {  # name, size, rate, audio rate
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$2:rate=$3:duration=$5" \
    -f lavfi -i "sine=sample_rate=$4:duration=$5" -c:v mpeg4 -c:a libmp3lame "$work/$1"
}
clip "Beach day 1.avi" 640x360 25 44100 12
clip "Beach day 2.avi" 640x360 25 44100 75
clip "Harbour.avi" 640x480 25 44100 9
clip "Night market.avi" 640x360 30000/1001 22050 31

wm=""
Xvfb :57 -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=:57 openbox >/dev/null 2>&1 &
wm=$!
sleep 1
mkdir -p docs
echo '* { font-size: 11pt; }' >"$work/11pt.qss"
shoot() {  # suffix, extra arguments
  DISPLAY=:57 QT_QPA_PLATFORM=xcb build/src/app/vantrel "${@:2}" --highlight-differences "$work"/*.avi &
  local app=$!
  sleep 4
  DISPLAY=:57 xwd -root -silent | convert xwd:- -trim "docs/main-window$1.png"
  # Join Files (Ctrl+S) opens the join options.
  local main
  main=$(DISPLAY=:57 xdotool search --onlyvisible --name "Vantrel" 2>/dev/null | head -1 || true)
  if [ -n "$main" ]; then
    DISPLAY=:57 xdotool mousemove --window "$main" 100 100 windowfocus "$main" >/dev/null 2>&1 || true
    DISPLAY=:57 xdotool key --window "$main" ctrl+s >/dev/null 2>&1 || true
  fi
  sleep 2
  local id
  id=$(DISPLAY=:57 xdotool search --onlyvisible --name "Join Options" 2>/dev/null | head -1 || true)
  if [ -n "$id" ]; then DISPLAY=:57 xwd -id "$id" -silent | convert xwd:- "docs/join-options$1.png"; fi
  kill $app 2>/dev/null || true
  wait $app 2>/dev/null || true
}
shoot ""
shoot "-11pt" -stylesheet "$work/11pt.qss"
ls docs/*.png
