#!/usr/bin/env bash
# Reads a generated 100,000-track library with our reader and with Python's
# plistlib, and prints both times and the ratio.
#   bench/plist_bench.sh [TRACKS]
set -euo pipefail
cd "$(dirname "$0")/.."
tracks=${1:-100000}
folder=$(bash tools/build.sh release)
mkdir -p build/bench
library=build/bench/library-$tracks.xml
[ -f "$library" ] || python3 bench/gen_library.py "$tracks" "$library"
size_mb=$(( $(stat -c %s "$library") / 1048576 ))

read -r n_tree t_tree rss_tree < <("$folder/bench/plist_read" "$library")
read -r n_stream t_stream rss_stream < <("$folder/bench/plist_read" "$library" --stream)
read -r n_py t_py rss_py < <(python3 bench/plistlib_read.py "$library")

echo "library: $library ($tracks tracks, $size_mb MiB)"
printf '%-28s %8s s %10s MiB\n' "plistlib.load" "$t_py" "$((rss_py / 1024))"
printf '%-28s %8s s %10s MiB   %5.1fx faster\n' "ours, whole tree" "$t_tree" "$((rss_tree / 1024))" \
  "$(awk -v a="$t_py" -v b="$t_tree" 'BEGIN{print a/b}')"
printf '%-28s %8s s %10s MiB   %5.1fx faster\n' "ours, tracks streamed" "$t_stream" "$((rss_stream / 1024))" \
  "$(awk -v a="$t_py" -v b="$t_stream" 'BEGIN{print a/b}')"
[ "$n_tree" = "$n_py" ] && [ "$n_stream" = "$n_py" ] || { echo "track counts differ: $n_tree $n_stream $n_py"; exit 1; }
