#!/usr/bin/env bash
# Measures in cc65's simulator how many CPU cycles the 6502 decoder
# (decoder/unrle.s) takes to expand runsquash streams, and prints its size.
#
#   scripts/decoder-cycles.sh [BUILD_DIR]
#
# Without BUILD_DIR it configures and builds the release preset. Each figure
# runs from the JSR that calls the entry to the RTS that ends it: sim65 -c
# counts the whole harness, so the harness is run once more on the same
# stream with no decoder behind the same indirect jump, and the difference
# is the decoder's body, plus 6 for the JSR and 6 for the RTS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

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
sim="$build/decoder/unrle-sim"

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

cycles() { sim65 -c "$sim" "$1" "$2" | sed -n 's/^\([0-9]*\) cycles$/\1/p'; }

read -r code zp < <(od65 --dump-segsize "$build/decoder/unrle.o" |
    awk '$1 == "CODE:" { c = $2 } $1 == "ZEROPAGE:" { z = $2 } END { print c, z }')
echo "decoder/unrle.s: $code bytes of code, $zp bytes of zero page"
echo "CPU cycles from JSR to RTS, as sim65 counts them:"
printf '%-34s %6s %7s %10s %8s %10s %8s\n' stream bytes packed unrle_ppu per-byte unrle_ram per-byte
for name in title literal runs3; do
    case $name in
    title) label="example name table (title.bmp)" ;;
    literal) label="all-literal 1024-byte table" ;;
    runs3) label="1024 bytes of 3-runs and singles" ;;
    esac
    "$build/compressor/runsquash" "$name.nam" "$name.rle" >/dev/null
    # Only figures of a correct expansion are worth printing.
    sim65 "$sim" r "$name.rle" 2>/dev/null | cmp -s - "$name.nam" || {
        echo "decoder-cycles: the decoder did not give back $name.nam" >&2
        exit 1
    }
    bytes=$(stat -c %s "$name.nam")
    base=$(cycles tn "$name.rle")
    ppu=$(($(cycles tp "$name.rle") - base + 12))
    ram=$(($(cycles tr "$name.rle") - base + 12))
    printf '%-34s %6d %7d %10d %8.1f %10d %8.1f\n' "$label" "$bytes" "$(stat -c %s "$name.rle")" \
        "$ppu" "$(echo "$ppu $bytes" | awk '{ print $1 / $2 }')" \
        "$ram" "$(echo "$ram $bytes" | awk '{ print $1 / $2 }')"
done
