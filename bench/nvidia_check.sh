#!/usr/bin/env bash
# What the probe reads from the NVIDIA driver, side by side with nvidia-smi at the same moment.
# Builds nothing: it runs an existing probe. The library starts off the main thread, so the
# first ticks may come before it answers; the last of a few ticks is the one compared.
# Usage: bench/nvidia_check.sh [build-dir] [seconds-allowed]
set -uo pipefail
build=${1:-build}
allowed=${2:-60}
probe="$build/probe/orbimeter-probe"
[ -x "$probe" ] || { echo "no probe at $probe (build the orbimeter-probe target)" >&2; exit 2; }

echo "== nvidia-smi"
timeout "$allowed" nvidia-smi \
    --query-gpu=name,utilization.gpu,memory.used,memory.total,power.draw --format=csv ||
    echo "(nvidia-smi failed: $?)"

echo "== orbimeter-probe (last of 3 ticks; the library's own line, if any, shown as is)"
lines=$(timeout "$allowed" "$probe" --watch --count 3 --json 2>&1)
status=$?
echo "$lines" | grep -v '^{' || true
last=$(echo "$lines" | grep '^{' | tail -n 1)
[ -n "$last" ] || { echo "(no reading; probe exit status $status)"; exit 1; }
echo "$last" | python3 -c '
import json, sys
fields = json.load(sys.stdin)
for key in sorted(fields):
    if key.startswith("gpu") and not key.endswith("History"):
        value = fields[key]
        if key.startswith("gpuMemory") and isinstance(value, (int, float)):
            value = "%d (%.0f MiB)" % (value, value / 2**20)
        print("%-22s %s" % (key, value))
'

echo "== nvidia-smi again, after the probe"
timeout "$allowed" nvidia-smi \
    --query-gpu=name,utilization.gpu,memory.used,memory.total,power.draw --format=csv,noheader ||
    true
