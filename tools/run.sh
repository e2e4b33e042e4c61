#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the whole program
# offline against the sandbox, with a report of each step. Arguments go to
# `mirelune demo` (--headless by default; pass --keep-open to explore).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
folder=$(bash tools/build.sh release)
if [ $# -eq 0 ]; then set -- --headless; fi
exec "$folder/src/cli/mirelune" demo "$@"
