#!/usr/bin/env bash
# What a session does to a tray program over weeks: the session ends or asks it to stop
# (SIGTERM, SIGHUP: a clean quit within a second, settings untouched), and the session bus itself
# goes away (no crash, no busy loop). (A panel that restarts: tests/gui, StatusNotifierItem.)
source "$(dirname "$0")/common.sh"

need dbus-daemon gdbus
start_display
start_session_bus

# Processor time (user + system, clock ticks) a process has used so far.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

conf="$XDG_CONFIG_HOME/orbimeter/orbimeter.conf"
mkdir -p "$(dirname "$conf")"
printf '[General]\nnumberMetric=Mem Free\nouterRingMetric=GPU\n' >"$conf"
cp "$conf" "$work/conf.before"

start_watcher

# Each signal ends it within a second, with status 0, while it samples every 10 ms and walks the
# processes every 30 ms; the settings file is as it was.
# (SIGINT stays ignored in a script's background job, as the shell leaves it.)
for signal in TERM HUP; do
    XDG_CURRENT_DESKTOP=XFCE start_app --tick-interval-ms 10
    retry 10 registered 2 || fail "no items before SIG$signal"
    sleep 1
    start=$(date +%s%N)
    kill -s "$signal" "$app_pid"
    ended "SIG$signal"
    took=$((($(date +%s%N) - start) / 1000000))
    [ "$took" -le 1000 ] || fail "SIG$signal: took $took ms to quit"
    cmp -s "$conf" "$work/conf.before" || fail "SIG$signal: the settings changed: $(cat "$conf")"
    echo "SIG$signal: clean quit in $took ms, settings intact"
    watcher --method org.freedesktop.DBus.Mock.ClearCalls >/dev/null
done

# The session bus goes away under it: it stays up and idle (its 1 s tick costs next to nothing).
start_app
retry 10 registered 2 || fail "no items before the bus went away"
kill "$bus_pid"
sleep 1
before=$(cpu_ticks "$app_pid")
sleep 3
kill -0 "$app_pid" 2>/dev/null || fail "the program ended when the session bus went away"
used=$(($(cpu_ticks "$app_pid") - before))
[ "$used" -le 30 ] || fail "busy without a session bus: $used ticks of processor time in 3 s"
kill -s TERM "$app_pid"
ended "SIGTERM after the bus went away"
echo "bus gone: still running, $used ticks of processor time in 3 s, then a clean quit"
echo "PASS: signals quit cleanly, a lost bus costs nothing"
