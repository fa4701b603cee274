#!/usr/bin/env bash
# With a StatusNotifierWatcher (a mock) on the session bus, the program publishes its own items.
# Started before the watcher (at login, before the panel), it moves to it once it appears; where
# the host draws no labels the number is an item of its own, offered in the order that host
# shows left to right, else the label of the one item, which follows a change of the number
# metric at once. Both carry every property hosts read, and a menu whose entries open the
# popover and the settings and quit.
source "$(dirname "$0")/common.sh"

need dbus-daemon gdbus
start_display
start_session_bus

XDG_CURRENT_DESKTOP=XFCE start_app
early_pid=$app_pid
sleep 2 # the program is up, in the X11 tray path, before any watcher exists

start_watcher
# The items are offered by object path on the program's own connection: ask each in turn.
item() {
    local name
    for name in $(bus --dest org.freedesktop.DBus --object-path / --method \
        org.freedesktop.DBus.ListNames | grep -o "':[0-9.]*'" | tr -d "'"); do
        bus --dest "$name" --object-path "$1" --method "${@:2}" 2>/dev/null && return 0
    done
    return 1
}
property() { item "$1" org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$2"; }
activate() { item "$1" org.kde.StatusNotifierItem.Activate 600 10 >/dev/null || fail "Activate $1"; }

retry 10 registered 2 || fail "a program started before the watcher never registered its items"
# xfce4-panel shows the newest item first: the rings come last, to stand left of the number.
[ "$(registrations | tr '\n' ' ')" = "'/StatusNotifierItem/Number' '/StatusNotifierItem' " ] ||
    fail "registered $(registrations), not the number and then the rings"
property /StatusNotifierItem/Number IconPixmap | grep -q "22, 22" || fail "no number icon"
for path in /StatusNotifierItem /StatusNotifierItem/Number; do
    property $path Menu | grep -q "'/MenuBar'" || fail "$path names no menu"
    property $path IconThemePath >/dev/null || fail "$path has no IconThemePath"
    property $path IconAccessibleDesc | grep -q "<'.\+'>" || fail "$path has no accessible description"
    ! property $path XAyatanaLabel >/dev/null 2>&1 || fail "$path has a label where the host draws none"
done
menu() { item /MenuBar "com.canonical.dbusmenu.$@"; }
# Its entries are tests/gui's (TrayMenu); here they are served and chosen.
menu Event 1 clicked '<0>' 0 >/dev/null || fail "the menu's first entry could not be chosen"
wait_for_window Orbimeter >/dev/null || fail "the menu's first entry did not open the popover"
menu Event 1 clicked '<0>' 0 >/dev/null
window_gone Orbimeter || fail "the menu's first entry did not close the open popover"

# Started again where the host draws labels, it registers one item at once, carrying the number.
kill "$early_pid"
wait "$early_pid" 2>/dev/null || true
XDG_CURRENT_DESKTOP=ubuntu:GNOME start_app
retry 10 registered 3 || fail "the program never registered a StatusNotifierItem"
sleep 0.5
[ "$(registrations | wc -l)" -eq 3 ] || fail "a second item where the host draws the label"
rate=$(property /StatusNotifierItem XAyatanaLabel)
[[ "$rate" == */s* ]] || fail "the label is not a rate: $rate"
property /StatusNotifierItem XAyatanaLabelGuide | grep -q "1023.9 MB/s" || fail "guide"

# Choosing another number metric in the settings window changes the label at once, not at the
# next tick (an hour away): from a rate to an amount of memory.
click_tray() { activate /StatusNotifierItem; }
choose_number_metric
memory_label() { property /StatusNotifierItem XAyatanaLabel | grep -q "[0-9] [KMG]B'"; }
retry 5 memory_label || fail "the label did not follow the metric: $(property /StatusNotifierItem XAyatanaLabel)"
echo "label: $rate before, $(property /StatusNotifierItem XAyatanaLabel) after"
activate /StatusNotifierItem
wait_for_window Orbimeter >/dev/null || fail "Activate did not open the popover"
activate /StatusNotifierItem
window_gone Orbimeter || fail "a second Activate did not close the popover"
menu Event 2 clicked '<0>' 0 >/dev/null || fail "the menu's settings entry could not be chosen"
wait_for_window Preferences >/dev/null || fail "the menu's settings entry opened no settings window"
menu Event 4 clicked '<0>' 0 >/dev/null || fail "the menu's quit entry could not be chosen"
ended "the menu's quit entry"
echo "PASS: the items register in order, show the number, and Activate and the menu toggle the popover"
