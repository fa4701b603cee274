#!/usr/bin/env bash
# Writes the seed corpus of every fuzz target into OUT/<target>/, from the captured /proc and /sys
# trees of tests/fixtures and the few hand-written seeds of fuzz/seeds/. Files are seeds as they
# are; a /sys tree becomes one "path=value" line per file, as the tree targets read them.
set -euo pipefail
out=${1:?usage: fuzz/seeds.sh OUT}
here=$(cd "$(dirname "$0")" && pwd)
fixtures=$here/../tests/fixtures
cd "$fixtures"

# Copies the fixture files whose paths match one of the patterns into OUT/<target>/.
files() {
    local target=$1
    shift
    mkdir -p "$out/$target"
    for pattern in "$@"; do
        find . -path "$pattern" -type f | sort | while IFS= read -r file; do
            local name=${file#./}
            cp "$file" "$out/$target/${name//\//_}"
        done
    done
}

# A file's first 256 bytes on one line: backslashes doubled, newlines written as \n, the last
# newline left to the reader of the line.
escaped() {
    head -c 256 "$1" | perl -0777 -pe 's/\n\z//; s/\\/\\\\/g; s/\n/\\n/g'
}

# One seed per tree: each file below `folder` of a fixture, at most `depth` deep.
trees() {
    local target=$1 folder=$2 depth=$3
    mkdir -p "$out/$target"
    find . -path "*/$folder" -type d | sort | while IFS= read -r tree; do
        local name=${tree#./}
        # Shallow files first: the tree targets take only the first few dozen lines.
        (cd "$tree" && find -L . -mindepth 1 -maxdepth "$depth" -type f 2>/dev/null |
            awk -F/ '{ print NF " " $0 }' | LC_ALL=C sort -n -k1,1 -k2 | cut -d' ' -f2- |
            while IFS= read -r file; do
                printf '%s=' "${file#./}"
                escaped "$file"
                printf '\n'
            done || true) >"$out/$target/${name//\//_}"
    done
}

files processor '*/proc/stat' '*/proc*/stat' '*/proc/cpuinfo' '*/proc/loadavg' '*/proc/uptime' \
    '*/sys/devices/cpu_*/cpus'
files process '*/proc/[0-9]*/stat' '*/proc/[0-9]*/status' '*/proc/[0-9]*/statm'
files memory '*/proc/meminfo' '*/mm_stat'
files counters '*/proc/net/dev' '*/proc/net/wireless' '*/proc/diskstats'
files device_names '*/pci.ids' '*/amdgpu.ids'
trees hwmon sys/class/hwmon 3
trees power_supply sys/class/power_supply 2
trees drm sys/class/drm 5
# The thermal target reads a whole /sys: zones, their hwmon twins and the throttle counters.
mkdir -p "$out/thermal"
find . -path '*/sys/class/thermal' -type d | sort | while IFS= read -r zones; do
    sys=${zones%/class/thermal}
    name=${sys#./}
    (cd "$sys" && find -L class/thermal class/hwmon devices/system/cpu -mindepth 1 -maxdepth 5 \
        -type f 2>/dev/null | LC_ALL=C sort | while IFS= read -r file; do
            printf '%s=' "$file"
            escaped "$file"
            printf '\n'
        done || true) >"$out/thermal/${name//\//_}"
done
# Each client's fdinfo before and after, then its card's uevent.
mkdir -p "$out/fdinfo"
for fdinfo in handmade-intel/clients/proc/*/fdinfo/*; do
    later=handmade-intel/clients-later/${fdinfo#handmade-intel/clients/}
    [ -f "$later" ] || later=$fdinfo
    name=${fdinfo//\//_}
    { cat "$fdinfo"; printf '\n'; cat "$later"; printf '\n'
      cat handmade-intel/clients/sys/class/drm/card0/device/uevent 2>/dev/null || true
    } >"$out/fdinfo/$name"
done

# Targets whose input is no file of a tree start from hand-written seeds.
for target in "$here"/seeds/*/; do
    [ -d "$target" ] || continue
    name=$(basename "$target")
    mkdir -p "$out/$name"
    cp "$target"* "$out/$name/"
done
