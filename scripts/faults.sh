#!/usr/bin/env bash
# Plants faults in a scratch copy of the tree, one at a time, and tells how
# many of them the test suite notices.
#
#   scripts/faults.sh                 every fault in scripts/faults.txt
#   scripts/faults.sh 3 7 12-15       faults by number (as --list shows them)
#   scripts/faults.sh pcx tga-        faults whose name contains a word
#   scripts/faults.sh --list          the faults, numbered, and nothing else
#   scripts/faults.sh --check         only make sure every anchor is there once
#
# Each fault (scripts/faults.txt) names a file, a piece of text that must
# occur in it exactly once, its replacement and what the fault stands for.
# Before anything is built, every anchor of the list, not only the ones
# chosen, is looked up in the working tree; one that is missing or not
# unique stops the script, so the list cannot quietly go stale as the code
# changes.
#
# The working tree is never touched. Its files (without build/ and .git) are
# copied into a scratch folder, FAULTS_WORK or a new one under /tmp, which
# keeps one build folder for every fault: only the changed file and what
# links it are rebuilt each time. A later run with the same FAULTS_WORK
# copies only the files that changed since, so it starts without a full
# build. The ROM test's npm packages are linked in, not copied.
#
# For each fault: plant it, build (the dev preset, warnings are errors), run
# every test but the command-line cases under valgrind, stopping at the
# first failure, and only if those pass, those too (cli.valgrind). A fault
# counts as caught when any test fails or the suite does not finish within
# FAULTS_TIMEOUT seconds (600 by default): the verdict is the whole suite's,
# the valgrind run only comes last because it is the slow part. A fault that
# does not compile is reported as BROKEN and counts as not caught: it would
# measure the compiler, not the tests, so such a fault is to be rewritten.
#
# Before the faults, the untouched copy is built and the whole suite run
# once: a suite that fails by itself would count every fault as caught.
#
# Time, on the project's 2-core machine: a new scratch folder's first build
# takes 2-4 minutes and the clean suite a few (most of it the valgrind run).
# A fault the gtests catch then costs 5-25 s (the rebuild and the tests up
# to the first failure), one only the valgrind run catches a few minutes,
# and one that nothing catches a little more. 58 faults, two of them
# uncaught, took 25 minutes from a fresh folder on a quiet machine, when the
# valgrind run was a shorter gate; while other builds shared the machine,
# 37 once took 38 minutes.
#
# A run that gets through ends with the line "caught N of M". Exits 2 when
# the list or the arguments are wrong or the untouched tree does not pass,
# and 0 otherwise.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
list=$root/scripts/faults.txt
timeout_s=${FAULTS_TIMEOUT:-600}
jobs=${FAULTS_JOBS:-2}

die() {
    echo "faults: $*" >&2
    exit 2
}

# ---- the list ---------------------------------------------------------------
names=() files=() whats=() froms=() tos=()
parse_list() {
    local line key value n=-1 lineno=0
    while IFS= read -r line || [[ -n $line ]]; do
        lineno=$((lineno + 1))
        [[ -z ${line//[[:space:]]/} || $line == \#* ]] && continue
        if [[ $line =~ ^\[([A-Za-z0-9._-]+)\]$ ]]; then
            n=$((n + 1))
            names[n]=${BASH_REMATCH[1]} files[n]='' whats[n]='' froms[n]='' tos[n]=''
            continue
        fi
        ((n >= 0)) || die "$list:$lineno: a field before the first [name]"
        [[ $line =~ ^(file|what|from|to):[[:space:]]?(.*)$ ]] ||
            die "$list:$lineno: not a field of a fault: $line"
        key=${BASH_REMATCH[1]}
        value=${BASH_REMATCH[2]}
        # The value starts after the key's colon and the spaces after it.
        value=${value#"${value%%[![:space:]]*}"}
        case $key in
        file) files[n]=$value ;;
        what) whats[n]=$value ;;
        from) froms[n]=$value ;;
        to) tos[n]=$value ;;
        esac
    done <"$list"
    ((n >= 0)) || die "$list holds no faults"
    local i j
    for i in "${!names[@]}"; do
        [[ -n ${files[i]} && -n ${whats[i]} && -n ${froms[i]} ]] ||
            die "fault ${names[i]}: file, what and from are all needed"
        [[ ${froms[i]} != "${tos[i]}" ]] || die "fault ${names[i]}: from and to are the same"
        for ((j = 0; j < i; j++)); do
            [[ ${names[j]} != "${names[i]}" ]] || die "fault ${names[i]} is listed twice"
        done
    done
}

