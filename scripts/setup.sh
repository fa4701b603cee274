#!/usr/bin/env bash
# Installs every Debian/Ubuntu package that building, running and testing Orbimeter needs.
# Safe to run again: it installs only what is missing, and refreshes the package lists once.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config make
    qt6-base-dev qt6-declarative-dev
    libnl-genl-3-dev libudev-dev libgtest-dev libgmock-dev libbenchmark-dev libxcb1-dev
    # the sanitizer tree and fuzz targets: Debian's clang, its libFuzzer and sanitizer runtimes,
    # and clang-tidy over the same tree
    clang libclang-rt-14-dev clang-tidy
    # QML at run time
    qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-layouts
    qml6-module-qtquick-window qml6-module-qtqml-workerscript
    # symbols and text
    fonts-material-design-icons-iconfont fonts-dejavu-core
    # tests: peers the live readings are compared with, and the desktop test tools
    procps xvfb xauth xdotool x11-utils imagemagick trayer python3-dbusmock dbus libglib2.0-bin
    # real tray hosts the desktop test runs on: xfce4-panel, LXQt's panel (light and dark
    # themes) under openbox, MATE's panel under marco, and waybar on a headless sway with
    # XWayland (grim takes its screenshots)
    xfce4-panel lxqt-panel lxqt-themes openbox mate-panel marco dconf-cli
    sway waybar xwayland grim
    # packaging: the .deb, and the validators of the files it installs
    dpkg-dev file desktop-file-utils appstream groff-base
    # the metrics tools the Prometheus output is checked against (promtool, the textfile
    # collector)
    prometheus prometheus-node-exporter
    # benchmark: the monitors bench/overhead_table.sh measures beside ours, and a terminal for
    # the interactive ones
    htop btop tmux
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
stamp=/tmp/.orbimeter-apt-updated
if [ ! -e "$stamp" ]; then
    $sudo apt-get update -q
    touch "$stamp" 2>/dev/null || true
fi
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
# The metrics packages start their servers; the tests run their own exporter on a free port, so
# the services installed here are stopped and left disabled.
if [ -d /run/systemd/system ]; then
    for service in prometheus prometheus-node-exporter; do
        if [[ " ${missing[*]} " == *" $service "* ]]; then
            $sudo systemctl disable --now "$service.service" >/dev/null 2>&1 || true
        fi
    done
fi
