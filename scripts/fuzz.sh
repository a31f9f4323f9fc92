#!/usr/bin/env bash
# Builds the fuzz targets (image intake, encoder, tile folding, tilefit's
# search) with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build/fuzz and runs each for a bounded time, then replays the image
# corpora under valgrind, uninstrumented, so that memory errors inside the
# image libraries (which the sanitizers do not see) are caught too.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]     (default 60)
# A crash or hang stops the run with the input saved in build/fuzz/artifacts;
# such an input belongs, once fixed, in tests/intake/regressions.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=$root/build/fuzz

cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 >/dev/null
rm -rf "$build/seeds"
"$build/make_seeds" "$build/seeds"

# Seeds for the encoder and the folding: runs and literals of the lengths
# where packets change, and real tiles from the example screen.
seeds=$build/seeds
mkdir -p "$seeds/encode" "$seeds/fold"
for n in 1 2 3 4 127 128 129 130 131 255 256 257; do
    head -c "$n" /dev/zero >"$seeds/encode/run-$n"
    head -c "$n" <(yes "$(printf '\x01\x02')" | tr -d '\n') >"$seeds/encode/literal-$n"
done
cp "$root/tests/converter/golden/title.chr" "$seeds/fold/title.chr"
printf '\x01\x05\x01\x06\x02\x05\x01' >"$seeds/fold/widened"

mkdir -p "$build/artifacts"
run_target() { # name corpus-seeds max-len
    local name=$1 seed_dir=$2 max_len=$3
    local corpus=$build/corpus/$name
    mkdir -p "$corpus"
    echo "fuzz: $name for ${seconds}s" >&2
    "$build/$name" "$corpus" "$seed_dir" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -max_len="$max_len" \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" 2>"$build/$name.log" ||
        { tail -n 60 "$build/$name.log" >&2; exit 1; }
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/$name.log" | sed "s/^/$name /" >&2
}
# The image formats, from their one list.
formats=$(sed -n 's/^INTAKE_FORMAT(\([a-z0-9_]*\).*/\1/p' "$root/intake/formats.def")
for format in $formats; do
    mkdir -p "$seeds/$format" # a format without seeds of its own starts from nothing
    run_target "intake_${format}_fuzz" "$seeds/$format" 16384
done
run_target encode_fuzz "$seeds/encode" 70000
run_target fold_fuzz "$seeds/fold" 20000
mkdir -p "$seeds/fit"
printf '\x0f\x21\x30\x31\x0f\x17\x07\x26\x0f\x01\x27\x37\x0f\x19\x0a\x29\x00\x1f\x1f\x05\x00\x01\x02\x03' >"$seeds/fit/four-colours"
# A finding: under the budget, an imposed palette came back renumbered.
printf '\x0f\x21\x01\x30\x30\x30\x38\x39\x36\x36\x27\x35\x38\x34\x34\x37\x0f\x39\x19\x0a' >"$seeds/fit/imposed-order"
run_target fit_fuzz "$seeds/fit" 4096
echo "fuzz: no crash or hang found" >&2

if command -v valgrind >/dev/null; then
    replay=$root/build/fuzz-replay
    cmake -S "$root" -B "$replay" -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$replay" --target intake_replay -j2 >/dev/null
    echo "fuzz: replaying the image corpora under valgrind" >&2
    valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
        "$replay/tests/intake/intake_replay" "$build"/corpus/intake_*_fuzz >&2
fi
