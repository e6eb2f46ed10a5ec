#!/bin/sh
# Builds Pelk17 in Release in build-bench/ and runs the benchmarks against cjpeg, djpeg,
# ImageMagick, a plain QImageReader and an empty Qt window. The Markdown table goes to
# stdout and to build-bench/bench.md. Extra arguments go to the harness, e.g.
#   bench/run.sh --sizes 1,12 --reps-scale 0.5
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target pelk_bench bench_startup_real bench_startup_empty bench_startup_label
echo "transparent huge pages: $(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo unknown)"
QT_QPA_PLATFORM=offscreen exec "$build/bench/pelk_bench" --out "$build/bench.md" \
    --data "$build/bench-data" --work "$build/bench-work" "$@"
