#!/bin/sh
# Every C++ file of the program, its tests, benchmarks and fuzz targets is formatted as
# .clang-format says; prints the files that are not. Usage: test_format.sh SOURCE_DIR
set -u
top=$1
command -v clang-format >/dev/null 2>&1 || { echo "FAIL: clang-format not found (Debian package clang-format)"; exit 1; }
bad=0
for f in $(find "$top/src" "$top/tests" "$top/bench" "$top/fuzz" -name '*.cpp' -o -name '*.h' | sort); do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
        echo "not formatted: ${f#$top/} (clang-format -i ${f#$top/})"
        bad=$((bad + 1))
    fi
done
[ "$bad" -eq 0 ] && echo "PASS" && exit 0
echo "$bad file(s) not formatted"
exit 1
