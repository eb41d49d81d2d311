#!/bin/bash
# Runs the GUI-driven VM tests again and again, to show that none of them is
# flaky, in the two conditions that shook flakes out before:
#   make   one whole `make test` (-j 2): the unit and GUI tests run beside the
#          first VM tests' start
#   busy   each VM test alone, while two busy loops keep both cores loaded
# Rounds alternate (make, busy, make, ...) unless one condition is named.
# Every result is appended to LOG as "time commit condition test status
# seconds", a failed test's output is kept beside it, and the end prints
# passed/run per test and condition from the whole LOG, earlier soaks of the
# same commit included.
#
#   tests/soak.sh [--rounds N] [--until HH:MM] [--only make|busy] [--log FILE] [BUILD_DIR]
#
# LOG defaults to BUILD_DIR/soak/results.tsv (BUILD_DIR: build).
#
# A round takes 12-20 minutes where the VM has no KVM. Nothing else may run
# beside a soak: the VM tests' timing is part of what they check.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

ROUNDS=1000000 UNTIL='' ONLY='' LOG='' BUILD=build
while [ $# -gt 0 ]; do
    case "$1" in
        --rounds) ROUNDS=$2; shift 2 ;;
        --until) UNTIL=$(date -d "$2" +%s) || exit 2; shift 2 ;;
        --only) ONLY=$2; shift 2 ;;
        --log) LOG=$2; shift 2 ;;
        -*) echo "usage: $0 [--rounds N] [--until HH:MM] [--only make|busy] [--log FILE] [BUILD_DIR]" >&2; exit 2 ;;
        *) BUILD=$1; shift ;;
    esac
done
LOG=${LOG:-$BUILD/soak/results.tsv}
case "$ONLY" in '' | make | busy) ;; *) echo "$0: --only takes make or busy" >&2; exit 2 ;; esac
mkdir -p "$(dirname "$LOG")"
LOG_DIR=$(cd "$(dirname "$LOG")" && pwd)
COMMIT=$(git rev-parse --short HEAD)
[ -z "$(git status --porcelain --untracked-files=no)" ] || COMMIT=$COMMIT+changes

# The tests that drive the program's window inside the VM.
TESTS=(e2e.autoupdate e2e.interactive e2e.refusals e2e.close-during-upload
       usb.unlimited usb.rate-20000 usb.rate-3125 usb.unplug usb.hotplug usb.busy usb.stall-close)
XVFB=(xvfb-run -a -s "-screen 0 1024x768x24 -noreset")

record() { # CONDITION TEST STATUS SECONDS [OUTPUT_FILE]
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$(date +%FT%T)" "$COMMIT" "$1" "$2" "$3" "$4" >> "$LOG"
    [ "$3" = 0 ] || [ -z "${5:-}" ] || cp "$5" "$LOG_DIR/fail-$1-$2-$(date +%H%M%S).log"
}

round_make() {
    local out=$LOG_DIR/make.out t line start=$SECONDS
    make test BUILD="$BUILD" > "$out" 2>&1
    for t in "${TESTS[@]}"; do
        # ctest's line for it: "NN/MM Test #NN: NAME ....   Passed   12.34 sec"
        line=$(grep -E "Test +#[0-9]+: ${t//./\\.} " "$out" | tail -1)
        case "$line" in
            *" Passed "*) record make "$t" 0 "$(awk '{ print $(NF - 1) }' <<< "$line")" ;;
            "") record make "$t" not-run "$((SECONDS - start))" "$out" ;;
            *) record make "$t" 1 "$(awk '{ print $(NF - 1) }' <<< "$line")" "$out" ;;
        esac
    done
}

round_busy() {
    local t rc start out=$LOG_DIR/busy.out
    yes > /dev/null &
    local y1=$!
    yes > /dev/null &
    local y2=$!
    for t in "${TESTS[@]}"; do
        start=$SECONDS
        "${XVFB[@]}" ctest --test-dir "$BUILD" -R "^${t//./\\.}\$" --output-on-failure > "$out" 2>&1
        rc=$?
        record busy "$t" "$rc" "$((SECONDS - start))" "$out"
    done
    kill "$y1" "$y2"
    wait "$y1" "$y2" 2> /dev/null
}

# The busy rounds run the tests of an existing build.
[ "$ONLY" = make ] || [ -f "$BUILD/CTestTestfile.cmake" ] || make build BUILD="$BUILD" > /dev/null || exit 1
tests/e2e/install-deps.sh > /dev/null || exit 1

next=${ONLY:-make}
for ((round = 1; round <= ROUNDS; round++)); do
    [ -z "$UNTIL" ] || [ "$(date +%s)" -lt "$UNTIL" ] || break
    echo "soak: round $round ($next) at $(date +%T)"
    "round_$next"
    if [ -z "$ONLY" ]; then
        case $next in make) next=busy ;; *) next="make" ;; esac
    fi
done

echo "soak: passed/run of commit $COMMIT in $LOG"
awk -F'\t' -v c="$COMMIT" '$2 == c { run[$4 FS $3]++; if ($5 == "0") ok[$4 FS $3]++ }
    END { for (k in run) { split(k, p, FS); printf "  %-26s %-5s %d/%d\n", p[1], p[2], ok[k], run[k] } }' "$LOG" | sort
