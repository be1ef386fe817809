#!/usr/bin/env bash
# Installs what is missing, builds Lumbrex and runs the whole test suite on Qt's offscreen
# platform, with settings redirected into a throwaway folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/config"
cd build
ctest --output-on-failure --timeout 900 -j2
