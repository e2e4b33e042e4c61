#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs Mirelune.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
folder=$(bash tools/build.sh release)
"$folder/src/cli/mirelune" --help
