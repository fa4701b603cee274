#!/usr/bin/env bash
# Time from opening the popover to its first frame, on a private X display.
# Usage: bench/popover_open.sh [build-dir]   (needs the bench targets: -DORB_BUILD_BENCH=ON)
set -euo pipefail
build=$(realpath "${1:-build}")
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
source "$(dirname "$0")/desktop.sh"
start_display "$work"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
"$build/bench/orbimeter_popover_open"
