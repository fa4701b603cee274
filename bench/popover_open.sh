#!/usr/bin/env bash
# Time from opening the popover to its first frame, on a private X display.
# Usage: bench/popover_open.sh [build-dir]   (needs the bench targets: -DORB_BUILD_BENCH=ON)
set -euo pipefail
build=$(realpath "${1:-build}")
source "$(dirname "$0")/desktop.sh"
private_desktop
"$build/bench/orbimeter_popover_open"