# How often TEXT occurs in FILE.
occurrences() {
    FROM=$2 perl -0777 -ne '$n = () = /\Q$ENV{FROM}\E/g; print $n' "$1"
}

# Writes FILE with its one occurrence of FROM replaced by TO.
plant() {
    FROM=$2 TO=$3 perl -0777 -i -pe 's/\Q$ENV{FROM}\E/$ENV{TO}/' "$1"
}

check_anchors() {
    local i count bad=0
    for i in "${!names[@]}"; do
        if [[ ! -f $root/${files[i]} ]]; then
            echo "faults: ${names[i]}: no file ${files[i]}" >&2
            bad=1
            continue
        fi
        count=$(occurrences "$root/${files[i]}" "${froms[i]}")
        if [[ $count != 1 ]]; then
            echo "faults: ${names[i]}: the text occurs $count times in ${files[i]}, not once:" >&2
            echo "    ${froms[i]}" >&2
            bad=1
        fi
    done
    ((bad == 0)) || die "the list no longer matches the code; fix scripts/faults.txt"
}

# ---- the arguments ----------------------------------------------------------
parse_list
check_anchors
mode=run
selectors=()
for arg in "$@"; do
    case $arg in
    --list) mode=list ;;
    --check) mode=check ;;
    -h | --help)
        sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'
        exit 0
        ;;
    -*) die "unknown option $arg" ;;
    *) selectors+=("$arg") ;;
    esac
done

