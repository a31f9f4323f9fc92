#!/usr/bin/env bash
# Sets up, builds, and runs the tools on the bundled example pictures.
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

"$bin/converter/tilecut" title.bmp -d gradient.bmp
echo "tilecut:   title.bmp    -> title.chr    ($(stat -c %s title.chr) bytes, $(($(stat -c %s title.chr) / 16)) tiles)"
echo "tilecut:   gradient.bmp -> gradient.chr ($(stat -c %s gradient.chr) bytes, dithered)"
echo "output in $work"
