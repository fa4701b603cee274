#!/usr/bin/env bash
# Starts Orbimeter. Without a display there is no tray to live in, so the sampling engine runs
# in the terminal instead and prints its readings every second.
set -euo pipefail
build=${1:-build}
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build/app/orbimeter" ]; then
    exec "$build/app/orbimeter"
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): printing the live readings instead."
else
    echo "The tray program is not built yet: printing the live readings instead."
fi
exec "$build/probe/orbimeter-probe" --watch
