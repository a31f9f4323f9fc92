#!/usr/bin/env bash
# Builds an optimised tree in build/bench, writes the seeded inputs, times each
# tool against its floor with hyperfine and prints one table of median ratios.
# Every ratio comes from a single hyperfine run that times both commands, so
# the drift of a shared machine between runs does not enter it.
#
#   scripts/bench.sh            speed and memory
#   scripts/bench.sh --quality  tilefit's error on the corpus of real pictures
#                               (scripts/corpus.sh), against the bound and a
#                               plain greedy fit, its tile budget against a plain
#                               merge, and screens fitted together; the tables
#                               of bench/README.md
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
mode=${1:-speed}
if [[ $mode != speed && $mode != --quality ]]; then
    echo "usage: scripts/bench.sh [--quality]" >&2
    exit 1
fi
# Each measurement is BENCH_ROUNDS rounds of BENCH_RUNS runs of each command.
rounds=${BENCH_ROUNDS:-6}
runs=${BENCH_RUNS:-5}
startup_runs=$((runs * 6))

"$root/scripts/setup.sh"
for tool in hyperfine /usr/bin/time; do
    if ! command -v "$tool" >/dev/null; then
        echo "bench: $tool is missing (Debian: apt-get install ${tool##*/})" >&2
        exit 1
    fi
done

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
# tilefit is measured once it is part of the tree; until then its rows say so.
tilefit="$build/fit/tilefit"
fit_target=()
# grep reads the whole list: stopping at the first match would break the pipe
# under pipefail.
if cmake --build "$build" --target help | grep -x '\.\.\. tilefit' >/dev/null; then
    fit_target=(tilefit)
fi

if [[ $mode == --quality ]]; then
    cmake --build "$build" -j"$(nproc)" --target fitbench >/dev/null
    corpus="$root/build/corpus"
    [[ -f $corpus/manifest.tsv ]] || "$root/scripts/corpus.sh" "$corpus"
    report="$build/quality.md"
    "$build/bench/fitbench" "$corpus" >"$report"
    cat "$report"
    echo
    echo "tables: $report"
    ! grep -q 'FAIL$' "$report"
    exit
fi

cmake --build "$build" -j"$(nproc)" --target tilecut tilefold runsquash tileshow tilepal benchgen \
    bench_noop bench_noop_c bench_noop_converter bench_load_only "${fit_target[@]}" >/dev/null

tilecut="$build/converter/tilecut"
tilefold="$build/optimizer/tilefold"
runsquash="$build/compressor/runsquash"
tileshow="$build/preview/tileshow"
tilepal="$build/palette/tilepal"
noop="$build/bench/bench_noop"
noop_c="$build/bench/bench_noop_c"
noop_converter="$build/bench/bench_noop_converter"
load_only="$build/bench/bench_load_only"

data="$build/data"
work="$build/work"
rm -rf "$data" "$work"
mkdir -p "$data" "$work"
"$build/bench/benchgen" "$data"
# Real tilecut output of a large picture, as the third tile-file input.
"$tilecut" "$data/sheet.bmp"
cd "$work"
log="$work/hyperfine.log"

results=()

# measure NAME LIMIT FLOOR TARGET [hyperfine options...]
# Times FLOOR and TARGET in alternating rounds, so that a change in the load
# of the machine during the measurement falls on both, and keeps the median
# of every run of each.
measure() {
    local name=$1 limit=$2 floor=$3 target=$4
    shift 4
    local json="$work/last.json" times="$work/times"
    : >"$times"
    echo "== $name" >>"$log"
    for ((round = 0; round < rounds; round++)); do
        if ! hyperfine --style basic --export-json "$json" "$@" "$floor" "$target" >>"$log" 2>&1; then
            echo "bench: a command of \"$name\" failed; see $log" >&2
            exit 1
        fi
        # Each command's "times" array, one number a line: "1 t" for the floor, "2 t" for the target.
        awk '/"times": \[/ { n++; on = 1; next } on && /\]/ { on = 0 } on { gsub(/[ ,]/, ""); print n, $0 }' \
            "$json" >>"$times"
    done
    results+=("$name|$(median_of 2 "$times")|$(median_of 1 "$times")|$limit")
}

# The median, in seconds, of the times of command N in FILE.
median_of() {
    awk -v n="$1" '$1 == n { print $2 }' "$2" | sort -g |
        awk '{ t[NR] = $1 } END { print (NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2) }'
}

single=(-N --warmup 3 --runs "$startup_runs" -i)
measure "tilecut start-up (usage)" 1.3 "$noop_converter" "$tilecut" "${single[@]}"
measure "tilefold start-up (usage)" 1.3 "$noop" "$tilefold" "${single[@]}"
measure "runsquash start-up (usage)" 1.3 "$noop" "$runsquash" "${single[@]}"
# The true floor: a plain C program that does nothing.
measure "tilefold start-up vs C no-op" 1.3 "$noop_c" "$tilefold" "${single[@]}"
measure "runsquash start-up vs C no-op" 1.3 "$noop_c" "$runsquash" "${single[@]}"

