#!/usr/bin/env bash
# Every test: installs what is missing, then builds and runs the unit tests
# twice, in a normal build and under AddressSanitizer + UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

folder=$(bash tools/build.sh release)
ctest --test-dir "$folder" --output-on-failure -j "$(nproc)"

folder=$(bash tools/build.sh sanitize)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp
ctest --test-dir "$folder" --output-on-failure -j "$(nproc)"
echo "All tests passed."
