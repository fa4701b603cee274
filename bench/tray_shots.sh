#!/usr/bin/env bash
# Screenshots of the tray item as a user sees it: on trayer (an X11 tray) with a light and with a
# dark panel, and in xfce4-panel's status tray (a StatusNotifierItem host), each on a private X
# display and session bus. Writes <scene>.png (the whole screen) and <scene>-panel.png (the
# panel's corner, enlarged 4 times) for the scenes trayer-light, trayer-dark and xfce.
# Usage: bench/tray_shots.sh [build-dir] [out-dir]
set -euo pipefail
build=$(realpath "${1:-build}")
out=$(realpath "${2:-shots}")
mkdir -p "$out"
source "$(dirname "$0")/desktop.sh"

scene() {
    local name=$1 metric=$2
    shift 2
    local work
    work=$(mktemp -d)
    (
        pids=()
        trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true' EXIT
        start_display "$work" 1024x600x24
        export XDG_CURRENT_DESKTOP="${XDG_CURRENT_DESKTOP:-}"
        mkdir -p "$XDG_CONFIG_HOME/orbimeter"
        printf '[General]\nnumberMetric=%s\n' "$metric" >"$XDG_CONFIG_HOME/orbimeter/orbimeter.conf"
        xsetroot -solid '#5a6e82' 2>/dev/null || true
        if [ -n "${PRIVATE_BUS:-}" ]; then
            dbus-daemon --session --nofork --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
            pids+=($!)
            for _ in $(seq 50); do [ -s "$work/bus" ] && break; sleep 0.1; done
            export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus")
        fi
        "$@" &
        pids+=($!)
        sleep 3
        "$build/app/orbimeter" >"$work/app.log" 2>&1 &
        pids+=($!)
        sleep 5
        import -window root "$out/$name.png"
        convert "$out/$name.png" -crop 240x40+784+0 +repage -filter point -resize 400% "$out/$name-panel.png"
        sed "s/^/  $name: /" "$work/app.log"
    )
    rm -rf "$work"
}

trayer_at() {
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --transparent true --alpha 0 --tint "$1"
}

# A panel at the top, the status tray at its right end, configured here so that the panel skips
# its first-start questions.
xfce_panel() {
    local config="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    mkdir -p "$config"
    cat >"$config/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="28"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
XML
    exec xfce4-panel --disable-wm-check
}

export DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/orbimeter-shots-bus"
scene trayer-light "CPU %" trayer_at 0xeeeeee
scene trayer-dark Download trayer_at 0x202020
PRIVATE_BUS=1 XDG_CURRENT_DESKTOP=XFCE scene xfce "CPU %" xfce_panel
echo "written to $out"