# The floor is the three start-up runs in one shell, the target the three
# working runs in the same shape; a failing step stops the benchmark.
cp "$data/screen.bmp" "$work/screen.bmp"
measure "chain on a 256x240 screen" 1.3 \
    "$tilecut 2>/dev/null; $tilefold 2>/dev/null; $runsquash 2>/dev/null; true" \
    "$tilecut screen.bmp && $tilefold screen.chr && $runsquash out.nam screen.rlz" \
    --warmup 3 --runs "$startup_runs"

# Finishing a screen against cutting it: both read the same picture, and
# tilepal writes its palette and attribute table where tilecut writes tiles.
measure "tilepal 256x240" 1.5 "$tilecut screen.bmp" "$tilepal screen.bmp" \
    -N --warmup 3 --runs "$startup_runs"

# Drawing a screen back, palette and attributes included, against cutting the
# same screen: each reads a few kilobytes and writes one file.
"$tilecut" screen.bmp && "$tilefold" screen.chr
measure "tileshow 256x240 (-p -a)" 1.5 "$tilecut screen.bmp" \
    "$tileshow out.chr out.nam -p screen.pal -a screen.atr -o screen.png" \
    -N --warmup 3 --runs "$startup_runs"

# Fitting a true-colour screen, against tilecut cutting the screen that comes
# out (tilecut reads no true colour): tilefit's limits are in seconds, on one
# core, and the ratio says what the fit costs against the next step of the
# chain. A limit "abs:S" is S seconds.
skipped=()
one_core="taskset -c 1"
if [[ -x $tilefit ]]; then
    cp "$data/photo.png" "$data/photo-large.png" "$work/"
    for picture in photo photo-large; do
        if ! "$tilefit" -q -o "$picture.fit.png" "$picture.png"; then
            echo "bench: tilefit failed on $picture.png" >&2
            exit 1
        fi
    done
    measure "tilefit 256x240 photo" abs:1 "$one_core $tilecut photo.fit.png" \
        "$one_core $tilefit -q -o fit.png photo.png" -N --warmup 2 --runs "$runs"
    measure "tilefit 256x240 photo, dither" abs:1 "$one_core $tilecut photo.fit.png" \
        "$one_core $tilefit -q --dither ordered -o fit.png photo.png" -N --warmup 2 \
        --runs "$runs"
    rounds=1 measure "tilefit 1024x1024 photo" abs:20 "$one_core $tilecut photo-large.fit.png" \
        "$one_core $tilefit -q -o fit-large.png photo-large.png" -N --runs 2
    # The tile budget at work: a screen whose 960 cells all differ, into 256
    # tiles; and eight such screens on one palette set and one tile set.
    cp "$data/cells.png" "$data"/share-?.png "$work/"
    # Named here: hyperfine's -N runs no shell to expand a pattern.
    shares=(share-?.png)
    "$tilefit" -q -o cells.fit.png cells.png
    "$tilefit" -q --share "${shares[@]}"
    measure "tilefit 960 cells, 256 tiles" abs:2 "$one_core $tilecut cells.fit.png" \
        "$one_core $tilefit -q -o fit.png cells.png" -N --warmup 1 --runs "$runs"
    rounds=1 measure "tilefit 8 screens, --share" abs:20 "$one_core $tilecut share-1.fit.png" \
        "$one_core $tilefit -q --share ${shares[*]}" -N --runs 2
else
    skipped+=("tilefit speed and memory: no tilefit in this tree yet ($tilefit)")
fi

measure "tilecut 4096x4096 BMP" 1.5 "$load_only $data/picture.bmp" "$tilecut $data/picture.bmp" \
    -N --warmup 1 --runs "$runs"

for chr in random prefix sheet; do
    measure "tilefold 16 MiB CHR ($chr)" 4 "cat $data/$chr.chr > /dev/null" \
        "$tilefold $data/$chr.chr 2>/dev/null" --warmup 2 --runs "$runs"
done

for bin in random runs; do
    measure "runsquash 16 MiB ($bin)" 2 "cat $data/$bin.bin > copy" \
        "$runsquash $data/$bin.bin $bin.rlz 2>/dev/null" --warmup 2 --runs "$runs"
done

# Peak resident set in KiB of one run.
peak_kib() {
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1 || true
    cat "$work/rss"
}

# memory NAME SMALL_BYTES LARGE_BYTES GROWTH_ALLOWED_KIB SMALL_CMD... -- LARGE_CMD...
# The growth is the peak at the large input less the peak at the small one,
# less what the design lets grow (the input, or the decoded picture).
mem_results=()
memory() {
    local name=$1 small_bytes=$2 large_bytes=$3 allowed=$4
    shift 4
    local small_cmd=()
    while [[ $1 != -- ]]; do
        small_cmd+=("$1")
        shift
    done
    shift
    local small large
    small=$(peak_kib "${small_cmd[@]}")
    large=$(peak_kib "$@")
    mem_results+=("$name|$small|$large|$(((large - small) - (large_bytes - small_bytes) / 1024))|$allowed")
}

mib=$((1024 * 1024))
memory "tilefold: 1 vs 16 MiB CHR" 0 0 512 \
    "$tilefold" "$data/random-small.chr" -- "$tilefold" "$data/random.chr"
