#!/usr/bin/env bash
# Runs the command-line cases: every folder here is a tool, every NAME.sh in
# it a case.
#
#   run.sh [OPTIONS] TOOL=PATH... [CASE...]
#
#   TOOL=PATH            where the tool of folder TOOL is; every folder needs one
#   CASE                 a folder (tilecut), or one case (tilecut/usage or
#                        tilecut/usage.sh); none: every case
#   --exec-prefix CMD    put CMD (split at spaces) before every tool a case runs
#   --set-exact          write the expectations from this run (see below)
#   --timeout S          a case still running after S seconds fails (120)
#   --keep               keep the scratch folders of failed cases
#   -jN, --jobs N        run N cases at a time (1)
#
# A case is a short bash script, run with common.sh's helpers in a fresh
# empty folder, its working directory. Each tool is on PATH under its own
# name, and calling it by that name applies the exec prefix; as_user drops
# root for a case that needs a file its user cannot read (as root without
# setpriv, such a case is skipped, and said so). Beside NAME.sh:
#
#   NAME.sh.exit           the exit status the case must end with
#   NAME.sh.stdout.exact   its standard output, byte for byte
#   NAME.sh.stderr.exact   its standard error, byte for byte
#   NAME.sh.stdout.glob    instead of .exact, a bash pattern the whole output
#   NAME.sh.stderr.glob    must match, where a system's text varies
#
# What has no expectation file is not checked. Whatever the files say, no
# hidden temporary output (.NAME.XXXXXX) may stay in the case's folder.
#
# --set-exact rewrites each case's .exit and .exact files (never a .glob)
# from what the run printed, for a deliberate change of message: review the
# change in the diff. A case with no expectation files at all gets an .exit
# and both .exact files.
#
# A prefix that exits 77 when asked to run `true` cannot work here (say,
# valgrind is not installed), and the run is skipped: exit 77. Otherwise
# the exit status is 0 when every case passed or was skipped, 1 if not, 2
# for wrong arguments.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
die() {
    echo "run.sh: $*" >&2
    exit 2
}

prefix=() set_exact=0 keep=0 timeout_s=120 jobs=1 selectors=()
declare -A tool_path=()
while (($# > 0)); do
    case $1 in
    --exec-prefix) (($# > 1)) || die "--exec-prefix needs a command"; read -ra prefix <<<"$2"; shift ;;
    --exec-prefix=*) read -ra prefix <<<"${1#*=}" ;;
    --set-exact) set_exact=1 ;;
    --timeout) (($# > 1)) || die "--timeout needs seconds"; timeout_s=$2; shift ;;
    --keep) keep=1 ;;
    --jobs) (($# > 1)) || die "--jobs needs a number"; jobs=$2; shift ;;
    -j*) jobs=${1#-j} ;;
    -h | --help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1" ;;
    *=*) tool_path[${1%%=*}]=$(realpath "${1#*=}") || die "no file ${1#*=}" ;;
    *) selectors+=("$1") ;;
    esac
    shift
done

[[ $jobs =~ ^[1-9][0-9]*$ ]] || die "--jobs wants a number of cases, not \"$jobs\""

folders=()
for dir in "$here"/*/; do
    dir=${dir%/}
    compgen -G "$dir/*.sh" >/dev/null || continue
    name=${dir##*/}
    [[ -n ${tool_path[$name]:-} ]] || die "no path for the tool of $name/ (pass $name=PATH)"
    folders+=("$name")
done

