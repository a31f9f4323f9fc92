#!/usr/bin/env bash
# Sets up, builds, and runs the whole chain on the bundled example pictures.
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

"$bin/converter/tilecut" title.bmp -d gradient.bmp
echo "tilecut:   title.bmp -> title.chr ($(size title.chr) bytes, $(($(size title.chr) / 16)) tiles)"
echo "tilecut:   gradient.bmp -> gradient.chr ($(size gradient.chr) bytes, dithered with -d)"

"$bin/optimizer/tilefold" title.chr
distinct=$(od -An -v -tx1 -w16 title.chr | sort -u | wc -l)
echo "tilefold:  title.chr -> out.chr ($(size out.chr) bytes), out.nam ($(size out.nam) bytes): $distinct distinct tiles"

echo "runsquash: out.nam -> title.rlz"
"$bin/compressor/runsquash" out.nam title.rlz | sed 's/^/           /'
echo "output in $work"