memory "runsquash: 1 vs 16 MiB input" "$mib" $((16 * mib)) 2560 \
    "$runsquash" "$data/random-small.bin" small.rlz -- "$runsquash" "$data/random.bin" large.rlz
memory "tilecut: 1024^2 vs 4096^2 picture" "$mib" $((16 * mib)) 512 \
    "$tilecut" "$data/picture-small.bmp" -- "$tilecut" "$data/picture.bmp"

# tilefit holds the picture in colour, four bytes a pixel, and the tile
# budget a constant per 8x8 cell (its costs of every colour place at every
# pixel, 4 KiB with its working copies): that growth is allowed, and 2 MiB
# besides.
cell_kib=4
if [[ -x $tilefit ]]; then
    memory "tilefit: 256x240 vs 1024^2 photo" $((256 * 240 * 4)) $((1024 * 1024 * 4)) \
        $((2048 + (16384 - 960) * cell_kib)) \
        "$tilefit" -q -o "$work/small.png" "$data/photo.png" -- \
        "$tilefit" -q -o "$work/large.png" "$data/photo-large.png"
fi

# Fitted together, eight screens may hold their pictures in colour and the
# same constant for each of the 7 x 960 more cells.
if [[ -x $tilefit ]]; then
    screen_bytes=$((256 * 240 * 4))
    memory "tilefit: 1 vs 8 screens, --share" "$screen_bytes" $((8 * screen_bytes)) \
        $((7 * 960 * cell_kib)) "$tilefit" -q -o "$work/one.png" "$data/share-1.png" -- \
        "$tilefit" -q --share "$work"/share-?.png
fi

# Peak memory on the largest valid picture of each format: one decoded copy of
# 16384 x 16384 pixels at one byte each, plus a constant.
picture_kib=$((16384 * 16384 / 1024))
overhead_kib=8192
peak_results=()
for f in largest-rle8.bmp largest-8bit.pcx largest-24bit.pcx largest-rle32.tga largest-gray.png; do
    peak_results+=("tilecut $f|$(peak_kib "$tilecut" "$data/$f")|$((picture_kib + overhead_kib))")
    rm -f "$data/${f%.*}.chr"
done
# tilefit on 1024 x 1024 pixels: the picture in colour plus the same constant,
# and the tile budget's constant for each of its 16,384 cells.
if [[ -x $tilefit ]]; then
    peak_results+=("tilefit photo-large.png|$(peak_kib "$tilefit" -q -o "$work/large.png" \
        "$data/photo-large.png")|$((1024 * 1024 * 4 / 1024 + overhead_kib + 16384 * cell_kib))")
fi

echo
printf '%-30s %10s %10s %7s %6s  %s\n' "target" "median" "floor" "ratio" "limit" "result"
failed=0
for row in "${results[@]}"; do
    IFS='|' read -r name t f limit <<<"$row"
    line=$(awk -v n="$name" -v t="$t" -v f="$f" -v l="$limit" 'BEGIN {
        r = t / f
        if (l ~ /^abs:/) {
            s = substr(l, 5) + 0
            printf "%-30s %8.1fms %8.1fms %7.2f %5gs  %s", n, t * 1000, f * 1000, r, s, (t <= s ? "pass" : "FAIL")
        } else {
            printf "%-30s %8.1fms %8.1fms %7.2f %6.2f  %s", n, t * 1000, f * 1000, r, l, (r <= l ? "pass" : "FAIL")
        }
    }')
    [[ $line == *FAIL ]] && failed=1
    echo "$line"
done
echo
printf '%-36s %12s %12s %11s %9s  %s\n' "memory (peak RSS)" "small" "large" "growth" "allowed" "result"
for row in "${mem_results[@]}"; do
    IFS='|' read -r name small large growth allowed <<<"$row"
    verdict=pass
    if ((growth > allowed)); then
        verdict=FAIL
        failed=1
    fi
    printf '%-36s %9d KiB %9d KiB %7d KiB %5d KiB  %s\n' "$name" "$small" "$large" "$growth" \
        "$allowed" "$verdict"
done
echo
printf '%-36s %12s %12s  %s\n' "peak memory, largest pictures" "peak" "allowed" "result"
for row in "${peak_results[@]}"; do
    IFS='|' read -r name peak allowed <<<"$row"
    verdict=pass
    if ((peak > allowed)); then
        verdict=FAIL
        failed=1
    fi
    printf '%-36s %9d KiB %9d KiB  %s\n' "$name" "$peak" "$allowed" "$verdict"
done
echo
echo "allowed: the decoded picture (16384 x 16384 bytes; for tilefit, 1024 x 1024 pixels of four"
echo "bytes and $cell_kib KiB per 8x8 cell) plus $((overhead_kib / 1024)) MiB. A limit in seconds is"
echo "the time itself, not the ratio."
echo "growth: peak at the large input less peak at the small one, less the growth of the"
echo "input (runsquash) or of the decoded picture (tilecut, tilefit). hyperfine output: $log"
for line in "${skipped[@]}"; do
    echo "skipped: $line"
done
exit "$failed"
