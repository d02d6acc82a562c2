#!/usr/bin/env bash
# Builds the Debian package from a release build in build-release/:
# vantrel_<version>_<arch>.deb with stripped executables, their debug symbols
# in vantrel-dbgsym_<version>_<arch>.ddeb, and checks the package with
# lintian (errors and warnings fail; the notes are shown).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# The compiler and linker hardening a Debian build uses.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build build-release -j2
rm -f build-release/vantrel_*.deb build-release/vantrel-dbgsym_*.ddeb
(cd build-release && cpack -G DEB)
deb=$(ls build-release/vantrel_*.deb)
# Root is warned against; the warning says nothing about the package.
lintian --fail-on error,warning --display-info "$deb" 2> >(grep -v 'root privileges' >&2)
echo "$deb"
