#!/usr/bin/env bash
# What Orbimeter costs next to the monitors people already run, in one table: the CPU seconds
# (utime + stime from /proc/PID/stat: the process's own threads, no children, not the X server
# or terminal drawing for it) and the peak resident memory (VmHWM, reset as the window opens) of
# each program over the same window, on the machine as it is and again with extra idle
# processes; then the startup figures (startup_times.sh).
#   (a) orbimeter-probe --watch: the engine alone
#   (b) orbimeter with the popover closed, (c) open (a click on the tray item), (d) with the CPU
#       detail window open: each on its own private X display with an X11 tray (trayer)
#   (e) top -b -d 1, (f) htop -d 10, (g) btop at a 1 s refresh: the last two in a terminal of
#       their own (tmux), with a private HOME
#   (h) the floor (floor.cpp, target orbimeter_floor): the kernel files the engine reads, read
#       the same way at the same times and nothing else, so the least the engine could cost;
#       the engine is given as a multiple of it and of top
#   (i) the engine's event loop alone (event_loop.cpp, target orbimeter_event_loop): its timers
#       and threads waking as the engine's do, reading nothing; with it the engine's gap to the
#       floor splits into what the loop costs and what the reading, parsing and printing cost
# By default all of them run at once over one window: each sleeps nearly all the time, together
# they keep well under one core busy, so none waits for another, and all see the same process
# table and the same noise from the rest of the machine (on a shared machine, windows taken one
# after another see different noise). ORB_BENCH_SEQUENTIAL=1 measures them one at a time
# instead (16 windows), for a machine with a single core.
# Usage: bench/overhead_table.sh [build-dir] [seconds] [extra-processes]
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-60}
extra=${3:-1000}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/desktop.sh"

labels=(probe closed open details top htop btop floor loop)
declare -A title=(
    [probe]="(a) orbimeter-probe --watch" [closed]="(b) orbimeter, popover closed"
    [open]="(c) orbimeter, popover open" [details]="(d) orbimeter, detail window open"
    [top]="(e) top -b -d 1" [htop]="(f) htop -d 10" [btop]="(g) btop, 1 s refresh"
    [floor]="(h) floor: the engine's reads alone"
    [loop]="(i) the engine's event loop alone")
declare -A pid=() group=() display=() skipped=()

work=$(mktemp -d)
pids=()
idle=()
tmux_socket=orbimeter-bench-$$
cleanup() {
    tmux -L "$tmux_socket" kill-server 2>/dev/null || true
    kill "${pids[@]}" "${idle[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# utime + stime in clock ticks; the name in parentheses may hold spaces.
cpu_ticks() {
    local stat fields
    stat=$(<"/proc/$1/stat") || return 1
    read -ra fields <<<"${stat##*) }"
    echo $((fields[11] + fields[12]))
}

# Time on a processor in nanoseconds, summed over the threads (schedstat): at rest the programs
# take a few clock ticks a minute, too few to compare two of them by.
cpu_ns() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ sum += $1 } END { if (NR) printf "%.0f\n", sum; else exit 1 }'
}

# Whether a window of exactly this name is on screen (xdotool's name match ignores case, and
# the tray items are named "orbimeter").
window_shown() {
    local id
    for id in $(xwininfo -root -tree | awk -v name="\"$1\":" '$2 == name { print $1 }'); do
        xwininfo -id "$id" | grep -q 'Map State: IsViewable' && return 0
    done
    return 1
}

start_in_terminal() {
    local label=$1
    shift
    if ! command -v "$1" >/dev/null; then
        skipped[$label]="$1 is not installed (scripts/setup.sh installs it)"
        return
    fi
    if ! command -v tmux >/dev/null; then
        skipped[$label]="tmux is not installed: no terminal to run $1 in"
        return
    fi
    mkdir -p "$work/peers/config/btop"
    [ -e "$work/peers/config/btop/btop.conf" ] ||
        printf 'update_ms = 1000\n' >"$work/peers/config/btop/btop.conf"
    HOME=$work/peers XDG_CONFIG_HOME=$work/peers/config LANG=C.UTF-8 TERM=xterm-256color \
        tmux -L "$tmux_socket" -f /dev/null new-session -d -s "$label" -x 160 -y 50 "exec $*"
    pid[$label]=$(tmux -L "$tmux_socket" display-message -p -t "$label" '#{pane_pid}')
}

