#!/usr/bin/env bash
# Neither program waits for connections: once they have started every reader (the probe) or
# their windows and tray item (the tray program, on a private X display with a private session
# bus), none of their sockets listens, and no UDP or raw socket is bound without a peer.
# Usage: sockets.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?usage: $0 BUILD_DIR}")
here=$(dirname "$(realpath "$0")")
source "$here/../soak/figures.sh"
source "$here/../e2e/display.sh"
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

# Checks the process after $2 seconds; $3 names it.
check() {
    sleep "$2"
    kill -0 "$1" 2>/dev/null || { echo "FAIL: the $3 ended early"; exit 1; }
    local sockets
    sockets=$(for fd in "/proc/$1/fd/"*; do readlink "$fd"; done 2>/dev/null | grep -c '^socket:' || true)
    listening_sockets "$1" || { echo "FAIL: the $3 waits for connections"; exit 1; }
    echo "$3: $sockets sockets, none listening"
}

"$build/probe/orbimeter-probe" --watch --tick-interval-ms 50 >/dev/null 2>&1 &
pids+=($!)
check "$!" 3 probe

if ! command -v Xvfb >/dev/null || ! command -v dbus-daemon >/dev/null || [ ! -x "$build/app/orbimeter" ]; then
    echo "tray program not checked: it needs Xvfb, dbus-daemon and the program built"
    exit 0
fi
dbus-daemon --session --nofork --print-address=4 4>"$work/bus" >/dev/null 2>&1 &
pids+=($!)
start_xvfb "$work" || { echo "FAIL: no X display could be started"; exit 1; }
for _ in $(seq 50); do [ -s "$work/bus" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus") XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/config" HOME="$work"
"$build/app/orbimeter" --tick-interval-ms 50 --details CPU >/dev/null 2>&1 &
pids+=($!)
check "$!" 5 "tray program"
