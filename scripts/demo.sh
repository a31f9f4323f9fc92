#!/usr/bin/env bash
# Sets up, builds, and runs the whole chain on the bundled example pictures;
# renders the colour screen back to preview.png as the NES will show it, and
# builds the template ROM that shows it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake --preset release -S "$root" >/dev/null
cmake --build "$root/build/release" -j"$(nproc)" >/dev/null

bin="$root/build/release"
work="$root/build/demo"
rm -rf "$work"
mkdir -p "$work"
cp "$root/examples/title.bmp" "$root/examples/gradient.bmp" "$work/"
cd "$work"

size() { stat -c %s "$1"; }
distinct() { od -An -v -tx1 -w16 "$1" | sort -u | wc -l; }

"$bin/converter/tilecut" title.bmp -d gradient.bmp
echo "tilecut:   title.bmp -> title.chr ($(size title.chr) bytes, $(($(size title.chr) / 16)) tiles)"
echo "tilecut:   gradient.bmp -> gradient.chr ($(size gradient.chr) bytes, dithered with -d)"

"$bin/optimizer/tilefold" title.chr
echo "tilefold:  title.chr -> out.chr ($(size out.chr) bytes), out.nam ($(size out.nam) bytes): $(distinct title.chr) distinct tiles"

echo "runsquash: out.nam -> title.rlz"
"$bin/compressor/runsquash" out.nam title.rlz | sed 's/^/           /'

# tilefold always writes out.chr and out.nam in the current folder, so the
# colour screen gets a folder of its own.
mkdir colour
cp "$root/examples/colour.bmp" colour/
cd colour
echo "colour/:"
"$bin/converter/tilecut" colour.bmp
echo "tilecut:   colour.bmp -> colour.chr ($(size colour.chr) bytes, $(($(size colour.chr) / 16)) tiles)"
"$bin/palette/tilepal" colour.bmp
echo "tilepal:   colour.bmp -> colour.pal ($(od -An -v -tx1 colour.pal | tr a-f A-F | xargs)), colour.atr ($(size colour.atr) bytes)"
"$bin/optimizer/tilefold" colour.chr
echo "tilefold:  colour.chr -> out.chr ($(size out.chr) bytes), out.nam ($(size out.nam) bytes): $(distinct colour.chr) distinct tiles"
cat out.nam colour.atr >colour.scr
echo "cat:       out.nam colour.atr -> colour.scr ($(size colour.scr) bytes: name table and attributes, \$2000-\$23FF)"
echo "runsquash: colour.scr -> colour.rlz"
"$bin/compressor/runsquash" colour.scr colour.rlz | sed 's/^/           /'
"$bin/preview/tileshow" out.chr out.nam -p colour.pal -a colour.atr -o "$work/preview.png"
echo "tileshow:  out.chr out.nam colour.pal colour.atr -> $work/preview.png"

# The template takes its data under fixed names, found through
# --bin-include-dir: out.chr, screen.rlz and screen.pal.
if command -v ca65 >/dev/null && command -v ld65 >/dev/null; then
    cp colour.rlz screen.rlz
    cp colour.pal screen.pal
    ca65 --bin-include-dir . -o template.o "$root/examples/rom/template.s"
    ca65 -o unrle.o "$root/decoder/unrle.s"
    ld65 -C "$root/examples/rom/nrom128.cfg" -o "$work/title.nes" template.o unrle.o
    echo "rom:       $work/title.nes ($(size "$work/title.nes") bytes) shows colour.bmp"
else
    echo "rom:       skipped: ca65 and ld65 (the cc65 package) are not installed"
fi
echo "output in $work"
