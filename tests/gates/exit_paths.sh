#!/usr/bin/env bash
# Exit-path gate: runs every way each tool can end under valgrind and fails
# on a wrong status or message, any leak, any memory error, or any file
# descriptor the tool left open besides the standard three.
#
#   exit_paths.sh TILECUT TILEFOLD RUNSQUASH EXAMPLES_DIR TILEPAL [SUPPRESSIONS.supp] TILESHOW
#
# Exits 77 (skipped) when valgrind is not installed.
set -uo pipefail

tilecut=$(realpath "$1") tilefold=$(realpath "$2") runsquash=$(realpath "$3") examples=$(realpath "$4")
tilepal=$(realpath "$5")
# The tools added later come after TILEPAL and are known by their names.
supp="" tileshow=""
for arg in "${@:6}"; do
    [[ $arg == *.supp ]] && supp=$(realpath "$arg")
    [[ ${arg##*/} == tileshow ]] && tileshow=$(realpath "$arg")
done
command -v valgrind >/dev/null || { echo "valgrind not installed: skipped"; exit 77; }

valgrind_opts=(--quiet --leak-check=full --errors-for-leak-kinds=definite,indirect
               --track-fds=yes --error-exitcode=99)
[[ -n $supp ]] && valgrind_opts+=(--suppressions="$supp")

base=$(mktemp -d)
mkdir -m 777 "$base/logs"
trap 'chmod -R u+rwx "$base" 2>/dev/null; rm -rf "$base"' EXIT
# Cases that need an unreadable file must not run as root, who reads anything.
as_user=()
if [[ $(id -u) -eq 0 ]] && command -v setpriv >/dev/null; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod 755 "$base"
    # The build tree may sit below a directory only root can enter (a
    # checkout in a mktemp -d folder, say), so the tools run from here.
    mkdir -m 755 "$base/bin"
    cp "$tilecut" "$tilefold" "$runsquash" "$tilepal" ${tileshow:+"$tileshow"} "$base/bin/"
    tilecut=$base/bin/$(basename "$tilecut")
    tilefold=$base/bin/$(basename "$tilefold")
    runsquash=$base/bin/$(basename "$runsquash")
    tilepal=$base/bin/$(basename "$tilepal")
    [[ -z $tileshow ]] || tileshow=$base/bin/$(basename "$tileshow")
fi

passed=0 failed=0 skipped=0 current=""

# case NAME: starts a fresh scratch directory for the next check.
case_() {
    current=$1
    mkdir -p "$base/$current"
    cd "$base/$current" || exit 2
    chmod 777 .
}

# check STATUS STDERR STDOUT [--as-user] TOOL ARGS...
check() {
    local want_status=$1 want_err=$2 want_out=$3
    shift 3
    local prefix=()
    if [[ $1 == --as-user ]]; then
        shift
        if ((${#as_user[@]} == 0)) && [[ $(id -u) -eq 0 ]]; then
            echo "SKIP $current (needs setpriv to drop root)"
            skipped=$((skipped + 1))
            return
        fi
        prefix=("${as_user[@]}")
    fi
    local log="$base/logs/$current.vg"
    # A hang (a pipe opened for reading, say) fails the case instead of the run.
    timeout 300 "${prefix[@]}" valgrind "${valgrind_opts[@]}" --log-file="$log" "$@" \
        >"$base/$current.out" 2>"$base/$current.err" </dev/null
    local status=$? problems=()
    [[ $status -eq 124 ]] && problems+=("did not finish within 300 s")
    [[ $status -eq 99 ]] && problems+=("memory error or leak")
    [[ $status -ne 99 && $status -ne $want_status ]] && problems+=("exit $status, wanted $want_status")
    [[ $(cat "$base/$current.err"; echo x) == "$(printf '%b' "$want_err"; echo x)" ]] ||
        problems+=("stderr: $(head -c 300 "$base/$current.err" | od -c | head -5)")
    [[ $(cat "$base/$current.out"; echo x) == "$(printf '%b' "$want_out"; echo x)" ]] ||
        problems+=("stdout: $(head -c 300 "$base/$current.out")")
    # Valgrind lists each open descriptor, then where it came from; the ones
    # this script handed down are marked as inherited.
    local leaked
    leaked=$(awk '/Open (file descriptor|AF_)/ {fd=$0; getline; if ($0 !~ /inherited from parent/) print fd}' "$log")
    [[ -n $leaked ]] && problems+=("descriptor left open: $leaked")
    # Outputs are written to hidden temporary files beside them; none may stay.
    local stray
    stray=$(find . -name '.*.??????' 2>/dev/null | head -3)
    [[ -n $stray ]] && problems+=("temporary file left: $stray")
    if ((${#problems[@]} == 0)); then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL $current"
        printf '     %s\n' "${problems[@]}"
        sed 's/^/     | /' "$log" | head -40
    fi
}

regressions=$(dirname "$(realpath "$0")")/../intake/regressions
# unchanged FILE COPY: the file must still hold what COPY holds.
unchanged() {
    cmp -s "$1" "$2" || { echo "FAIL $current: $1 changed"; failed=$((failed + 1)); }
}
# For files whose size the kernel makes up; a system without them skips.
exists_or_skip() {
    [[ -e $1 ]] && return 0
    echo "SKIP $current (no $1 here)"
    skipped=$((skipped + 1))
    return 1
}
bmp() { cp "$examples/title.bmp" "$1"; }
gray() { cp "$examples/gradient.bmp" "$1"; }
usage_tilecut='tilecut by Quorvain: convert .bmp or .pcx files to NES .chr\nsyntax: tilecut file.bmp file2.bmp (convert from 4-color indexed)\n        tilecut -d file3.bmp file4.bmp (dither from GIMP grayscale)'

# ---- tilecut -------------------------------------------------------------
case_ tilecut-success; bmp a.bmp; gray g.bmp
check 0 '' '' "$tilecut" a.bmp -d g.bmp
case_ tilecut-usage
check 1 "$usage_tilecut" '' "$tilecut" -d
case_ tilecut-missing
check 1 'could not load bitmap none.bmp\n' '' "$tilecut" none.bmp
case_ tilecut-second-of-three; bmp a.bmp; bmp c.bmp; printf 'BM' >b.bmp
check 1 'could not load bitmap b.bmp\n' '' "$tilecut" a.bmp b.bmp c.bmp
case_ tilecut-directory; mkdir d.bmp
check 1 'could not load bitmap d.bmp\n' '' "$tilecut" d.bmp
case_ tilecut-empty; : >e.bmp
check 1 'could not load bitmap e.bmp\n' '' "$tilecut" e.bmp
case_ tilecut-malformed; head -c 600 "$examples/title.bmp" >m.bmp
check 1 'could not load bitmap m.bmp\n' '' "$tilecut" m.bmp
case_ tilecut-unreadable; bmp u.bmp; chmod 000 u.bmp
check 1 'could not load bitmap u.bmp\n' '' --as-user "$tilecut" u.bmp
case_ tilecut-huge; cp "$regressions/refused-bmp-height-2130706451.bmp" h.bmp
check 1 'could not load bitmap h.bmp\n' '' "$tilecut" h.bmp
case_ tilecut-input-is-output; head -c 64 /dev/urandom >a.chr; cp a.chr keep
check 1 'could not load bitmap a.chr\n' '' "$tilecut" a.chr
unchanged a.chr keep
case_ tilecut-output-links-to-input; bmp pic.bmp; ln -s pic.bmp pic.chr; cp pic.bmp keep
check 1 'will not write pic.chr: it is the input image pic.bmp\n' '' "$tilecut" pic.bmp
unchanged pic.bmp keep
case_ tilecut-output-is-hard-link; bmp pic.bmp; ln pic.bmp pic.chr; cp pic.bmp keep
check 1 'will not write pic.chr: it is the input image pic.bmp\n' '' "$tilecut" pic.bmp
unchanged pic.bmp keep
case_ tilecut-pipe-without-writer; mkfifo x.bmp
check 1 'could not load bitmap x.bmp\n' '' "$tilecut" x.bmp
case_ tilecut-destination; bmp a.bmp; mkdir a.chr
check 1 'could not open destination file\n' '' "$tilecut" a.bmp
case_ tilecut-long-name
long=$(printf 'd%.0s' {1..250}); dir="$long/$long/$long/$long/$long"; mkdir -p "$dir"; bmp "$dir/a.bmp"
check 1 'could not open destination file\n' '' "$tilecut" "$dir/a.bmp"
case_ tilecut-full-disk; bmp a.bmp; ln -s /dev/full a.chr
check 1 'could not write a.chr: No space left on device\n' '' "$tilecut" a.bmp

# ---- tilefold ------------------------------------------------------------
case_ tilefold-success; "$tilecut" "$(bmp t.bmp; echo t.bmp)"
check 0 '' '' "$tilefold" t.chr
case_ tilefold-usage
check 1 'syntax: tilefold foo.chr\n' '' "$tilefold"
case_ tilefold-missing
check 1 'tilefold could not open none.chr: No such file or directory\n' '' "$tilefold" none.chr
case_ tilefold-unreadable; head -c 64 /dev/zero >u.chr; chmod 000 u.chr
check 1 'tilefold could not open u.chr: Permission denied\n' '' --as-user "$tilefold" u.chr
case_ tilefold-out-chr-blocked; : >in.chr; mkdir out.chr
check 1 'tilefold could not open out.chr: Is a directory\n' '' "$tilefold" in.chr
case_ tilefold-out-nam-blocked; : >in.chr; mkdir out.nam
check 1 'tilefold could not open out.nam: Is a directory\n' '' "$tilefold" in.chr
[[ ! -e out.chr ]] || { echo "FAIL $current: out.chr created"; failed=$((failed + 1)); }
case_ tilefold-directory; mkdir d.chr
check 1 'tilefold could not read d.chr: Is a directory\n' '' "$tilefold" d.chr
case_ tilefold-pipe; mkfifo p; { head -c 64 /dev/zero >p; } >/dev/null 2>&1 &
check 1 'tilefold could not read p: Illegal seek\n' '' "$tilefold" p
case_ tilefold-pipe-without-writer; mkfifo p
check 1 'tilefold could not read p: Illegal seek\n' '' "$tilefold" p
case_ tilefold-device
check 1 'tilefold could not read /dev/zero: not a regular file\n' '' "$tilefold" /dev/zero
case_ tilefold-size-not-seekable
exists_or_skip /proc/cpuinfo &&
    check 1 'tilefold could not read /proc/cpuinfo: Invalid argument\n' '' "$tilefold" /proc/cpuinfo
case_ tilefold-size-untrue; sys=/sys/kernel/mm/transparent_hugepage/enabled
exists_or_skip $sys && check 1 "tilefold could not read $sys: file ended early\n" '' "$tilefold" $sys
case_ tilefold-empty; : >e.chr
check 0 '' '' "$tilefold" e.chr
case_ tilefold-input-is-output; head -c 64 /dev/urandom >out.chr
check 1 "tilefold will not read $base/tilefold-input-is-output/out.chr: it is the output file out.chr\n" '' "$tilefold" "$PWD/out.chr"
case_ tilefold-huge; head -c $((16 << 20)) /dev/zero >h.chr
check 0 '' '' "$tilefold" h.chr
[[ $(stat -c %s out.nam) -eq $((1 << 20)) ]] || { echo "FAIL tilefold-huge: out.nam size"; failed=$((failed + 1)); }
case_ tilefold-too-many-tiles
awk 'BEGIN { for (t = 0; t < 300; t++) for (b = 0; b < 16; b++) printf "%c", (b == 0 ? t % 256 : (b == 1 ? int(t / 256) + 1 : 0)) }' LC_ALL=C >big.chr
check 0 'warning: 44 tiles in big.chr\ndo not match the first 256 unique tiles' '' "$tilefold" big.chr
case_ tilefold-one-tile-too-many
awk 'BEGIN { for (t = 0; t < 257; t++) for (b = 0; b < 16; b++) printf "%c", (b == 0 ? t % 256 : (b == 1 ? int(t / 256) + 1 : 0)) }' LC_ALL=C >big.chr
check 0 'warning: 1 tiles in big.chr\ndo not match the first 256 unique tiles' '' "$tilefold" big.chr
case_ tilefold-full-disk-chr; head -c 64 /dev/zero >in.chr; ln -s /dev/full out.chr
check 1 'tilefold could not write out.chr: No space left on device\n' '' "$tilefold" in.chr
case_ tilefold-full-disk-nam; head -c 64 /dev/zero >in.chr; ln -s /dev/full out.nam
check 1 'tilefold could not write out.nam: No space left on device\n' '' "$tilefold" in.chr

# ---- runsquash -----------------------------------------------------------
case_ runsquash-success; head -c 960 /dev/zero >in.nam
check 0 '' 'reading 960 bytes\ncompressed to 18 bytes.\n' "$runsquash" in.nam out.rlz
case_ runsquash-usage
check 1 'syntax: runsquash infile.nam outfile.rlz\n' '' "$runsquash" in.nam
case_ runsquash-missing
check 1 'runsquash could not open none.nam for reading\n' '' "$runsquash" none.nam out.rlz
case_ runsquash-unreadable; head -c 64 /dev/zero >u.nam; chmod 000 u.nam
check 1 'runsquash could not open u.nam for reading\n' '' --as-user "$runsquash" u.nam out.rlz
case_ runsquash-output-blocked; : >in.nam; mkdir out.rlz
check 1 'runsquash could not open out.rlz for writing\n' '' "$runsquash" in.nam out.rlz
case_ runsquash-directory; mkdir d.nam
check 1 'runsquash could not read d.nam: Is a directory\n' '' "$runsquash" d.nam out.rlz
case_ runsquash-pipe; mkfifo p; { head -c 64 /dev/zero >p; } >/dev/null 2>&1 &
check 1 'runsquash could not find the size of p: Illegal seek\n' '' "$runsquash" p out.rlz
case_ runsquash-pipe-without-writer; mkfifo p
check 1 'runsquash could not find the size of p: Illegal seek\n' '' "$runsquash" p out.rlz
case_ runsquash-size-not-seekable
exists_or_skip /proc/self/status &&
    check 1 'runsquash could not find the size of /proc/self/status: Invalid argument\n' '' "$runsquash" /proc/self/status out.rlz
case_ runsquash-size-untrue; sys=/sys/kernel/mm/transparent_hugepage/enabled
exists_or_skip $sys &&
    check 1 "runsquash could not read $sys: file ended early\n" 'reading 4096 bytes\n' "$runsquash" $sys out.rlz
case_ runsquash-device
check 1 'runsquash could not find the size of /dev/zero: not a regular file\n' '' "$runsquash" /dev/zero out.rlz
[[ ! -e out.rlz ]] || { echo "FAIL runsquash-device: output created"; failed=$((failed + 1)); }
case_ runsquash-empty; : >e.nam
check 0 '' 'reading 0 bytes\ncompressed to 0 bytes.\n' "$runsquash" e.nam out.rlz
case_ runsquash-too-big-for-memory; truncate -s 1T huge.nam
check 1 'runsquash could not allocate 1099511627776 bytes to hold the file' 'reading 1099511627776 bytes\n' "$runsquash" huge.nam out.rlz
[[ ! -e out.rlz ]] || { echo "FAIL $current: out.rlz created"; failed=$((failed + 1)); }
case_ runsquash-over-64k; head -c 70000 /dev/zero >big.nam
check 0 'runsquash warning: big.nam is 70000 bytes, but the length header holds only the low 16 bits of the size (4464)\n' \
    'reading 70000 bytes\ncompressed to 1096 bytes.\n' "$runsquash" big.nam out.rlz
case_ runsquash-same-file; head -c 64 /dev/zero >in.nam; ln in.nam link.nam
check 1 'runsquash will not write link.nam: it is the same file as the input in.nam\n' '' "$runsquash" in.nam link.nam
case_ runsquash-full-disk; head -c 960 /dev/zero >in.nam
check 1 'runsquash could not write /dev/full: No space left on device\n' 'reading 960 bytes\n' "$runsquash" in.nam /dev/full
case_ runsquash-empty-to-full-disk; : >in.nam
check 1 'runsquash could not write /dev/full: No space left on device\n' 'reading 0 bytes\n' "$runsquash" in.nam /dev/full

# ---- tilepal -------------------------------------------------------------
# The picture is the bundled title screen: four colours of palette 0, so it
# passes quietly. Its first pixel in the file, (0, 239), turned to index 5
# and its last, (255, 239), to index 9 give two areas of two palettes.
case_ tilepal-success; bmp a.bmp
check 0 '' '' "$tilepal" a.bmp
[[ $(stat -c %s a.pal) -eq 16 && $(stat -c %s a.atr) -eq 64 ]] ||
    { echo "FAIL tilepal-success: output sizes"; failed=$((failed + 1)); }
usage_tilepal='usage: tilepal [--nes-palette FILE] picture...\n'
case_ tilepal-usage
check 1 "tilepal: unknown option -x\n$usage_tilepal" '' "$tilepal" -x a.bmp
case_ tilepal-help
help_tilepal='Writes beside each paletted picture (BMP, PCX, PNG or TGA) its NES palette,
PICTURE.pal (16 bytes for $3F00-$3F0F), and its attribute table, PICTURE.atr
(one byte per 32x32 block). Palette index = 4 x palette + colour: at most 16
colours, and one palette for the colours 1-3 of each 16x16 area.

  --nes-palette FILE  the console'"'"'s colours from an emulator'"'"'s palette file
                      (192 bytes, or 1536 with emphasis), not the built-in ones
  -h, --help          show this help and exit
  --version           show the version and exit
'
check 0 '' "$usage_tilepal$help_tilepal" "$tilepal" --help
case_ tilepal-version
version=$(sed -n 's/^project(nes_tile_suite VERSION \([0-9.]*\).*/\1/p' "$examples/../CMakeLists.txt")
check 0 '' "tilepal (nes-tile-suite) $version\n" "$tilepal" --version
case_ tilepal-missing
check 1 'tilepal: none.bmp: could not load the picture: No such file or directory\n' '' "$tilepal" none.bmp
case_ tilepal-not-paletted; printf '\0\0\3\0\0\0\0\0\0\0\0\0\1\0\1\0\10\0\200' >g.tga
check 1 'tilepal: g.tga: not a paletted picture (it is grayscale)\n' '' "$tilepal" g.tga
case_ tilepal-conflicts; bmp c.bmp
printf '\5' | dd of=c.bmp bs=1 seek=1078 conv=notrunc 2>/dev/null
printf '\11' | dd of=c.bmp bs=1 seek=1333 conv=notrunc 2>/dev/null
check 1 'tilepal: c.bmp: 16x16 area at (0, 224) uses palettes 0 and 1: index 1 at (0, 224), index 5 at (0, 239)\ntilepal: c.bmp: 16x16 area at (240, 224) uses palettes 0 and 2: index 2 at (240, 224), index 9 at (255, 239)\n' '' "$tilepal" c.bmp
# a.pal's temporary file is open when a.atr fails, and must go.
case_ tilepal-unwritable-output; bmp a.bmp; mkdir a.atr
check 1 'tilepal: a.atr: could not open it for writing: Is a directory\n' '' "$tilepal" a.bmp
[[ $(ls -A) == $'a.atr\na.bmp' ]] || { echo "FAIL tilepal-unwritable-output: left $(ls -A)"; failed=$((failed + 1)); }
case_ tilepal-full-disk; bmp a.bmp; ln -s /dev/full a.atr
check 1 'tilepal: a.atr: could not write it: No space left on device\n' '' "$tilepal" a.bmp
[[ $(ls -A) == $'a.atr\na.bmp' ]] || { echo "FAIL tilepal-full-disk: left $(ls -A)"; failed=$((failed + 1)); }
case_ tilepal-bad-palette-file; bmp a.bmp; head -c 100 /dev/zero >odd.pal
check 1 'tilepal: odd.pal: a NES palette file has 192 bytes, or 1536 with emphasis; this one has 100\n' '' "$tilepal" --nes-palette odd.pal a.bmp
# What the intake refuses, tilepal refuses with the reason the intake gives.
case_ tilepal-directory; mkdir d.bmp
check 1 'tilepal: d.bmp: could not load the picture: not a regular file\n' '' "$tilepal" d.bmp
case_ tilepal-unreadable; bmp u.bmp; chmod 000 u.bmp
check 1 'tilepal: u.bmp: could not load the picture: Permission denied\n' '' --as-user "$tilepal" u.bmp
case_ tilepal-empty; : >e.bmp
check 1 'tilepal: e.bmp: could not load the picture: malformed: the file ends in its header\n' '' "$tilepal" e.bmp
case_ tilepal-pipe-without-writer; mkfifo x.bmp
check 1 'tilepal: x.bmp: could not load the picture: not a regular file\n' '' "$tilepal" x.bmp
case_ tilepal-device
check 1 'tilepal: /dev/zero: could not load the picture: not a .bmp, .pcx, .png or .tga file\n' '' "$tilepal" /dev/zero
case_ tilepal-untrusted-size
exists_or_skip /proc/cpuinfo &&
    check 1 'tilepal: /proc/cpuinfo: could not load the picture: not a .bmp, .pcx, .png or .tga file\n' '' "$tilepal" /proc/cpuinfo
case_ tilepal-malformed; head -c 600 "$examples/title.bmp" >m.bmp
check 1 'tilepal: m.bmp: could not load the picture: malformed: the pixel offset does not fit the file\n' '' "$tilepal" m.bmp
case_ tilepal-huge; cp "$regressions/refused-bmp-height-2130706451.bmp" h.bmp
check 1 'tilepal: h.bmp: could not load the picture: too large: more than 16384 pixels a side\n' '' "$tilepal" h.bmp
case_ tilepal-output-links-to-input; bmp a.bmp; ln -s a.bmp a.pal; cp a.bmp keep
check 1 'tilepal: a.pal: will not write over the input picture a.bmp\n' '' "$tilepal" a.bmp
unchanged a.bmp keep
[[ ! -e a.atr ]] || { echo "FAIL $current: a.atr written"; failed=$((failed + 1)); }

# ---- tileshow ------------------------------------------------------------
[[ -n $tileshow ]] || { echo "FAIL tileshow: no argument names its binary"; exit 2; }
version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$examples/../CMakeLists.txt")
usage_tileshow='usage: tileshow [-w TILES] [-p FILE.pal] [-a FILE.atr] [--nes-palette FILE]\n                TILES.chr [NAMES.nam] -o OUT.png\n'
help_tileshow="${usage_tileshow}"'Draws the tiles of TILES.chr as the NES would show them, as an indexed PNG
whose indices are the colour numbers a paletted picture needs (4 x palette +
colour), so that it goes straight back into tilecut and tilepal.
With NAMES.nam, each name-table byte is drawn as that tile, in raster order;
without, the tiles are drawn in order as a sheet.

  -o OUT.png          the picture to write (required)
  -w TILES            tiles across (32 with a name table, 16 without)
  -p FILE.pal         the 16-byte palette for $3F00 (else four grays)
  -a FILE.atr         each 16x16 area'"'"'s palette from the attribute table
  --nes-palette FILE  the console'"'"'s colours from an emulator'"'"'s palette file
                      (192 bytes, or 1536 with emphasis), not the built-in ones
  -h, --help          show this help and exit
  --version           show the version and exit
'
# A picture, its tiles, and a 16-byte palette: what a screen's makefile has.
screen() {
    bmp t.bmp && "$tilecut" t.bmp && "$tilefold" t.chr
    printf '\x0f\x01\x11\x21\x0f\x06\x16\x26\x0f\x0a\x1a\x2a\x0f\x02\x12\x22' >s.pal
}
no_png() { [[ ! -e $1 ]] || { echo "FAIL $current: $1 written"; failed=$((failed + 1)); }; }
case_ tileshow-success; screen; head -c 64 /dev/urandom >s.atr
check 0 '' '' "$tileshow" out.chr out.nam -p s.pal -a s.atr -o s.png
[[ $(head -c 8 s.png | od -An -tx1 | tr -d ' ') == 89504e470d0a1a0a ]] || { echo "FAIL $current: no PNG"; failed=$((failed + 1)); }
case_ tileshow-sheet; screen
check 0 '' '' "$tileshow" -w 40 t.chr -o sheet.png
case_ tileshow-help
check 0 '' "$help_tileshow" "$tileshow" --help
case_ tileshow-version
check 0 '' "tileshow (nes-tile-suite) $version\n" "$tileshow" --version
case_ tileshow-usage
check 1 "tileshow: no CHR file named\n$usage_tileshow" '' "$tileshow"
case_ tileshow-unknown-option
check 1 "tileshow: unknown option -q\n$usage_tileshow" '' "$tileshow" -q t.chr -o o.png
case_ tileshow-missing
check 1 'tileshow: none.chr: could not read it: No such file or directory\n' '' "$tileshow" none.chr -o o.png
no_png o.png
case_ tileshow-tile-past-end; head -c 2400 /dev/zero >t.chr; { head -c 37 /dev/zero; printf '\226'; } >n.nam
check 1 'tileshow: n.nam byte 37 (column 5, row 1) names tile $96, but t.chr holds only 150 tiles\n' '' "$tileshow" t.chr n.nam -o o.png
no_png o.png
case_ tileshow-short-attributes; screen; head -c 32 /dev/zero >s.atr
check 1 'tileshow: s.atr is 32 bytes, but a 256x240 picture needs 64 (one per 32x32 block)\n' '' "$tileshow" out.chr out.nam -p s.pal -a s.atr -o o.png
no_png o.png
case_ tileshow-palette-size; screen; head -c 15 s.pal >p.pal
check 1 'tileshow: p.pal is 15 bytes, but a palette is 16\n' '' "$tileshow" out.chr out.nam -p p.pal -o o.png
no_png o.png
case_ tileshow-palette-byte; screen; { head -c 9 s.pal; printf '\x40'; tail -c 6 s.pal; } >p.pal
check 1 'tileshow: p.pal byte 9 is $40, but NES colour numbers end at $3F\n' '' "$tileshow" out.chr out.nam -p p.pal -o o.png
no_png o.png
case_ tileshow-output-is-input; screen; cp out.nam keep
check 1 'tileshow: out.nam: will not write over the input out.nam\n' '' "$tileshow" out.chr out.nam -o out.nam
unchanged out.nam keep
case_ tileshow-output-blocked; screen; mkdir o.png
check 1 'tileshow: o.png: could not open it for writing: Is a directory\n' '' "$tileshow" out.chr out.nam -o o.png
case_ tileshow-full-disk; screen; ln -s /dev/full o.png
check 1 'tileshow: o.png: could not write it: No space left on device\n' '' "$tileshow" out.chr out.nam -p s.pal -o o.png
case_ tileshow-directory; mkdir d.chr
check 1 'tileshow: d.chr: could not read it: Is a directory\n' '' "$tileshow" d.chr -o o.png
case_ tileshow-unreadable; head -c 64 /dev/zero >u.chr; chmod 000 u.chr
check 1 'tileshow: u.chr: could not read it: Permission denied\n' '' --as-user "$tileshow" u.chr -o o.png
case_ tileshow-empty; : >e.chr
check 1 'tileshow: e.chr holds no whole tile: it is 0 bytes, and a tile is 16\n' '' "$tileshow" e.chr -o o.png
no_png o.png
case_ tileshow-pipe-without-writer; mkfifo p
check 1 'tileshow: p: could not read it: Illegal seek\n' '' "$tileshow" p -o o.png
case_ tileshow-device
check 1 'tileshow: /dev/zero: could not read it: not a regular file\n' '' "$tileshow" /dev/zero -o o.png
case_ tileshow-untrusted-size
exists_or_skip /proc/cpuinfo &&
    check 1 'tileshow: /proc/cpuinfo: could not read it: Invalid argument\n' '' "$tileshow" /proc/cpuinfo -o o.png
case_ tileshow-huge; head -c 16 /dev/zero >h.chr; truncate -s $(((64 << 20) + 16)) h.chr
check 1 'tileshow: h.chr: could not read it: file is too large\n' '' "$tileshow" h.chr -o o.png
no_png o.png

echo "$passed passed, $failed failed, $skipped skipped"
((failed == 0))
