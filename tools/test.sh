#!/usr/bin/env bash
# Every test: installs what is missing, then builds and runs the unit tests
# three times: a normal build, AddressSanitizer + UBSan, and ThreadSanitizer.
# The command-line tests (cli.*) drive the whole program over the sandbox;
# ThreadSanitizer runs everything but them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
# Playwright for the browser tests, as locked; it downloads no browser.
(cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)

folder=$(bash tools/build.sh release)
ctest --test-dir "$folder" --output-on-failure -j "$(nproc)"

folder=$(bash tools/build.sh sanitize)
(
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp
  ctest --test-dir "$folder" --output-on-failure -j "$(nproc)"
)

folder=$(bash tools/build.sh tsan)
(
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tools/tsan.supp"
  # GLib's mutexes and thread pools wait on futexes ThreadSanitizer cannot
  # see, so every GStreamer pipeline reads as racing with itself; the
  # GStreamer player's own tests run under the other two builds.
  ctest --test-dir "$folder" --output-on-failure -j "$(nproc)" -E '^cli\.|^browser\.|^GstMediaPlayer|/GstMediaPlayerMediaTest\.'
)
echo "All tests passed."
