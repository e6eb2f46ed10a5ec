#!/bin/sh
# Builds the fuzz targets and their seed corpora with clang in build-fuzz (for ./test and
# scripts/fuzz.sh). Fails when clang or its libFuzzer runtime is missing.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/ensure-packages.sh" packages-run.txt packages-test.txt
if ! command -v clang++ >/dev/null 2>&1; then
    echo "build-fuzz: clang++ not found (Debian packages clang, libclang-rt-14-dev)" >&2
    exit 1
fi
cmake -S "$top" -B "$top/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ -DPELK_FUZZ=ON \
    -DBUILD_TESTING=OFF >/dev/null
cmake --build "$top/build-fuzz" --target fuzz_all -j"$(nproc)"