chosen=()
for i in "${!names[@]}"; do
    n=$((i + 1))
    take=$((${#selectors[@]} == 0))
    for s in "${selectors[@]}"; do
        if [[ $s =~ ^[0-9]+$ ]]; then
            ((s == n)) && take=1
        elif [[ $s =~ ^([0-9]+)-([0-9]+)$ ]]; then
            ((n >= BASH_REMATCH[1] && n <= BASH_REMATCH[2])) && take=1
        elif [[ ${names[i]} == *"$s"* ]]; then
            take=1
        fi
    done
    ((take)) && chosen+=("$i")
done
((${#chosen[@]} > 0)) || die "no fault matches: ${selectors[*]}"

if [[ $mode == list ]]; then
    for i in "${chosen[@]}"; do
        printf '%3d  %-28s %-26s %s\n' $((i + 1)) "${names[i]}" "${files[i]}" "${whats[i]}"
    done
    exit 0
fi
if [[ $mode == check ]]; then
    echo "faults: all ${#names[@]} anchors found once each"
    exit 0
fi

# ---- the scratch copy -------------------------------------------------------
if [[ -n ${FAULTS_WORK:-} ]]; then
    work=$FAULTS_WORK
    mkdir -p "$work"
else
    work=$(mktemp -d /tmp/faults.XXXXXX)
fi
work=$(cd "$work" && pwd)
case $work/ in "$root"/*) die "FAULTS_WORK must lie outside the working tree" ;; esac
src=$work/src
build=$src/build/dev
logs=$work/logs
mkdir -p "$src" "$logs"
echo "faults: working in $work"

# Copies the tree's files into src, writing only those whose bytes differ, so
# that the others keep their times and the build stays current for them.
sync_tree() {
    local rel
    (cd "$root" && find . \( -path ./build -o -path './build-*' -o -path ./.git -o \
        -name node_modules \) -prune -o -type f -print0) |
        while IFS= read -r -d '' rel; do
            cmp -s "$root/$rel" "$src/$rel" && continue
            mkdir -p "$(dirname "$src/$rel")"
            cp "$root/$rel" "$src/$rel"
        done
    if [[ -d $root/tests/rom/node_modules && ! -e $src/tests/rom/node_modules ]]; then
        ln -s "$root/tests/rom/node_modules" "$src/tests/rom/node_modules"
    fi
}

# The file a fault was planted in, put back from the copy kept before the
# fault went in, even when the run is stopped. Writing it anew makes it newer
# than the objects built from the fault, so the next build recompiles it.
planted=''
restore() {
    if [[ -n $planted ]]; then
        cp "$work/pristine" "$src/$planted"
        planted=''
    fi
}
trap 'restore; exit 130' INT TERM
trap restore EXIT

sync_tree
generator=()
[[ -f $build/CMakeCache.txt ]] || ! command -v ninja >/dev/null || generator=(-G Ninja)
cmake --preset dev -S "$src" "${generator[@]}" >"$logs/configure.log" 2>&1 ||
    die "configuring the copy failed; see $logs/configure.log"

build_copy() {
    timeout "$timeout_s" cmake --build "$build" -j"$jobs" >"$1" 2>&1
}

# run_suite LOG: 0 when every test passes; otherwise 1 and the failing tests
# on stdout. The valgrind run comes only once the rest has passed. A test without a
# time limit of its own gets 180 s (the slowest takes about 20): a fault that
# makes a tool or a core loop for ever fails that test instead of stalling
# the run, since ctest waits for the tests still running after a failure.
run_suite() {
    local log=$1 status
    timeout -k 10 "$timeout_s" ctest --test-dir "$build" -j"$jobs" -E '^cli\.valgrind$' \
        --timeout 180 --stop-on-failure --output-on-failure >"$log" 2>&1
    status=$?
    if ((status == 0)); then
        timeout -k 10 "$timeout_s" ctest --test-dir "$build" -R '^cli\.valgrind$' \
            --output-on-failure >>"$log" 2>&1
        status=$?
    fi
    ((status == 0)) && return 0
    if ((status == 124 || status == 137)); then
        echo "(the suite did not finish in ${timeout_s} s)"
    else
        # ctest's list of failures: "  12 - name (Failed)".
        sed -n 's/^[[:space:]]*[0-9]\+ - \([^ ]*\) (.*/\1/p' "$log" | sort -u | head -4 |
            paste -sd ' ' -
    fi
    return 1
}

start=$SECONDS
if [[ -z ${FAULTS_NO_BASELINE:-} ]]; then
    echo "faults: building the untouched copy and running the whole suite once"
    build_copy "$logs/baseline-build.log" || die "the untouched copy does not build; see $logs/baseline-build.log"
    failing=$(run_suite "$logs/baseline-test.log") ||
        die "the untouched copy fails its own tests ($failing); see $logs/baseline-test.log"
fi

caught=0 total=0
results=()
for i in "${chosen[@]}"; do
    n=$((i + 1))
    tag=$(printf '%02d-%s' "$n" "${names[i]}")
    t0=$SECONDS
    cp "$src/${files[i]}" "$work/pristine"
    planted=${files[i]}
    plant "$src/${files[i]}" "${froms[i]}" "${tos[i]}"
    if ! build_copy "$logs/$tag.build.log"; then
        verdict=BROKEN detail="does not build; see $logs/$tag.build.log"
    elif detail=$(run_suite "$logs/$tag.test.log"); then
        verdict=MISSED detail=''
    else
        verdict=CAUGHT
        caught=$((caught + 1))
    fi
    restore
    total=$((total + 1))
    line=$(printf '%3d %-7s %-28s %4ds  %s' "$n" "$verdict" "${names[i]}" $((SECONDS - t0)) "$detail")
    echo "$line"
    results+=("$line")
done

# The untouched sources are back; a later build starts from them.
echo "faults: done in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s; logs in $logs"
for line in "${results[@]}"; do
    [[ $line == *" CAUGHT "* ]] || echo "not caught: $line"
done
echo "caught $caught of $total"
