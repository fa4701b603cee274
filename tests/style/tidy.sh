#!/usr/bin/env bash
# clang-tidy's likely-bug and performance checks (.clang-tidy) over the program's own sources,
# as compiled in BUILD_DIR (its compile_commands.json). Any finding fails.
# Usage: tidy.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(realpath "${1:?usage: $0 SOURCE_DIR BUILD_DIR}")
build_dir=$(realpath "${2:?usage: $0 SOURCE_DIR BUILD_DIR}")
tidy=$(command -v run-clang-tidy || command -v run-clang-tidy-14 || true)
[ -n "$tidy" ] && command -v clang-tidy >/dev/null || { echo "SKIP: clang-tidy is not installed"; exit 77; }
[ -f "$build_dir/compile_commands.json" ] || { echo "FAIL: no compile_commands.json in $build_dir"; exit 1; }

# The program's sources: not the tests, benchmarks, fuzz targets or generated files. A library
# built in batches is checked batch by batch, its files reported as the batch includes them.
folders="(app|model|monitor|platform|probe|sensors|views)"
libraries="(orbimeter_core|orbimeter_probe_output|orbimeter_views|orbimeter_shell)"
pattern="^$source_dir/$folders/.*\\.cpp\$|^$build_dir/(.*/)?CMakeFiles/$libraries\\.dir/Unity/unity_.*\\.cxx\$"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! "$tidy" -quiet -p "$build_dir" -j "$(nproc)" -header-filter="^$source_dir/$folders/[^/]*\\.(h|cpp)\$" \
    "$pattern" >"$log" 2>&1; then
    grep -E "(warning|error):" "$log" | sort -u | head -40
    echo "FAIL: clang-tidy found the above"
    exit 1
fi
echo "PASS: clang-tidy finds nothing in the program's sources"
