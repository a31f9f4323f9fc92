#!/usr/bin/env bash
# Measures in cc65's simulator how many CPU cycles the 6502 decoder
# (decoder/unrle.s) takes to expand runsquash streams, prints its size, and
# checks the speed targets.
#
#   scripts/decoder-cycles.sh [--placements] [BUILD_DIR]
#
# Without BUILD_DIR it configures and builds the release preset. Each figure
# runs from the JSR that calls the entry to the RTS that ends it: sim65 -c
# counts the whole harness, so the harness is run once more on the same
# stream with no decoder behind the same indirect jump, and the difference
# is the decoder's body, plus 6 for the JSR and 6 for the RTS.
#
# A branch taken across a page boundary costs one more cycle, so the figures
# depend on where the linker puts the code. By default they are taken with
# the decoder where the test harness has it. --placements links the harness
# 256 times, the decoder one byte further on each time, and prints the best
# and the worst figure over every start address modulo 256 (about a minute);
# the targets are then checked against the worst.
#
# The per-packet cost compares two streams that expand to the same number of
# run bytes and literal bytes: one in 512 packets of 3-byte runs and single
# literals, one in 16 long packets. What the first costs more, divided by
# the packets it has more, is what a packet costs beyond its bytes.
#
# Exit status: 0 when every target is met, 1 otherwise or on error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

sweep=0
if [[ ${1-} == --placements ]]; then
    sweep=1
    shift
fi

for tool in sim65 cl65 od65 perl; do
    if ! command -v "$tool" >/dev/null; then
        echo "decoder-cycles: $tool not found; scripts/setup.sh installs cc65" >&2
        exit 1
    fi
done

