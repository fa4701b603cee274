#!/usr/bin/env bash
# Long runs under process churn: the engine for TICKS ticks of 10 ms, then the tray program for
# MINUTES of 10 ms ticks with its popover open. Each prints resident memory, open descriptors and
# the process tracker's size at start (after a warm-up), middle and end, and fails on growth
# beyond its bounds. `make test` runs the same scripts for a few thousand ticks.
# Usage: bench/soak.sh [build-dir] [TICKS=100000] [MINUTES=10]
set -uo pipefail
build=${1:-build}
ticks=${2:-100000}
minutes=${3:-10}
tests=$(dirname "$(realpath "$0")")/../tests/soak
status=0
bash "$tests/engine.sh" "$build" "$ticks" || status=1
echo
bash "$tests/gui.sh" "$build" $((minutes * 60))
case $? in 0) ;; 77) echo "GUI soak skipped" ;; *) status=1 ;; esac
exit "$status"
