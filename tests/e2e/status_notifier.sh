#!/usr/bin/env bash
# With a StatusNotifierWatcher on the session bus (a mock), the program publishes its own item:
# it registers, carries the number as its label, and Activate opens the popover. A program
# started before the watcher (at login, before the panel) moves to it once it appears.
source "$(dirname "$0")/common.sh"

start_display
dbus-daemon --session --nofork --print-address=3 3>"$work/bus-address" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/bus-address" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus-address")
[ -n "$DBUS_SESSION_BUS_ADDRESS" ] || fail "no session bus"

"$app" >"$work/app.log" 2>&1 &
early_pid=$!
pids+=($early_pid)
sleep 2 # the program is up, in the X11 tray path, before any watcher exists

# Debian's python3 has dbusmock; another python3 earlier on PATH may not.
/usr/bin/python3 -m dbusmock --session org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.kde.StatusNotifierWatcher >"$work/mock.log" 2>&1 &
pids+=($!)
mock() { gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher "$@"; }
for _ in $(seq 100); do
    mock --method org.freedesktop.DBus.Mock.AddMethod org.kde.StatusNotifierWatcher \
        RegisterStatusNotifierItem s '' '' >/dev/null 2>&1 && break
    sleep 0.1
done

registrations() {
    mock --method org.freedesktop.DBus.Mock.GetCalls 2>/dev/null |
        grep -o "org.kde.StatusNotifierItem-[0-9-]*" || true
}
wait_for_registrations() {
    for _ in $(seq 100); do
        [ "$(registrations | wc -l)" -ge "$1" ] && return 0
        sleep 0.1
    done
    return 1
}
wait_for_registrations 1 || fail "a program started before the watcher never registered its item"

# Started again with the watcher present, it registers at once.
kill "$early_pid"
wait "$early_pid" 2>/dev/null || true
"$app" >"$work/app.log" 2>&1 &
pids+=($!)
wait_for_registrations 2 || fail "the program never registered a StatusNotifierItem"
service=$(registrations | tail -1)

item() { gdbus call --session --dest "$service" --object-path /StatusNotifierItem "$@"; }
# The default number is the download rate, shown beside the icon.
label=$(item --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem XAyatanaLabel)
echo "$label" | grep -q "/s" || fail "label is $label, not a rate"
item --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem IconPixmap |
    grep -q "22, 22" || fail "no 22 x 22 icon pixmap"

item --method org.kde.StatusNotifierItem.Activate 600 10 >/dev/null || fail "Activate failed"
wait_for_window Orbimeter >/dev/null || fail "Activate did not open the popover"
item --method org.kde.StatusNotifierItem.Activate 600 10 >/dev/null || fail "Activate failed"
window_gone Orbimeter || fail "a second Activate did not close the popover"
echo "PASS: StatusNotifierItem registers, shows its label, and Activate toggles the popover"
