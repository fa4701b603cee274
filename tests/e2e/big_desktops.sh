#!/usr/bin/env bash
# The desktop walk of tray_click.sh on the two large desktops, kept out of `make test` for the size
# of their installs and the half minute each takes to start: KDE Plasma 5 (Breeze and Breeze
# Dark) and GNOME Shell with the AppIndicator extension. Screenshots go to
# BUILD_DIR/e2e-artefacts/tray_click-<name>/.
# Usage: big_desktops.sh BUILD_DIR [kde-light|kde-dark|gnome ...]   (all three by default)
# Packages: plasma-workspace plasma-desktop kwin-x11 kded5 plasma-framework breeze
# plasma-integration; gnome-shell gnome-shell-extension-appindicator.
build=${1:?usage: $0 BUILD_DIR [kde-light|kde-dark|gnome ...]}
desktops=("${@:2}")
[ ${#desktops[@]} -gt 0 ] || desktops=(kde-light kde-dark gnome)
status=0
for desktop in "${desktops[@]}"; do
    bash "$(dirname "$0")/tray_click.sh" "$build" "$desktop" || status=1
done
exit $status