start_on_desktop() {
    local label=$1 options=()
    [ "$label" = details ] && options=(--details CPU)
    mkdir -m 700 "$work/$label"
    start_display "$work/$label"
    group[$label]=${pids[-1]}
    display[$label]=$DISPLAY
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" # no real panel reaches it
    trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
    pids+=($!)
    group[$label]+=" $!"
    for _ in $(seq 50); do xwininfo -root -tree | grep -q '"panel"' && break; sleep 0.1; done
    "$build/app/orbimeter" "${options[@]}" >"$work/$label/log" 2>&1 &
    pid[$label]=$!
}

start_subject() {
    local label=$1
    case $label in
    probe) "$build/probe/orbimeter-probe" --watch >/dev/null 2>&1 & pid[$label]=$! ;;
    closed | open | details) start_on_desktop "$label" ;;
    top) top -b -d 1 >/dev/null 2>&1 & pid[$label]=$! ;;
    htop) start_in_terminal htop htop -d 10 ;;
    btop) start_in_terminal btop btop ;;
    floor | loop)
        local program=orbimeter_floor
        [ "$label" = loop ] && program=orbimeter_event_loop
        if [ -x "$build/bench/$program" ]; then
            "$build/bench/$program" >/dev/null 2>&1 &
            pid[$label]=$!
        else
            skipped[$label]="not built (cmake --build $build --target $program)"
        fi
        ;;
    esac
    [ -n "${pid[$label]:-}" ] && pids+=("${pid[$label]}")
    return 0
}

stop_subject() {
    local label=$1
    case $label in
    htop | btop) tmux -L "$tmux_socket" kill-session -t "$label" 2>/dev/null || true ;;
    *) kill ${pid[$label]:-} ${group[$label]:-} 2>/dev/null || true ;;
    esac
    unset "pid[$label]"
}

# Opens the popover of the program on the `open` desktop: the tray is aligned right on a
# 1280-pixel screen, so the program's items end at its right edge.
open_popover() {
    DISPLAY=${display[open]} xdotool mousemove 1268 12 click 1
}

spawn_idle() {
    while [ ${#idle[@]} -lt "$1" ]; do
        sleep 100000 &
        idle+=($!)
    done
}

# measure PHASE LABEL...: one window over the given programs; appends a line per program to
# the results (phase, label, clock ticks, peak KiB, note).
measure() {
    local phase=$1 label
    shift
    declare -A t0=() n0=()
    for label in "$@"; do
        [ -n "${pid[$label]:-}" ] || continue
        echo 5 >"/proc/${pid[$label]}/clear_refs" 2>/dev/null || true # restart VmHWM
        t0[$label]=$(cpu_ticks "${pid[$label]}" || echo gone)
        n0[$label]=$(cpu_ns "${pid[$label]}" || echo gone)
    done
    sleep "$seconds"
    for label in "$@"; do
        local ticks="" ns="" peak="" note=${skipped[$label]:-}
        if [ -n "${pid[$label]:-}" ]; then
            local t1
            t1=$(cpu_ticks "${pid[$label]}" 2>/dev/null || echo gone)
            n1=$(cpu_ns "${pid[$label]}" 2>/dev/null || echo gone)
            peak=$(awk '/VmHWM/ { print $2 }' "/proc/${pid[$label]}/status" 2>/dev/null || true)
            if [ "$t1" = gone ] || [ "${t0[$label]}" = gone ]; then
                note="exited during the window"
            else
                ticks=$((t1 - t0[$label]))
                [ "$n1" != gone ] && [ "${n0[$label]}" != gone ] && ns=$((n1 - n0[$label]))
            fi
            case $label in
            open) DISPLAY=${display[open]} window_shown Orbimeter || note="popover not open" ;;
            details) DISPLAY=${display[details]} window_shown CPU || note="detail window not open" ;;
            esac
        fi
        printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$phase" "$label" "$ticks" "$peak" "$note" "$ns" >>"$work/results"
    done
}

