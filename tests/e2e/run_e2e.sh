#!/usr/bin/env bash
# Starts a private X server (Xvfb) and D-Bus session and runs one end-to-end scenario of
# drive.py against the real program. Screenshots, the program's output and, on failure, the
# widget tree are left in ARTEFACT_DIR.
# Usage: run_e2e.sh SCENARIO BINARY ARTEFACT_DIR   (E2E_SCREEN sets the screen, WxHxDEPTH)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scenario=$1
binary=$2
artefacts=$3
rm -rf "$artefacts"
mkdir -p "$artefacts"
scratch=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number once it accepts clients, so runs
# beside other X servers (a parallel test, a screenshot script) never race for a number. It
# listens on a local socket only; no other user reaches it.
Xvfb -displayfd 3 -screen 0 "${E2E_SCREEN:-1280x800x24}" -nolisten tcp -ac 3>"$scratch/display" \
  2>"$artefacts/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 200); do
  [ -s "$scratch/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -s "$scratch/display" ] || { echo "Xvfb gave no display number" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$scratch/display")"
unset XAUTHORITY

dbus-run-session -- /usr/bin/python3 "$here/drive.py" --scenario "$scenario" \
  --binary "$binary" --artefacts "$artefacts" 2> >(grep -v 'Failed to set fd limit' >&2)