# The cases chosen, as FOLDER/NAME.sh.
cases=()
for folder in "${folders[@]}"; do
    for file in "$here/$folder"/*.sh; do
        rel=$folder/${file##*/}
        take=$((${#selectors[@]} == 0))
        for s in "${selectors[@]}"; do
            [[ $s == "$folder" || $s == "$folder/" || $s == "$rel" || $s.sh == "$rel" ]] && take=1
        done
        ((take)) && cases+=("$rel")
    done
done
((${#cases[@]} > 0)) || die "no case matches: ${selectors[*]}"

base=$(mktemp -d)
trap 'chmod -R u+rwx "$base" 2>/dev/null; rm -rf "$base"' EXIT
# Nobody (as_user) must reach the tools and the folders; the build tree may
# lie below a folder only root can enter, so the tools run from copies.
chmod 755 "$base"
mkdir -m 755 "$base/bin" "$base/tools" "$base/cases" "$base/results"
for name in "${!tool_path[@]}"; do
    cp "${tool_path[$name]}" "$base/tools/$name"
    printf '#!/usr/bin/env bash\nexec ${CLI_EXEC_PREFIX-} %q "$@"\n' "$base/tools/$name" >"$base/bin/$name"
    chmod 755 "$base/bin/$name" "$base/tools/$name"
done
if ((${#prefix[@]} > 0)) && [[ ${prefix[0]} == */* ]]; then
    cp "${prefix[0]}" "$base/tools/" || die "no exec prefix ${prefix[0]}"
    prefix[0]=$base/tools/${prefix[0]##*/}
    chmod 755 "${prefix[0]}"
fi
if ((${#prefix[@]} > 0)); then
    "${prefix[@]}" true >/dev/null 2>&1
    if (($? == 77)); then
        echo "the exec prefix (${prefix[*]}) cannot run here: skipped"
        exit 77
    fi
fi

export PATH=$base/bin:$PATH LC_ALL=C
export CLI_EXEC_PREFIX=${prefix[*]} CLI_SOURCE=${here%/tests/cli} CLI_EXAMPLES=${here%/tests/cli}/examples

# matches ACTUAL EXPECTED KIND: whether the file ACTUAL is what EXPECTED
# (an .exact or a .glob file) allows.
matches() {
    if [[ $3 == exact ]]; then
        cmp -s "$1" "$2"
    else
        local actual pattern
        actual=$(cat "$1"; echo x)
        pattern=$(cat "$2"; echo x)
        # shellcheck disable=SC2053 # the pattern is the point
        [[ $actual == $pattern ]]
    fi
}

# run_case FOLDER/NAME.sh: runs one case and leaves in results/ its verdict
# (pass, fail or skip, and updated), and what to print about it.
run_case() {
    local rel=$1 script=$here/$1 dir=$base/cases/${1%.sh}
    local result=$base/results/${rel//\//-}
    local out=$result.out err=$result.err report=$result.report
    local status problems=() stream kind file got want changed fresh line stray kept
    export CLI_SKIP=$result.skip
    mkdir -p "$dir"
    chmod 777 "$dir"
    (cd "$dir" && timeout "$timeout_s" bash -c '. "$1" && . "$2"' case "$here/common.sh" "$script") \
        </dev/null >"$out" 2>"$err"
    status=$?
    if [[ -s $CLI_SKIP ]]; then
        echo "SKIP $rel: $(cat "$CLI_SKIP")" >"$report"
        echo skip >"$result.verdict"
        return
    fi
    : >"$report"
    ((status == 124)) && problems+=("did not finish within $timeout_s s")
    if ((set_exact)); then
        changed=0
        fresh=1
        compgen -G "$script.*" >/dev/null && fresh=0
        if [[ -f $script.exit ]] || ((fresh)); then
            [[ $(cat "$script.exit" 2>/dev/null) == "$status" ]] || { echo "$status" >"$script.exit"; changed=1; }
        fi
        for stream in stdout stderr; do
            file=$script.$stream.exact
            [[ -f $file ]] || ((fresh)) || continue
            [[ $stream == stdout ]] && got=$out || got=$err
            cmp -s "$got" "$file" || { cp "$got" "$file"; changed=1; }
        done
        ((changed)) && { echo "UPDATED $rel" >>"$report"; touch "$result.updated"; }
    fi
    if [[ -f $script.exit ]]; then
        want=$(cat "$script.exit")
        ((status == want)) || problems+=("exit $status, wanted $want")
    fi
    for stream in stdout stderr; do
        [[ $stream == stdout ]] && got=$out || got=$err
        for kind in exact glob; do
            file=$script.$stream.$kind
            [[ -f $file ]] || continue
            matches "$got" "$file" $kind && continue
            problems+=("$stream differs from ${file##*/}:")
            while IFS= read -r line; do problems+=("  $line"); done < <(
                if [[ $kind == exact ]]; then
                    diff -u --label expected --label actual "$file" "$got" | tail -n +3 | head -20
                else
                    echo "actual:"
                    head -20 "$got"
                fi
            )
        done
    done
    stray=$(cd "$dir" && find . -name '.*.??????' | head -3)
    [[ -z $stray ]] || problems+=("temporary file left: $stray")
    if ((${#problems[@]} == 0)); then
        echo pass >"$result.verdict"
        chmod -R u+rwx "$dir" 2>/dev/null
        rm -rf "$dir"
    else
        echo fail >"$result.verdict"
        {
            echo "FAIL $rel"
            printf '     %s\n' "${problems[@]}"
            if ((keep)); then
                kept=$(mktemp -d "${TMPDIR:-/tmp}/cli-case.XXXXXX")
                cp -a "$dir/." "$kept/" 2>/dev/null
                echo "     its folder: $kept"
            fi
        } >>"$report"
    fi
}

# Up to JOBS cases at a time; their reports are printed in order.
start=$SECONDS
running=0 shown=0
show_done() {
    local result
    while ((shown < ${#cases[@]})); do
        result=$base/results/${cases[shown]//\//-}
        [[ -f $result.verdict ]] || return
        cat "$result.report"
        shown=$((shown + 1))
    done
}
for rel in "${cases[@]}"; do
    if ((jobs > 1)); then
        if ((running >= jobs)); then
            wait -n
            running=$((running - 1))
        fi
        run_case "$rel" &
        running=$((running + 1))
    else
        run_case "$rel"
    fi
    show_done
done
wait
show_done
count() { cat "$base"/results/*.verdict 2>/dev/null | grep -cx "$1"; }
passed=$(count pass) failed=$(count fail) skipped=$(count skip)
updated=$(find "$base/results" -name '*.updated' | wc -l)

summary="$passed passed, $failed failed, $skipped skipped"
((set_exact)) && summary+=", $updated updated"
echo "$summary in $((SECONDS - start)) s${prefix:+ under ${prefix[*]##*/}}"
((failed == 0))
