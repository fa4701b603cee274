#!/usr/bin/env bash
# The probe's Prometheus output as the real tools see it: promtool accepts it on this machine
# and on every fixture root, and node_exporter's textfile collector serves what the probe wrote,
# sample for sample.
# Usage: prometheus_tools.sh PROBE FIXTURES_DIR
set -euo pipefail
probe=$1
fixtures=$2

skip() {
    echo "SKIP: $* (scripts/setup.sh installs it)"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
command -v promtool >/dev/null || skip "promtool is missing: Debian package prometheus"
exporter=$(command -v prometheus-node-exporter || command -v node_exporter || true)
[ -n "$exporter" ] || skip "node_exporter is missing: Debian package prometheus-node-exporter"
command -v curl >/dev/null || skip "curl is missing"

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "$work"' EXIT

# promtool must accept one sample of the probe; the remaining arguments go to the probe.
check_metrics() {
    local where=$1
    shift
    "$probe" --format prometheus --tick-interval-ms 50 "$@" >"$work/sample.prom" 2>"$work/errors" ||
        fail "$where: the probe failed: $(cat "$work/errors")"
    grep -q '^orbimeter_' "$work/sample.prom" || fail "$where: no orbimeter series"
    # Any finding it prints fails, whatever its exit status.
    promtool check metrics <"$work/sample.prom" >"$work/promtool" 2>&1 && [ ! -s "$work/promtool" ] ||
        fail "$where: promtool check metrics: $(cat "$work/promtool")"
}

check_metrics "live machine"
roots=0
# A fixture root is a folder holding proc/ or sys/ (not one inside another root's tree).
while read -r root; do
    check_metrics "${root#"$fixtures"/}" --root "$root"
    roots=$((roots + 1))
done < <(find "$fixtures" -mindepth 2 -maxdepth 5 -type d \( -name proc -o -name sys \) \
    -not -path '*/proc/*' -not -path '*/sys/*' -printf '%h\n' | sort -u)
[ "$roots" -gt 0 ] || fail "no fixture roots under $fixtures"
echo "promtool check metrics accepts the live sample and $roots fixture roots"

# node_exporter with nothing but the textfile collector, on a free port of the loopback, reading
# a laptop's tree (labelled series: sensors, thermal states, process groups).
textfiles="$work/textfile"
mkdir "$textfiles"
"$probe" --format prometheus --tick-interval-ms 50 --root "$fixtures/prometheus-procfs" \
    --output "$textfiles/orbimeter.prom" 2>"$work/errors" ||
    fail "the probe could not write $textfiles/orbimeter.prom: $(cat "$work/errors")"
for attempt in 1 2 3 4 5 6 7 8; do
    port=$((20000 + RANDOM % 40000))
    "$exporter" --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
        --collector.textfile --collector.textfile.directory="$textfiles" \
        --web.disable-exporter-metrics >"$work/exporter.log" 2>&1 &
    for _ in $(seq 50); do
        curl -sf "http://127.0.0.1:$port/metrics" -o "$work/served" && break 2
        kill -0 $! 2>/dev/null || break # the port was taken: try another
        sleep 0.1
    done
    kill $! 2>/dev/null || true
    wait $! 2>/dev/null || true
done
[ -s "$work/served" ] || fail "node_exporter did not serve: $(cat "$work/exporter.log")"

grep -q '^node_textfile_scrape_error 0$' "$work/served" ||
    fail "node_exporter could not read the file: $(grep textfile "$work/served")"
# Every series the probe wrote is served with the same value (compared as numbers: the
# exporter writes them anew).
series() {
    awk '/^orbimeter_/ { at = match($0, / [^ ]+$/); printf "%s %.17g\n", substr($0, 1, at - 1), substr($0, at + 1) }' "$1" |
        sort
}
series "$textfiles/orbimeter.prom" >"$work/written"
[ -s "$work/written" ] || fail "the probe wrote no series"
changed=$(series "$work/served" | comm -23 "$work/written" -)
[ -z "$changed" ] || fail "node_exporter left out or changed these (as written): $(head -5 <<<"$changed")"
echo "node_exporter serves all $(wc -l <"$work/written") series as written"
