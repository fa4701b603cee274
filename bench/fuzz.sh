#!/usr/bin/env bash
# Runs the fuzz targets for longer than `make test-fuzz` does: SECONDS each (default 300), with
# JOBS workers each (default: half the processors), from its seed corpus. What adds coverage is
# kept in build-sanitize/fuzz/long-corpus/<target>/ for the next run; every crash input is written to
# fuzz/regressions/<target>/, where the replay tests pick it up. Builds the sanitizer tree first.
#   bench/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-300}
[ $# -gt 0 ] && shift
build=$root/build-sanitize
jobs=${JOBS:-$(($(nproc) / 2 > 0 ? $(nproc) / 2 : 1))}

make --no-print-directory sanitize-build
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for program in "$build"/fuzz/fuzz_*; do
        [ -f "$program" ] && [ -x "$program" ] && targets+=("${program##*/fuzz_}")
    done
fi

for target in "${targets[@]}"; do
    corpus=$build/fuzz/long-corpus/$target
    crashes=$root/fuzz/regressions/$target
    log=$build/fuzz/$target.log
    mkdir -p "$corpus" "$crashes"
    before=$(ls "$crashes" | wc -l)
    # With -fork a crash ends only the worker that found it: one run can find several.
    "$build/fuzz/fuzz_$target" -fork="$jobs" -ignore_crashes=1 -ignore_ooms=1 \
        -ignore_timeouts=1 -max_total_time="$seconds" -close_fd_mask=1 \
        -artifact_prefix="$crashes/" "$corpus" "$build/fuzz/corpus/$target" >"$log" 2>&1 || true
    runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
    after=$(ls "$crashes" | wc -l)
    printf '%-16s %6ss %12s runs  %d new crash input(s)  (log: %s)\n' \
        "$target" "$seconds" "${runs:-?}" $((after - before)) "$log"
    [ "$after" -gt 0 ] || rmdir "$crashes"
done
