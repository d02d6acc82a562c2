#!/usr/bin/env bash
# Installs what Vantrel needs to build, run and test on Debian 12.
# Idempotent: when every package is already present it only checks and returns.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
  qt6-base-dev libqt6svg6
  # Fonts for the widgets, so that a fresh machine measures texts as a
  # developer's does.
  fonts-dejavu-core fonts-liberation2
  ffmpeg mencoder
  # Other writers and judges for the tests' inputs and outputs.
  mjpegtools mkvtoolnix mediainfo
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-plugins-bad gstreamer1.0-libav
  # The manual pages, their reader, and the judges of the installed tree and
  # the Debian package (file is what cpack tells executables by).
  scdoc man-db appstream desktop-file-utils lintian file
  # Counts how often each input is opened.
  strace
  # A browser's decoder for the joined MP4s, driven by a Python script.
  chromium chromium-driver python3
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
