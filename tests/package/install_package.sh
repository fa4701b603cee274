#!/usr/bin/env bash
# Builds the Debian package from a build tree, checks what it declares and holds, and runs the
# probe from a root the package is unpacked into, as an installed copy would run (no root rights
# needed). Usage: install_package.sh BUILD_DIR CPACK QML_DIR
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_DIR CPACK QML_DIR}")
cpack=${2:?usage: $0 BUILD_DIR CPACK QML_DIR}
qml_dir=${3:?usage: $0 BUILD_DIR CPACK QML_DIR}
views_qml=$(realpath "$(dirname "$0")/../../views/qml")

for tool in "$cpack" dpkg-deb dpkg-shlibdeps dpkg-query file; do
    command -v "$tool" >/dev/null ||
        { echo "SKIP: $tool is not installed (the package is built with CMake's cpack, dpkg-dev and file)"; exit 77; }
done

work=$(mktemp -d /tmp/orbimeter-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# Runs a validator where it is installed; anything it prints counts as a failure.
validate() {
    command -v "$1" >/dev/null || { echo "note: $1 is not installed, not run"; return 0; }
    local said
    said=$("$@" 2>&1) && [ -z "$said" ] || fail "$* said: $said"
}

"$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAIL: cpack could not build the package"; exit 1; }
debs=("$work"/out/orbimeter_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { ls -R "$work/out"; echo "FAIL: no orbimeter_*.deb was built"; exit 1; }
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"

# Depends: the libraries dpkg-shlibdeps found, plus what the program loads at run time: the
# package of every QML module that our pages and the Fusion style import, and of the symbol font.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[ "$(dpkg-deb -f "$deb" Package Section)" = $'Package: orbimeter\nSection: utils' ] ||
    fail "package name or section: $(dpkg-deb -f "$deb" Package Section)"
needed=(libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6quick6 libqt6dbus6)
for module in $(sed -n 's/^import \([A-Za-z.]*\).*/\1/p' "$views_qml"/*.qml \
    "$qml_dir"/QtQuick/Controls/Fusion/*.qml | sort -u); do
    qmldir="$qml_dir/${module//.//}/qmldir"
    [ -f "$qmldir" ] && needed+=("$(dpkg-query -S "$qmldir" | cut -d: -f1)")
done
font=$(fc-list ':family=Material Icons' file | head -1 | cut -d: -f1)
[ -n "$font" ] && needed+=("$(dpkg-query -S "$font" | cut -d: -f1)")
for package in $(printf '%s\n' "${needed[@]}" | sort -u); do
    # Ubuntu names some of the libraries' packages with a t64 suffix.
    grep -Eq "(^|[,|] *)$package(t64)?( |,|$)" <<<"$depends" || fail "Depends lacks $package"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
share="$root/usr/share"
for path in usr/bin/orbimeter usr/bin/orbimeter-probe usr/share/applications/orbimeter.desktop \
    usr/share/icons/hicolor/scalable/apps/orbimeter.svg \
    usr/share/metainfo/io.github.orbimeter.Orbimeter.metainfo.xml \
    usr/share/man/man1/orbimeter.1.gz usr/share/man/man1/orbimeter-probe.1.gz \
    usr/lib/systemd/system/orbimeter-probe.service usr/share/doc/orbimeter/copyright; do
    [ -s "$root/$path" ] || fail "the package lacks $path"
done

# The installed probe stands on system libraries alone and reads this machine.
if readelf -d "$root"/usr/bin/* 2>/dev/null | grep -E 'RPATH|RUNPATH'; then
    fail "an installed program looks for libraries outside the system's folders"
fi
"$root/usr/bin/orbimeter-probe" --once >"$work/probe.txt" 2>"$work/probe.err" ||
    fail "the installed probe failed: $(cat "$work/probe.err")"
awk '$1 == "memoryTotal" && $2 > 0 { found = 1 } END { exit !found }' "$work/probe.txt" ||
    fail "the installed probe printed no memory size: $(head -c 300 "$work/probe.txt")"

# The menu entry starts and shows what the package installs; the data files pass their
# validators; the unit's options are all known to systemd and its program exists.
entry="$share/applications/orbimeter.desktop"
[ -x "$root/usr/bin/$(sed -n 's/^Exec=//p' "$entry")" ] || fail "Exec= names no installed program"
[ -f "$share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg" ] ||
    fail "Icon= names no installed icon"
validate desktop-file-validate "$entry"
command -v appstreamcli >/dev/null &&
    { appstreamcli validate-tree --no-net "$root" >"$work/appstream.log" 2>&1 ||
        fail "appstreamcli validate-tree: $(cat "$work/appstream.log")"; }
sed "s|=/usr/bin/|=$root/usr/bin/|" "$root/usr/lib/systemd/system/orbimeter-probe.service" \
    >"$work/orbimeter-probe.service"
validate systemd-analyze verify --man=no "$work/orbimeter-probe.service"
for page in "$share"/man/man1/*.1.gz; do
    command -v groff >/dev/null || break
    said=$(zcat "$page" | groff -man -ww -z 2>&1) && [ -z "$said" ] || fail "$page: $said"
done

[ "$failures" -eq 0 ] || exit 1
echo "PASS"
