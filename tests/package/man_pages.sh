#!/usr/bin/env bash
# man_pages.sh MANDIR TOOL...
#
# Every manual page renders without a single warning, as man(1) would show
# it, has the sections a user looks for, and quotes each tool's usage text
# exactly as the tool prints it: the usage is what changes when an option
# does, and a page that still shows the old one misleads.
set -uo pipefail
man_dir=$(cd "$1" && pwd) || exit 1
shift
if ! command -v groff >/dev/null; then
    echo "groff is not installed (scripts/setup.sh installs groff-base): skipped"
    exit 77
fi
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

# Every page in the folder, so that a new one is checked as soon as it is there.
mapfile -t pages < <(cd "$man_dir" && ls ./*.[1-8] | sed 's|^\./||')
sections_1=(NAME SYNOPSIS DESCRIPTION "EXIT STATUS" DIAGNOSTICS EXAMPLES "SEE ALSO")
sections_5=(NAME DESCRIPTION "SEE ALSO")
for page in "${pages[@]}"; do
    file=$man_dir/$page
    if [[ ! -f $file ]]; then
        fail "$page is missing"
        continue
    fi
    for device in ps utf8; do
        out=$(groff -man -ww -z -T"$device" "$file" 2>&1)
        [[ -z $out ]] || fail "$page, groff -T$device: $out"
    done
    if command -v mandoc >/dev/null; then
        out=$(mandoc -T lint -W warning "$file" 2>&1)
        [[ -z $out ]] || fail "$page, mandoc: $out"
    fi
    if [[ $page == *.1 ]]; then
        wanted=("${sections_1[@]}")
    else
        wanted=("${sections_5[@]}")
    fi
    for section in "${wanted[@]}"; do
        grep -Eq "^\.SH \"?$section\"?\$" "$file" || fail "$page has no $section section"
    done
    # Each page sends the reader on to every other one.
    see_also=$(sed -n '/^\.SH "SEE ALSO"/,$p' "$file")
    for other in "${pages[@]}"; do
        [[ $other == "$page" ]] && continue
        name=${other%.*}
        grep -q "^\.BR \(\\\\%\)\?${name//-/\\\\-} (${other##*.})" <<<"$see_also" ||
            fail "$page does not name $other under SEE ALSO"
    done
done

# Rendered without line breaks or overstrikes, so that lines compare whole.
rendered() {
    groff -man -Tascii -P-cbou -rLL=400n "$man_dir/$1" 2>/dev/null | sed 's/^ *//; s/ *$//'
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
for tool in "$@"; do
    name=$(basename "$tool")
    page=$(rendered "$name.1")
    # With no argument every tool prints its usage and exits 1.
    "$tool" >/dev/null 2>usage
    status=$?
    [[ $status -eq 1 ]] || fail "$name with no argument exited $status"
    [[ -s usage ]] || fail "$name with no argument printed nothing"
    while IFS= read -r line || [[ -n $line ]]; do
        line=$(sed 's/^ *//; s/ *$//' <<<"$line")
        grep -Fxq -- "$line" <<<"$page" || fail "$name.1 does not quote \"$line\""
    done <usage
done
((failed == 0)) && echo "every page renders cleanly and quotes its tool's usage"
exit "$failed"
