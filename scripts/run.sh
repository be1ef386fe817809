#!/usr/bin/env bash
# Installs what is missing, builds Lumbrex and opens its main window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec build/bin/lumbrex "$@"
