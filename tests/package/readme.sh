#!/usr/bin/env bash
# readme.sh SOURCE_DIR
#
# The README stays the front page and nothing more: short, its Quick start
# exactly the two commands a newcomer runs, no sentence of it restating a
# manual page (the pages are the reference, and two copies drift), and every
# link in it and in the other documents leading to a file that exists.
set -uo pipefail
source=$(cd "$1" && pwd) || exit 1
readme=$source/README.md
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

lines=$(wc -l <"$readme")
((lines <= 210)) || fail "README.md is $lines lines; the reference belongs in the manual pages"

# The commands of the first code block after the Quick start heading.
commands=$(awk '/^## Quick start/ { section = 1; next }
                section && /^```/ { if (inside) exit; inside = 1; next }
                inside { sub(/ *#.*/, ""); print }' "$readme")
[[ $commands == $'./scripts/demo.sh\n./scripts/test.sh' ]] ||
    fail "the Quick start is not ./scripts/demo.sh and ./scripts/test.sh: $commands"

if command -v groff >/dev/null; then
    # Each page as one line of words, and each README sentence of eight words
    # or more, outside code blocks, tables and headings, looked for in them.
    flat() { tr -s ' \n\t' ' ' | tr -d '`*'; }
    pages=$(for page in "$source"/man/*.[1-8]; do
        groff -man -Tascii -P-cbou -rLL=2000n "$page" 2>/dev/null
    done | flat)
    # As -Tascii prints them: the README's multiplication signs and dashes.
    prose=$(awk '/^```/ { code = !code; next } !code && !/^(#|\||!\[)/' "$readme" |
        sed 's/×/x/g; s/[–—]/-/g' | flat)
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    echo "$pages" >"$scratch/pages"
    sed 's/\([.;:]\) /\1\n/g' <<<"$prose" | sed 's/^ *//; s/ *$//' |
        awk 'NF >= 8' >"$scratch/sentences"
    while IFS= read -r sentence; do
        fail "README.md restates a manual page: \"$sentence\""
    done < <(grep -oFf "$scratch/sentences" "$scratch/pages" | sort -u)
else
    echo "groff is not installed: the README is not compared with the pages"
fi

# Relative links: [text](path) with no scheme and no anchor of its own.
for doc in "$readme" "$source"/docs/*.md "$source"/bench/README.md; do
    [[ -f $doc ]] || continue
    while IFS= read -r target; do
        target=${target%%#*}
        [[ -z $target ]] && continue
        [[ -e $(dirname "$doc")/$target ]] || fail "${doc#"$source"/} links to $target, which is not there"
    done < <(grep -o '\]([^)]*)' "$doc" | sed 's/^](//; s/)$//' | grep -v '^[a-z]*:')
done

((failed == 0)) && echo "the README is $lines lines, restates no page, and every link leads somewhere"
exit "$failed"
