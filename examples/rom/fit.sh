#!/bin/sh
# fit.sh FILE COLUMNS WIDE HIGH > OUT
#
# Lays out FILE, read as rows of COLUMNS bytes, at the top-left of a grid
# WIDE bytes across and HIGH rows down, and writes the grid to stdout. Every
# byte outside FILE is 0. For a picture smaller than the screen:
#
#   sh fit.sh out.nam 13 32 30 > title.nam     # 13 tiles across, 32x30 screen
#   sh fit.sh title.atr 4 8 8 > title.at8      # 4 attribute bytes across, 8x8
#   cat title.nam title.at8 > title.scr
#
# so the rest of the screen repeats slot 0 (the picture's top-left tile) in
# palette 0. A full-screen picture's files come out unchanged.
set -eu
if [ $# -ne 4 ]; then
    echo "usage: fit.sh FILE COLUMNS WIDE HIGH > OUT" >&2
    exit 1
fi
file=$1 cols=$2 wide=$3 high=$4
size=$(wc -c < "$file")
rows=$(( (size + cols - 1) / cols ))
if [ "$cols" -lt 1 ] || [ "$cols" -gt "$wide" ] || [ "$rows" -gt "$high" ]; then
    echo "fit.sh: $file, $cols bytes across and $rows rows, does not fit in $wide x $high" >&2
    exit 1
fi
zeros() {
    if [ "$1" -gt 0 ]; then
        head -c "$1" /dev/zero
    fi
}
r=0
while [ "$r" -lt "$rows" ]; do
    dd if="$file" bs="$cols" skip="$r" count=1 2>/dev/null
    left=$(( size - r * cols ))
    zeros $(( wide - (left < cols ? left : cols) ))
    r=$(( r + 1 ))
done
zeros $(( (high - rows) * wide ))
