#!/usr/bin/env bash
# The short fuzz run of `make test-fuzz`: each target of the clang build BUILD for a fixed number
# of runs with a fixed seed over its seed corpus, so that a failure reproduces. New inputs go to a
# scratch folder, never into the corpus. Fails when a target crashes; the input is left in
# BUILD/fuzz/crashes/<target>/ (keep it under fuzz/regressions/<target>/ once fixed).
set -uo pipefail
build=${1:?usage: fuzz/run-short.sh BUILD}
cd "$build/fuzz"
# Runs per target, sized so that all of them take about a minute in the sanitizer tree: the targets
# that write a tree of files per input run a hundred times slower than the pure parsers.
runs=(processor:2000 process:10000 memory:6000 counters:5000 hwmon:300 power_supply:2000
    thermal:500 drm:1500 fdinfo:3000 nl80211:200000 device_names:5000 property_table:25000
    settings:1000)
failed=0
for entry in "${runs[@]}"; do
    target=${entry%%:*}
    count=${entry##*:}
    scratch=$(mktemp -d)
    mkdir -p "crashes/$target"
    start=$(date +%s%N)
    if ./"fuzz_$target" -seed=1 -runs="$count" -close_fd_mask=1 -artifact_prefix="crashes/$target/" \
        "$scratch" "corpus/$target" >"short-$target.log" 2>&1; then
        elapsed=$((($(date +%s%N) - start) / 1000000))
        printf 'fuzz %-15s %7d runs %3d.%01ds\n' "$target" "$count" $((elapsed / 1000)) \
            $((elapsed % 1000 / 100))
    else
        failed=1
        echo "fuzz $target FAILED: see $build/fuzz/short-$target.log"
        grep -E 'ERROR|runtime error|SUMMARY' "short-$target.log" | head -5
    fi
    rm -rf "$scratch"
done
exit $failed
