#!/usr/bin/env bash
# man_messages.sh MANDIR CASEDIR [--update-gaps]
#
# Every line that a command-line case expects on standard error (CASEDIR,
# tests/cli: its TOOL/*.stderr.exact and .glob files), usage lines
# included, is written in the tool's manual page, MANDIR/TOOL.1.
#
# The convention for the pages: each message stands on a line of its own as
# the page renders (a .TP tag, say, or one line of a tag made with .TQ), as
# the tool prints it, with each part that varies written as a word in
# capitals: PATH or FILE for a name, N for a number (WxH for a size),
# REASON for the system's text or the suite's own. Such a word stands for any text, so
# one line covers every case of its message. Before they are compared,
# lines lose their leading and trailing spaces.
#
# The messages no page documents yet are listed in man_messages.gaps, as
# "TOOL.1: line"; they are reported but do not fail the test. One that is
# missing and not listed fails it. --update-gaps rewrites that list from
# what is missing now.
set -uo pipefail
man_dir=$(cd "$1" && pwd) || exit 2
case_dir=$(cd "$2" && pwd) || exit 2
gaps=$(dirname "$(realpath "$0")")/man_messages.gaps
update=0
[[ ${3:-} == --update-gaps ]] && update=1
if ! command -v groff >/dev/null; then
    echo "groff is not installed (scripts/setup.sh installs groff-base): skipped"
    exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for dir in "$case_dir"/*/; do
    tool=$(basename "$dir")
    compgen -G "$dir*.stderr.*" >/dev/null || continue
    if [[ -f $man_dir/$tool.1 ]]; then
        # Rendered without line breaks or overstrikes, so that lines compare whole.
        groff -man -Tascii -P-cbou -rLL=400n "$man_dir/$tool.1" 2>/dev/null |
            sed 's/^ *//; s/ *$//' >"$scratch/$tool.page"
    else
        : >"$scratch/$tool.page"
    fi
    for file in "$dir"*.stderr.exact "$dir"*.stderr.glob; do
        [[ -f $file ]] || continue
        # The last line may have no line break of its own.
        awk 1 "$file"
    done | sed 's/^ *//; s/ *$//; /^$/d' | LC_ALL=C sort -u >"$scratch/$tool.lines"
    # Each line of the page is a pattern: its words in capitals match anything.
    # A line with no small letter (a heading, say) would match any message.
    perl -ne '
        BEGIN { $word = qr/[A-Z][A-Z0-9_]*(?:x[A-Z][A-Z0-9_]*)?/;
            open(my $p, "<", shift) or die; while (<$p>) { chomp; next unless /[a-z]/;
            push @re, join("", map { /^$word$/ ? ".+" : quotemeta } split /\b($word)\b/) } }
        chomp; my $line = $_;
        print "'"$tool"'.1: $line\n" unless grep { $line =~ /^$_$/ } @re;
    ' "$scratch/$tool.page" <"$scratch/$tool.lines" >>"$scratch/missing"
done
touch "$scratch/missing"

if ((update)); then
    {
        echo "# Messages that a case in tests/cli expects and the tool's manual page does"
        echo "# not document yet; tests/package/man_messages.sh --update-gaps writes this."
        cat "$scratch/missing"
    } >"$gaps"
    echo "$(wc -l <"$scratch/missing") messages listed in $gaps"
    exit 0
fi

known=$scratch/known
grep -v '^#' "$gaps" 2>/dev/null | LC_ALL=C sort -u >"$known"
new=$(LC_ALL=C comm -23 <(LC_ALL=C sort -u "$scratch/missing") "$known")
listed=$(LC_ALL=C comm -12 <(LC_ALL=C sort -u "$scratch/missing") "$known")
done_now=$(LC_ALL=C comm -13 <(LC_ALL=C sort -u "$scratch/missing") "$known")
if [[ -n $listed ]]; then
    echo "Not in the manual pages yet (listed in ${gaps##*/}):"
    sed 's/^/  /' <<<"$listed"
fi
if [[ -n $done_now ]]; then
    echo "Documented now; drop from ${gaps##*/} (or run with --update-gaps):"
    sed 's/^/  /' <<<"$done_now"
fi
if [[ -n $new ]]; then
    echo "FAIL: not in the manual pages:"
    sed 's/^/  /' <<<"$new"
    exit 1
fi
echo "every message the cases expect is in its manual page, but for the listed gaps"
