#!/usr/bin/env bash
# Configures and builds one flavour: "release" (default), "sanitize"
# (AddressSanitizer + UndefinedBehaviorSanitizer) or "tsan" (ThreadSanitizer).
# Prints the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-release}
case "$flavour" in
  release) options=(-DCMAKE_BUILD_TYPE=Release -DMIRELUNE_BENCH=ON) ;;
  sanitize) options=(-DCMAKE_BUILD_TYPE=Debug -DMIRELUNE_SANITIZE=ON) ;;
  tsan) options=(-DCMAKE_BUILD_TYPE=Debug -DMIRELUNE_TSAN=ON) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac

folder="build/$flavour"
cmake -S . -B "$folder" -G Ninja "${options[@]}" >/dev/null
# Two cores: one compiler per core.
ninja -C "$folder" -j "$(nproc)" >&2
echo "$folder"
