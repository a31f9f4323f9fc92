#!/usr/bin/env bash
# install_tree.sh CMAKE BUILD_DIR SOURCE_DIR
#
# `cmake --install` with a prefix, into a scratch DESTDIR: exactly the files
# a user needs, each where other programs look for it and with the mode it
# needs, and the manual pages as the sources say.
set -uo pipefail
cmake=$1 build=$2 source=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=/opt/nes

if ! DESTDIR=$scratch/root "$cmake" --install "$build" --prefix "$prefix" >"$scratch/log" 2>&1; then
    cat "$scratch/log"
    echo "FAIL: cmake --install failed"
    exit 1
fi
tree=$scratch/root$prefix
actual=$(cd "$tree" && find . ! -type d -printf '%M %P\n' | sort -k2)
# Each tool the build made that has a manual page (SUITE_TOOLS, from ctest).
read -ra tools <<<"${SUITE_TOOLS:?the tools to expect, set by ctest}"
expected=$(printf -- '-rwxr-xr-x bin/%s\n' "${tools[@]}"; printf '%s\n' '-rw-r--r-- share/doc/nes-tile-suite/NES.md
-rw-r--r-- share/doc/nes-tile-suite/README.md
-rw-r--r-- share/doc/nes-tile-suite/copyright
-rw-r--r-- share/man/man1/runsquash.1.gz
-rw-r--r-- share/man/man1/tilecut.1.gz
-rw-r--r-- share/man/man1/tilefit.1.gz
-rw-r--r-- share/man/man1/tilefold.1.gz
-rw-r--r-- share/man/man1/tilepal.1.gz
-rw-r--r-- share/man/man1/tileshow.1.gz
-rw-r--r-- share/man/man5/nes-tile-formats.5.gz
-rw-r--r-- share/nes-tile-suite/decoder/unrle.s
-rwxr-xr-x share/nes-tile-suite/rom/fit.sh
-rw-r--r-- share/nes-tile-suite/rom/nrom128.cfg
-rw-r--r-- share/nes-tile-suite/rom/template.s')
expected=$(sort -k2 <<<"$expected")
failed=0
if [[ $actual != "$expected" ]]; then
    echo "FAIL: the installed tree differs from the expected one (- expected, + installed):"
    diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | sed 's/^</-/; s/^>/+/'
    failed=1
fi
# Nothing escaped the prefix.
outside=$(cd "$scratch/root" && find . ! -type d ! -path "./${prefix#/}/*")
if [[ -n $outside ]]; then
    echo "FAIL: installed outside the prefix: $outside"
    failed=1
fi

# The data files are the sources; the pages, the sources compressed.
for pair in decoder/unrle.s:share/nes-tile-suite/decoder/unrle.s \
    examples/rom/template.s:share/nes-tile-suite/rom/template.s \
    examples/rom/nrom128.cfg:share/nes-tile-suite/rom/nrom128.cfg \
    examples/rom/fit.sh:share/nes-tile-suite/rom/fit.sh \
    README.md:share/doc/nes-tile-suite/README.md \
    docs/NES.md:share/doc/nes-tile-suite/NES.md; do
    cmp -s "$source/${pair%%:*}" "$tree/${pair#*:}" || {
        echo "FAIL: ${pair#*:} is not $source/${pair%%:*}"
        failed=1
    }
done
for source_page in "$source"/man/*.[1-8]; do
    page=${source_page##*/}
    page=man${page##*.}/$page
    gzip -dc "$tree/share/man/$page.gz" 2>/dev/null | cmp -s - "$source_page" || {
        echo "FAIL: share/man/$page.gz is not man/${page#*/} compressed"
        failed=1
    }
done

# Tools that start from where they were installed, with no path back into
# the build tree.
for tool in "${tools[@]}"; do
    if readelf -d "$tree/bin/$tool" 2>/dev/null | grep -Eq 'RPATH|RUNPATH'; then
        echo "FAIL: bin/$tool keeps a library search path"
        failed=1
    fi
done
version=$("$tree/bin/tilepal" --version)
[[ $version == "tilepal (nes-tile-suite) "* ]] || {
    echo "FAIL: the installed tilepal --version printed \"$version\""
    failed=1
}
((failed == 0)) && echo "the installed tree is as expected"
exit "$failed"
