#!/bin/sh
# The program's code stays in pieces a reader can hold: no file of src/ over 400 lines, no
# folder of src/ whose own files hold over a third of src/'s lines, and no function over 60
# lines (clang-tidy's readability-function-size, over the build's compile commands; the
# window's design table is data held in member initialisers, which it does not count).
# Prints what is too large. Usage: test_sizes.sh SOURCE_DIR BUILD_DIR
set -u
top=$1
build=$2
command -v clang-tidy >/dev/null 2>&1 || { echo "FAIL: clang-tidy not found (Debian package clang-tidy)"; exit 1; }
[ -f "$build/compile_commands.json" ] || { echo "FAIL: no $build/compile_commands.json"; exit 1; }
bad=0
total=$(find "$top/src" \( -name '*.cpp' -o -name '*.h' \) -exec cat {} + | wc -l)
for f in $(find "$top/src" \( -name '*.cpp' -o -name '*.h' \) | sort); do
    n=$(wc -l <"$f")
    if [ "$n" -gt 400 ]; then
        echo "file over 400 lines: ${f#$top/} ($n)"
        bad=$((bad + 1))
    fi
done
for d in $(find "$top/src" -type d | sort); do
    n=$(find "$d" -maxdepth 1 \( -name '*.cpp' -o -name '*.h' \) -exec cat {} + | wc -l)
    if [ $((n * 3)) -gt "$total" ]; then
        echo "folder over a third of src/: ${d#$top/} ($n of $total lines)"
        bad=$((bad + 1))
    fi
done
long=$(find "$top/src" -name '*.cpp' | sort | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet \
    -checks='-*,readability-function-size' \
    -config='{CheckOptions: [{key: readability-function-size.LineThreshold, value: 60}]}' 2>/dev/null |
    grep 'warning: function' | sed "s#^$top/##")
if [ -n "$long" ]; then
    echo "$long" | sed 's/^/function over 60 lines: /'
    bad=$((bad + $(echo "$long" | wc -l)))
fi
[ "$bad" -eq 0 ] && echo "PASS ($total lines in src/)" && exit 0
echo "$bad piece(s) too large"
exit 1
