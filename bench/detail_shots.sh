#!/usr/bin/env bash
# Screenshots of the detail windows with live readings: the program on trayer (an X11 tray) on a
# private X display, each window opened at start with --details. Writes details-<Area>.png.
# Usage: bench/detail_shots.sh [build-dir] [out-dir] ["CPU GPU ..."] [program options, e.g. --root DIR]
set -euo pipefail
build=$(realpath "${1:-build}")
out=$(realpath "${2:-shots}")
areas=${3:-CPU GPU Memory Disk Network Battery Sensors}
shift $(($# > 3 ? 3 : $#))
mkdir -p "$out"
source "$(dirname "$0")/desktop.sh"
tray_desktop 1024x800x24
for area in $areas; do
    "$build/app/orbimeter" --details "$area" "$@" >"$work/app-$area.log" 2>&1 &
    app=$!
    sleep 6 # a few ticks of history
    import -window root "$out/details-$area.png"
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    echo "written to $out/details-$area.png"
done
