#!/usr/bin/env bash
# A screenshot of the popover with live readings: the program on trayer (an X11 tray) on a private
# X display, its tray item clicked with xdotool. Writes popover.png (the whole screen) and
# popover-lower.png (scrolled to its last cards).
# Usage: bench/popover_shot.sh [build-dir] [out-dir] [program options, e.g. --root DIR]
set -euo pipefail
build=$(realpath "${1:-build}")
out=$(realpath "${2:-shots}")
shift $(($# > 2 ? 2 : $#))
mkdir -p "$out"
source "$(dirname "$0")/desktop.sh"
tray_desktop 1024x800x24
"$build/app/orbimeter" "$@" >"$work/app.log" 2>&1 &
pids+=($!)
sleep 4
# trayer aligned right: the one item sits at the panel's right end.
xdotool mousemove 1012 12 click 1
sleep 3
import -window root "$out/popover.png"
# The lower cards (disk, battery, sensors), scrolled into view with the wheel.
xdotool mousemove 850 500
for _ in $(seq 12); do xdotool click 5; done
sleep 1
import -window root "$out/popover-lower.png"
sed "s/^/  app: /" "$work/app.log"
echo "written to $out/popover.png and $out/popover-lower.png"
