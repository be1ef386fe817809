#!/usr/bin/env bash
# Starts a private X server (Xvfb) and D-Bus session and runs one end-to-end scenario of
# drive.py against the real program. Screenshots, the program's output and, on failure, the
# widget tree are left in ARTEFACT_DIR.
# Usage: run_e2e.sh SCENARIO BINARY ARTEFACT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scenario=$1
binary=$2
artefacts=$3
rm -rf "$artefacts"
mkdir -p "$artefacts"
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" \
  dbus-run-session -- /usr/bin/python3 "$here/drive.py" --scenario "$scenario" \
  --binary "$binary" --artefacts "$artefacts" 2> >(grep -v 'Failed to set fd limit' >&2)