processes() { ls -d /proc/[0-9]* 2>/dev/null | wc -l; }

settle_and_open() {
    sleep 5 # past start-up and the first process walks
    if [ -n "${pid[open]:-}" ]; then
        open_popover
        sleep 2
    fi
}

: >"$work/results"
if [ "${ORB_BENCH_SEQUENTIAL:-0}" = 1 ]; then
    mode="one program at a time"
    for phase in idle crowded; do
        if [ "$phase" = crowded ]; then
            spawn_idle "$extra"
            sleep 2
        fi
        for label in "${labels[@]}"; do
            start_subject "$label"
            settle_and_open
            measure "$phase" "$label"
            stop_subject "$label"
        done
        echo "$phase $(processes)" >>"$work/counts"
    done
else
    mode="all programs at once"
    for label in "${labels[@]}"; do start_subject "$label"; done
    settle_and_open
    echo "idle $(processes)" >>"$work/counts"
    measure idle "${labels[@]}"
    spawn_idle "$extra"
    sleep 7 # the engines' process walks (every 3 s) take in the new processes
    echo "crowded $(processes)" >>"$work/counts"
    measure crowded "${labels[@]}"
fi

titles=$(for label in "${labels[@]}"; do printf '%s\t%s\n' "$label" "${title[$label]}"; done)
awk -F'\t' -v hz="$(getconf CLK_TCK)" -v s="$seconds" -v extra="$extra" -v mode="$mode" \
    -v cores="$(nproc)" -v titles="$titles" -v counts="$(cat "$work/counts")" '
