#!/usr/bin/env bash
# Takes the README's screenshots: the real window under Xvfb after a small run over the
# bundled samples, at its designed size, and then enlarged with the whole text of a long
# result row in its tool tip.
# Usage: scripts/screenshot.sh [OUTPUT.png [ENLARGED.png]]
#        (default docs/screenshot.png and docs/screenshot-enlarged.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshot.png}")
enlarged=$(realpath -m "${2:-docs/screenshot-enlarged.png}")
program=$(realpath "${LUMBREX_BIN:-build/bin/lumbrex}")
scratch=$(mktemp -d /tmp/lumbrex.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime" && mkdir "$scratch/config"
# A program folder of its own, so the rows show a plain path rather than a build tree's.
# The command starts the window's program beside it.
folder=$(dirname "$program")
mkdir "$scratch/lumbrex"
for item in "$program" "$folder/lumbrex-window" "$folder/Samples" "$folder/HAND-M.CUR" "$folder/drag.ico" "$folder/x"; do
  [ -e "$item" ] && cp -r "$item" "$scratch/lumbrex/"
done
program="$scratch/lumbrex/$(basename "$program")"
# The search text, mode and line numbers a user would have left from an earlier session.
printf '[Lumbrex]\nText1=Dozida\nCombo1=9\nCheck5=1\n' >"$scratch/config/Tarnwick.ini"
cat >"$scratch/drive.sh" <<DRIVE
set -e
"$program" & pid=\$!
for i in \$(seq 50); do
    window=\$(xdotool search --name '^Lumbrex\$' 2>/dev/null | head -1) && [ -n "\$window" ] && break
    sleep 0.1
done
sleep 1
eval \$(xdotool getwindowgeometry --shell "\$window")
# Positions follow from the window's designed layout (see WindowLayout.cpp).
xdotool mousemove \$((X + 508)) \$((Y + 205)) click 1   # Load Sample/Example Files
sleep 1; xdotool key Escape                             # do not open the folder
sleep 1; xdotool mousemove \$((X + 796)) \$((Y + 119)) click 1   # Start Extracting
sleep 2; xdotool key Return                             # Done.
sleep 1; xdotool mousemove \$((X + 300)) \$((Y + 10))
sleep 0.5; import -window "\$window" "$out"
# Enlarged: the lists take the room; resting on a row still cut shows its whole text.
xdotool windowsize --sync "\$window" 1270 720
xdotool windowmove --sync "\$window" 0 0
xdotool windowfocus --sync "\$window"   # tool tips show over the active window
sleep 1
xdotool mousemove 900 $((208 + 6 * 18)) sleep 0.3 mousemove 902 $((208 + 6 * 18))
sleep 1.5; import -window root -crop 1270x720+0+0 +repage "$enlarged"
kill \$pid
DRIVE
XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime" \
    xvfb-run -a -s "-screen 0 1280x800x24" bash "$scratch/drive.sh"
echo "wrote $out and $enlarged"
