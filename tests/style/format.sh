#!/usr/bin/env bash
# The sources exactly as the repository's formatters write them: clang-format (with
# .clang-format) for C++, qmlformat for QML. Names each file that differs and shows the start of
# the difference; `make format` rewrites them.
# Usage: format.sh SOURCE_DIR
set -euo pipefail
cd "${1:?usage: $0 SOURCE_DIR}"

qmlformat=$(command -v qmlformat || echo /usr/lib/qt6/bin/qmlformat)
for tool in clang-format "$qmlformat"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
# The tracked files, or in a tree without git every such file outside the build trees.
sources() {
    git ls-files "$@" 2>/dev/null ||
        find . -path './build*' -prune -o -type f \( -name "${1#\*}" -o -name "${2:-none}" \) -print
}

status=0
mapfile -t cxx < <(sources '*.cpp' '*.h')
clang-format --dry-run -Werror "${cxx[@]}" 2>&1 | head -40 | grep . && status=1
while read -r file; do
    if ! difference=$("$qmlformat" "$file" | diff -u "$file" -); then
        echo "not formatted: $file"
        head -20 <<<"$difference"
        status=1
    fi
done < <(sources '*.qml')
[ "$status" -eq 0 ] && echo "PASS: C++ and QML as the formatters write them"
exit $status