if (($# == 0)); then
    "$root/scripts/setup.sh"
    cmake --preset release -S "$root" >/dev/null
    build="$root/build/release"
else
    build=$(cd "$1" && pwd)
fi
cmake --build "$build" --target tilecut tilefold runsquash unrle_sim -j"$(nproc)" >/dev/null
objects="$build/decoder"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cp "$root/examples/title.bmp" .
"$build/converter/tilecut" title.bmp
"$build/optimizer/tilefold" title.chr
mv out.nam title.nam
# Counting bytes never hold three equal in a row: nothing but literal packets.
perl -e 'print map { chr($_ % 256) } 0 .. 1023' >literal.nam
# A run of 3 then a single byte, over and over: the most packets per byte.
perl -e 'print "\0\0\0\1" x 256' >runs3.nam
# The same 768 run bytes and 256 literal bytes in 8 runs and 8 literals.
perl -e 'print "\0" x 96, map { chr } 1 .. 32 for 1 .. 8' >long.nam
names="title literal runs3 long"
for name in $names; do
    "$build/compressor/runsquash" "$name.nam" "$name.rle" >/dev/null
done

# Packets in a stream, read the way the decoder reads them.
packets() {
    perl -e 'local $/; $_ = <STDIN>; my ($i, $n) = (2, 0);
             while ($i < length) { my $h = ord substr $_, $i, 1; $i += $h < 128 ? $h + 2 : 2; ++$n }
             print $n' <"$1"
}
cycles() { sim65 -c "$1" "$2" "$3" | sed -n 's/^\([0-9]*\) cycles$/\1/p'; }

# One harness per placement: PAD bytes of code before the decoder and
# 255 - PAD after it, so that the harness's own code stays where it is.
link() {
    local pad=$1
    printf '.segment "CODE"\n.res %d\n' "$pad" >before.s
    printf '.segment "CODE"\n.res %d\n' $((255 - pad)) >after.s
    cl65 -t sim6502 -c -o before.o before.s
    cl65 -t sim6502 -c -o after.o after.s
    cl65 -t sim6502 -C "$root/decoder/sim/sim.cfg" -o "sim$pad" \
        "$objects/harness.o" "$objects/shim.o" before.o "$objects/unrle.o" after.o
}

# best[stream.entry] and worst[...]: the fewest and the most cycles seen.
# The per-packet cost, in tenths of a cycle, goes in as stream "packet".
declare -A best worst base
more=$(($(packets runs3.rle) - $(packets long.rle)))
keep() {
    if [[ -z ${best[$1]-} ]] || (($2 < best[$1])); then best[$1]=$2; fi
    if [[ -z ${worst[$1]-} ]] || (($2 > worst[$1])); then worst[$1]=$2; fi
}
measure() {
    local sim=$1 name entry
    local -A now
    for name in $names; do
        [[ -n ${base[$name]-} ]] || base[$name]=$(cycles "$sim" tn "$name.rle")
        for entry in p r; do
            now[$name.$entry]=$(($(cycles "$sim" "t$entry" "$name.rle") - base[$name] + 12))
            keep "$name.$entry" "${now[$name.$entry]}"
        done
    done
    for entry in p r; do
        keep "packet.$entry" $(((now[runs3.$entry] - now[long.$entry]) * 10 / more))
    done
}

# Only figures of a correct expansion are worth printing.
for name in $names; do
    sim65 "$objects/unrle-sim" r "$name.rle" 2>/dev/null | cmp -s - "$name.nam" || {
        echo "decoder-cycles: the decoder did not give back $name.nam" >&2
        exit 1
    }
done

if ((sweep)); then
    for pad in $(seq 0 255); do
        link "$pad"
        measure "sim$pad"
        rm -f "sim$pad"
    done
    where="over every placement (best-worst)"
else
    measure "$objects/unrle-sim"
    where="where the test harness places the decoder"
fi

tenths() { perl -e 'printf "%.1f", $ARGV[0] / 10' "$1"; }
figure() { # key [tenths]
    local show=printf
    [[ -z ${2-} ]] || show=tenths
    if [[ ${best[$1]} == "${worst[$1]}" ]]; then
        $show "${best[$1]}"
    else
        printf '%s-%s' "$($show "${best[$1]}")" "$($show "${worst[$1]}")"
    fi
}
per_byte() { perl -e 'printf "%.1f", $ARGV[0] / $ARGV[1]' "$1" "$2"; }

read -r code zp < <(od65 --dump-segsize "$objects/unrle.o" |
    awk '$1 == "CODE:" { c = $2 } $1 == "ZEROPAGE:" { z = $2 } END { print c, z }')
echo "decoder/unrle.s: $code bytes of code, $zp bytes of zero page"
echo "CPU cycles from JSR to RTS, as sim65 counts them, $where;"
echo "per byte from the worst:"
printf '%-34s %5s %6s %13s %6s %13s %6s\n' stream bytes packed unrle_ppu /byte unrle_ram /byte
for name in title literal runs3; do
    case $name in
    title) label="example name table (title.bmp)" ;;
    literal) label="all-literal 1024-byte table" ;;
    runs3) label="1024 bytes of 3-runs and singles" ;;
    esac
    bytes=$(stat -c %s "$name.nam")
    printf '%-34s %5d %6d %13s %6s %13s %6s\n' "$label" "$bytes" "$(stat -c %s "$name.rle")" \
        "$(figure "$name.p")" "$(per_byte "${worst[$name.p]}" "$bytes")" \
        "$(figure "$name.r")" "$(per_byte "${worst[$name.r]}" "$bytes")"
done
printf 'per packet beyond its bytes (half runs, half literals): unrle_ppu %s, unrle_ram %s\n' \
    "$(figure packet.p tenths)" "$(figure packet.r tenths)"

failed=0
target() { # what, value, comparison, limit
    local verdict=pass
    if ! perl -e 'exit !($ARGV[1] eq "<=" ? $ARGV[0] <= $ARGV[2] : $ARGV[0] < $ARGV[2])' \
        "$2" "$3" "$4"; then
        verdict=FAIL
        failed=1
    fi
    printf '%-54s %8s %2s %6s  %s\n' "$1" "$2" "$3" "$4" "$verdict"
}
echo "targets, against the worst figure:"
target "unrle_ppu: cycles per packet" "$(tenths "${worst[packet.p]}")" "<=" 60
target "unrle_ppu: 1024 bytes of 3-runs and singles" "${worst[runs3.p]}" "<" 40000
target "unrle_ppu: example name table, no slower than before" "${worst[title.p]}" "<=" 18950
target "unrle_ram: example name table, no slower than before" "${worst[title.r]}" "<=" 22012
exit "$failed"
