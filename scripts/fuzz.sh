#!/bin/sh
# Fuzzes one target for a while:
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
# TARGET is settings, numbers or picture. Builds the targets with clang in build-fuzz,
# starts from the generated seeds and fuzz/regressions/TARGET, keeps what it finds new in
# build-fuzz/fuzz/work/TARGET and writes crashing, hanging or leaking inputs to
# build-fuzz/fuzz/artifacts/TARGET/.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
usage() { echo "usage: $0 settings|numbers|picture SECONDS [libFuzzer options...]" >&2; exit 2; }
[ $# -ge 2 ] || usage
target=${1#fuzz_}
seconds=$2
shift 2
# Inputs larger than these only slow the target down: nothing it reads is longer.
case $target in
    settings) max_len=8192 ;;
    numbers) max_len=512 ;;
    picture) max_len=65536 ;;
    *) usage ;;
esac
"$top/scripts/build-fuzz.sh"
fuzz="$top/build-fuzz/fuzz"
mkdir -p "$fuzz/work/$target" "$fuzz/artifacts/$target"
set -- -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$fuzz/artifacts/$target/" -print_final_stats=1 "$@" \
    "$fuzz/work/$target" "$fuzz/corpus/$target" "$top/fuzz/regressions/$target"
exec "$fuzz/fuzz_$target" "$@"
