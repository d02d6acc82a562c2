#!/usr/bin/env bash
# Builds the engines and their tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs the tests; any
# sanitizer report, from a test or from a program a test starts, fails.
#   bash scripts/sanitize.sh
# VANTREL_SANITIZE_ALL=1 adds the media-framework and command-line suites
# (slower); VANTREL_SANITIZE_JOBS sets the parallel jobs (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS="${VANTREL_SANITIZE_JOBS:-1}"
BUILD=build-asan
TARGETS=(core_test avi_test mpeg_test hardening_test remux_test)
if [ "${VANTREL_SANITIZE_ALL:-0}" = 1 ]; then
  TARGETS+=(recompress_test mpeg_integration_test cli_join_test)
fi

bash scripts/install-deps.sh
# -O1 -g1: the checks and line numbers in reports are all this build is
# for, and it compiles in well under the time of -O2 -g.
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DVANTREL_BUILD_TESTS=ON >/dev/null

REPORTS="$PWD/$BUILD/sanitizer-reports"
rm -rf "$REPORTS"
mkdir -p "$REPORTS"
# Reports go to files as well as failing the process: a report from a
# program a test runs (vantrel-cli) or from a child it forks counts too.
export ASAN_OPTIONS="detect_leaks=1:log_path=$REPORTS/asan:log_exe_name=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$REPORTS/ubsan:log_exe_name=1"

# Building runs each test program once to list its tests.
ninja -C "$BUILD" -j"$JOBS" "${TARGETS[@]}"

# Tests of programs not built here are left out.
status=0
ctest --test-dir "$BUILD" -j"$JOBS" --output-on-failure -E '_NOT_BUILT$' || status=1

if compgen -G "$REPORTS/*" >/dev/null; then
  echo "Sanitizer reports:" >&2
  for f in "$REPORTS"/*; do
    echo "== $f" >&2
    cat "$f" >&2
  done
  status=1
fi
if [ $status -eq 0 ]; then echo "sanitize: every test passed without a sanitizer report"; fi
exit $status
