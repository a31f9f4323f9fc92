# Sourced by run.sh before every case: the set-up helpers the cases share.
# A case runs in a fresh empty folder, its working directory, with each tool
# on PATH under its own name; calling it by that name applies the exec prefix.

# skip REASON: the case cannot run here; run.sh reports it skipped.
skip() {
    printf '%s\n' "$*" >"$CLI_SKIP"
    exit 0
}

# needs_file PATH: for files whose size the kernel makes up; a system
# without one skips the case.
needs_file() {
    [[ -e $1 ]] || skip "no $1 here"
}

# as_user CMD...: for a case that needs a file its user cannot read. Root
# reads anything, so as root CMD runs as nobody.
as_user() {
    if [[ $(id -u) -ne 0 ]]; then
        "$@"
    elif command -v setpriv >/dev/null; then
        setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
    else
        skip "needs setpriv to drop root"
    fi
}

# plain CMD...: CMD without the exec prefix, for set-up, and for the few
# cases whose point the prefix would hide (valgrind answers for the files
# under /proc/self itself).
plain() {
    CLI_EXEC_PREFIX='' "$@"
}

# The bundled pictures: the title screen (four colours of palette 0) and a
# grayscale gradient.
picture() { cp "$CLI_EXAMPLES/title.bmp" "$1"; }
gray() { cp "$CLI_EXAMPLES/gradient.bmp" "$1"; }

# hex "05 05 0a": those bytes on stdout.
hex() {
    local byte
    for byte in $*; do
        printf "\\x$byte"
    done
}

# bmp8 FILE WIDTH HEIGHT [INDEX]: an 8-bit BMP with 256 gray colours, every
# pixel INDEX (0 by default).
bmp8() {
    local file=$1 w=$2 h=$3 index=${4:-0}
    local size=$((($2 + 3) / 4 * 4 * $3))
    {
        LC_ALL=C awk -v w="$w" -v h="$h" -v size="$size" '
            function le(v, n) { for (; n > 0; n--) { printf "%c", v % 256; v = int(v / 256) } }
            BEGIN {
                printf "BM"; le(1078 + size, 4); le(0, 4); le(1078, 4)
                le(40, 4); le(w, 4); le(h, 4); le(1, 2); le(8, 2); le(0, 4); le(size, 4)
                le(2835, 4); le(2835, 4); le(256, 4); le(0, 4)
                for (i = 0; i < 256; i++) printf "%c%c%c%c", i, i, i, 0
            }'
        head -c "$size" /dev/zero | tr '\0' "\\$(printf '%03o' "$index")"
    } >"$file"
}

# dot FILE X Y INDEX...: sets pixels of a bmp8 picture, (0, 0) at the top.
dot() {
    local file=$1 w h stride
    shift
    w=$(od -An -tu4 -j18 -N4 "$file" | tr -d ' ')
    h=$(od -An -tu4 -j22 -N4 "$file" | tr -d ' ')
    stride=$(((w + 3) / 4 * 4))
    while (($# >= 3)); do
        printf "\\$(printf '%03o' "$3")" |
            dd of="$file" bs=1 seek=$((1078 + (h - 1 - $2) * stride + $1)) conv=notrunc 2>/dev/null
        shift 3
    done
}

# tiles N [FIRST]: N different tiles, numbered from FIRST (0) in their first
# two bytes.
tiles() {
    LC_ALL=C awk -v n="$1" -v first="${2:-0}" 'BEGIN {
        for (t = first; t < first + n; t++)
            for (b = 0; b < 16; b++)
                printf "%c", (b == 0 ? t % 256 : (b == 1 ? int(t / 256) + 1 : 0)) }'
}

# listing: every entry below the folder, one a line, sorted.
listing() {
    find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort
}

# snapshot: every entry with what it holds (a link: where it leads), so
# that a file left behind, or an input touched, shows.
snapshot() {
    local entry
    listing | while IFS= read -r entry; do
        if [[ -L $entry ]]; then
            echo "$entry -> $(readlink "$entry")"
        elif [[ -f $entry && -r $entry ]]; then
            echo "$entry $(cksum <"$entry")"
        else
            echo "$entry"
        fi
    done
}

# unchanged_by CMD...: runs CMD and says on stdout what it changed in the
# folder, if anything; returns CMD's status.
unchanged_by() {
    local before after status
    before=$(snapshot)
    "$@"
    status=$?
    after=$(snapshot)
    [[ $before == "$after" ]] || diff <(echo "$before") <(echo "$after") | sed 's/^/changed: /'
    return $status
}

# with_version CMD...: CMD's stdout with the project's version as VERSION.
with_version() {
    local version status out
    version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$CLI_SOURCE/CMakeLists.txt")
    out=$(
        "$@"
        status=$?
        echo x
        exit $status
    )
    status=$?
    out=${out%x}
    printf '%s' "${out//"$version"/VERSION}"
    return $status
}

# What a screen's makefile has: a picture, its tiles (out.chr, out.nam) and
# a 16-byte palette, s.pal.
screen() {
    picture t.bmp && plain tilecut t.bmp && plain tilefold t.chr
    hex 0f 01 11 21 0f 06 16 26 0f 0a 1a 2a 0f 02 12 22 >s.pal
}

# names N: a name table of N bytes over tiles 0-3.
names() {
    LC_ALL=C awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "%c", (i * 5 + 1) % 4 }'
}

# Every file a tileshow refusal may name. t.chr: four tiles, then five bytes
# that make no whole tile.
tileshow_files() {
    {
        hex 7f ff ff ff ff ff ff ff 00 00 00 00 00 00 00 00
        hex 55 55 55 55 55 55 55 55 33 33 33 33 33 33 33 33
        hex 00 00 00 00 00 00 00 00 ff ff ff ff ff ff ff ff
        head -c 16 /dev/zero
        hex ab ab ab ab ab
    } >t.chr
    head -c 19 /dev/zero | tr '\0' '\377' >one.chr
    head -c 10 /dev/zero >short.chr
    names 40 >n40.nam
    names 25 >n25.nam
    names 960 >n960.nam
    { names 37; hex 04; names 39 | tail -c 1; hex 09; } >past.nam
    : >empty.nam
    hex 0f 01 02 03 30 11 12 13 3f 21 22 23 00 31 32 33 >p.pal
    head -c 15 /dev/zero | tr '\0' '\17' >p15.pal
    head -c 192 /dev/zero | tr '\0' '\17' >p192.pal
    hex 0f 01 02 03 30 11 12 13 3f 40 22 23 00 31 32 33 >high.pal
    LC_ALL=C awk 'BEGIN { for (n = 0; n < 64; n++) printf "%c%c%c", 4 * n, 255 - 4 * n, (n + 90) % 256 }' >colours.pal
    hex e4 1b 55 aa >a.atr
    hex 00 >one.atr
    head -c 63 /dev/zero | tr '\0' '\33' >a63.atr
    head -c 64 /dev/zero | tr '\0' '\33' >a64.atr
    mkdir d.chr
    ln -s n960.nam nam-link.png
    ln -s /dev/full full.png
}
