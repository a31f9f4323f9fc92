#!/usr/bin/env bash
# An exec prefix for run.sh: runs the tool under valgrind and fails it, with
# status 99 and valgrind's report on stderr, on any leak, any memory error,
# or any file descriptor it left open besides those it was handed.
#
#   valgrind.sh [--VALGRIND-OPTION...] TOOL ARGS...
#
# Exits 77 when valgrind is not installed.
set -uo pipefail
command -v valgrind >/dev/null || exit 77
options=(--quiet --leak-check=full --errors-for-leak-kinds=definite,indirect
         --track-fds=yes --error-exitcode=99)
while [[ ${1:-} == --* ]]; do
    options+=("$1")
    shift
done
log=$(mktemp "${TMPDIR:-/tmp}/valgrind.XXXXXX") || exit 2
valgrind "${options[@]}" --log-file="$log" "$@"
status=$?
# Valgrind lists each open descriptor, then where it came from; the ones
# the tool was handed are marked as inherited.
leaked=$(awk '/Open (file descriptor|AF_)/ {fd=$0; getline; if ($0 !~ /inherited from parent/) print fd}' "$log")
if ((status == 99)) || [[ -n $leaked ]]; then
    echo "valgrind: ${leaked:+descriptor left open: }${leaked:-memory error or leak}" >&2
    sed 's/^/valgrind | /' "$log" | head -40 >&2
    status=99
fi
rm -f "$log"
exit $status