function pct(ticks) { return 100 * ticks / hz / s }
function mb(kib) { return kib * 1024 / 1e6 }
function peer(label) { return label == "top" || label == "htop" || label == "btop" }
function ours(label) { return !peer(label) && label != "floor" && label != "loop" }
BEGIN {
    n = split(titles, lines, "\n")
    for (i = 1; i <= n; ++i) { split(lines[i], f, "\t"); order[i] = f[1]; name[f[1]] = f[2] }
    split(counts, c, "[ \n]"); count[c[1]] = c[2]; count[c[3]] = c[4]
}
{ ticks[$1, $2] = $3; peak[$1, $2] = $4; note[$1, $2] = $5; ns[$1, $2] = $6 }
END {
    printf "Overhead over the same %d s window, %s; %d cores, clock tick %.0f ms.\n", s, mode, cores, 1000 / hz
    printf "CPU: utime + stime of the process (children and the X server or terminal drawing for it not counted).\n"
    printf "Peak: VmHWM, restarted as the window opens. Ratios: ours to the cheapest peer in that column.\n"
    nphases = split("idle crowded", phases, " ")
    for (p = 1; p <= nphases; ++p) {
        phase = phases[p]
        heading = phase == "idle" ? "machine as it is" : sprintf("%d extra idle processes", extra)
        printf "\n%-40s %7s %10s %9s %9s %9s\n", sprintf("%s, %d processes", heading, count[phase]),
               "CPU s", "% of core", "x peer", "peak MB", "x peer"
        cheapest[phase] = ""; smallest[phase] = ""
        for (i = 1; i <= n; ++i) {
            l = order[i]
            if (!peer(l) || ticks[phase, l] == "") continue
            if (cheapest[phase] == "" || ticks[phase, l] < ticks[phase, cheapest[phase]]) cheapest[phase] = l
            if (smallest[phase] == "" || peak[phase, l] < peak[phase, smallest[phase]]) smallest[phase] = l
        }
        for (i = 1; i <= n; ++i) {
            l = order[i]
            if (ticks[phase, l] == "") { printf "%-40s %s\n", name[l], "skipped: " note[phase, l]; continue }
            cpu_ratio = "-"; mem_ratio = "-"
            if (ours(l) && cheapest[phase] != "")
                cpu_ratio = ticks[phase, cheapest[phase]] > 0 ? sprintf("%.2f", ticks[phase, l] / ticks[phase, cheapest[phase]]) : "inf"
            if (ours(l) && smallest[phase] != "")
                mem_ratio = sprintf("%.2f", peak[phase, l] / peak[phase, smallest[phase]])
            printf "%-40s %7.2f %10.3f %9s %9.1f %9s%s\n", name[l], ticks[phase, l] / hz, pct(ticks[phase, l]),
                   cpu_ratio, mb(peak[phase, l]), mem_ratio, note[phase, l] == "" ? "" : "  (" note[phase, l] ")"
        }
        if (cheapest[phase] != "")
            printf "%-40s %s\n", "", "cheapest peer: " cheapest[phase] ", smallest: " smallest[phase]
    }
    printf "\nGoals\n"
    goal("engine, machine as it is", "idle", "probe", 0.1, 0)
    goal(sprintf("engine, %d extra processes", extra), "crowded", "probe", 0.5, 0)
    goal("tray program, popover closed", "idle", "closed", 0.3, 60)
    multiple("engine / floor, machine as it is", "idle", "floor", 1.5)
    multiple("engine / top, machine as it is", "idle", "top", 0.5)
    multiple(sprintf("engine / floor, %d extra processes", extra), "crowded", "floor", 1.3)
    multiple(sprintf("engine / top, %d extra processes", extra), "crowded", "top", 0)
    printf "\nThe gap to the floor, machine as it is\n"
    multiple("event loop alone / floor", "idle", "floor", 0, "loop")
    multiple("engine less its event loop / floor", "idle", "floor", 0, "probe", "loop")
}
# The time the engine spent on a processor as a multiple of that of another program over the same
# window, in the nanoseconds schedstat counts; no goal when `most` is 0. Another program than the
# engine may be set against `l`, less the time of a third.
function multiple(what, phase, l, most, subject, less,   line, t) {
    if (subject == "") subject = "probe"
    if (ns[phase, subject] == "" || ns[phase, l] == "" || (less != "" && ns[phase, less] == "")) {
        printf "  %-36s not measured\n", what
        return
    }
    if (ns[phase, l] == 0) {
        printf "  %-36s %s took no measurable time: no multiple\n", what, l
        return
    }
    t = ns[phase, subject] - (less == "" ? 0 : ns[phase, less])
    line = sprintf("%.2f x (%.1f ms against %.1f ms)", t / ns[phase, l], t / 1e6, ns[phase, l] / 1e6)
    if (most > 0)
        line = line sprintf(" (at most %.1f x): %s", most, t <= most * ns[phase, l] ? "met" : "MISSED")
    printf "  %-36s %s\n", what, line
}
function goal(what, phase, l, most, mostMB,   verdict, cheap) {
    if (ticks[phase, l] == "") { printf "  %-36s not measured\n", what; return }
    verdict = pct(ticks[phase, l]) <= most ? "met" : "MISSED"
    line = sprintf("%.3f %% of a core (at most %.1f %%): %s", pct(ticks[phase, l]), most, verdict)
    if (l == "probe" && cheapest[phase] != "") {
        cheap = ticks[phase, l] < ticks[phase, cheapest[phase]]
        line = line sprintf("; below every peer (cheapest %s %.3f %%): %s", cheapest[phase],
                            pct(ticks[phase, cheapest[phase]]), cheap ? "met" : "MISSED")
    }
    if (mostMB > 0)
        line = line sprintf("; %.1f MB resident (at most %d MB): %s", mb(peak[phase, l]), mostMB,
                            mb(peak[phase, l]) <= mostMB ? "met" : "MISSED")
    printf "  %-36s %s\n", what, line
}' "$work/results"

echo
"$here/startup_times.sh" "$build"
