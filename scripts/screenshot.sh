#!/usr/bin/env bash
# Takes the README's screenshot: the real window under Xvfb after a small run over the
# bundled samples. Usage: scripts/screenshot.sh [OUTPUT.png]  (default docs/screenshot.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshot.png}")
program=$(realpath "${LUMBREX_BIN:-build/bin/lumbrex}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime" && mkdir "$scratch/config"
# The search text and mode a user would have left from an earlier session.
printf '[Lumbrex]\nText1=Dozida\nCombo1=9\n' >"$scratch/config/Tarnwick.ini"
cat >"$scratch/drive.sh" <<DRIVE
set -e
"$program" & pid=\$!
for i in \$(seq 50); do
    window=\$(xdotool search --name '^Lumbrex\$' 2>/dev/null | head -1) && [ -n "\$window" ] && break
    sleep 0.1
done
sleep 1
eval \$(xdotool getwindowgeometry --shell "\$window")
# Positions follow from the window's fixed layout (see MainWindow::buildControls).
xdotool mousemove \$((X + 508)) \$((Y + 225)) click 1   # Load Sample/Example Files
sleep 1; xdotool key Escape                             # do not open the folder
sleep 1; xdotool mousemove \$((X + 796)) \$((Y + 119)) click 1   # Start Extracting
sleep 2; xdotool key Return                             # Done.
sleep 1; xdotool mousemove \$((X + 300)) \$((Y + 10))
sleep 0.5; import -window "\$window" "$out"
kill \$pid
DRIVE
XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime" \
    xvfb-run -a -s "-screen 0 1280x800x24" bash "$scratch/drive.sh"
echo "wrote $out"
