#!/usr/bin/env bash
# Installs what is missing, builds Vantrel and runs its main job: the desktop
# application with two sample clips listed. Without a display it says so and
# joins the clips with vantrel-cli instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2

samples="$PWD/build/samples"
mkdir -p "$samples"
make_clip() {  # name, pattern, tone
  [ -s "$samples/$1" ] && return 0
  ffmpeg -nostdin -v error -y \
    -f lavfi -i "$2=size=640x360:rate=25" -f lavfi -i "sine=frequency=$3:sample_rate=44100" \
    -t 4 -c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 128k "$samples/$1"
}
make_clip clip1.avi testsrc 440
make_clip clip2.avi smptebars 660

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting vantrel with $samples/clip1.avi and clip2.avi ..."
  exec build/src/app/vantrel "$samples/clip1.avi" "$samples/clip2.avi"
fi
echo "No display is available for the desktop application; joining the sample clips with vantrel-cli instead."
build/src/cli/vantrel-cli join --copy --overwrite -o "$samples/joined.avi" "$samples/clip1.avi" "$samples/clip2.avi"
