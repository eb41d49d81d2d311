#!/bin/bash
# Closing the main window at a random point of an --autoupdate upload, 20
# times: the program must be gone within 0.5 s of the click on the close
# button (the median; any single trial within 1 s, as the emulated CPU's
# timing follows the host's load), with the status and outcome line of an
# update closed before completion each time (status 9, "outcome=closed" and
# at least the messages the receiver had at the click), and every message
# that reached the receiver must be a complete one. Prints
# min/median/max of the click-to-exit times and the close points. The trials
# themselves are close-trials.py's.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

TRIALS=20
LIMIT_MS=500
TRIAL_LIMIT_MS=1000
: "${E2E_VM_TIMEOUT:=540}"

guest_test() {
    # One receiver for all trials; it must not stop between them.
    start_receiver --idle-timeout 3600
    local id seed i=0 at ms rc times=() points=()
    id=$(output_id) || exit 1
    seed=$(od -An -N2 -tu2 /dev/urandom | tr -d ' ')
    note "receiver is output $id; random seed $seed"

    python3 "$E2E_DIR/close-trials.py" "$APP" "$id" "$WORK/rx.progress" "$TRIALS" "$seed" "$OUT" >"$OUT/trials.txt" ||
        fail "the trials did not run: $(cat "$OUT/trials.txt")"
    while read -r at ms rc; do
        i=$((i + 1))
        note "trial $i: closed after $at messages, gone after $ms ms, exit $rc"
        case $ms in
            ended) fail "trial $i: the program ended before the click" ;;
            running) fail "trial $i: the program was still running 20 s after the click" ;;
        esac
        local line
        line=$(outcome_lines "$OUT/app-$i.log")
        if [ "$rc" = 0 ] && [[ $line == *" outcome=completed status=0 "*" messages=495 bytes=295325" ]]; then
            # The last messages went out while the click was on its way: a
            # completed update, honestly reported as one.
            note "trial $i: the upload completed before the close took effect"
        else
            [ "$rc" = 9 ] || fail "trial $i: exit status $rc, 9 (closed before completion) expected"
            [[ $line =~ ^NimboSwUpdater:\ outcome=closed\ status=9\ .*\ output=$id\ .*\ messages=([0-9]+)\ bytes=[0-9]+$ ]] ||
                fail "trial $i: outcome line: $line"
            [ "${BASH_REMATCH[1]}" -ge "$at" ] || fail "trial $i: the line counts ${BASH_REMATCH[1]} messages, the receiver had $at"
        fi
        ! grep -q 'killing thread\|Sanitizer' "$OUT/app-$i.log" || fail "trial $i: $(cat "$OUT/app-$i.log")"
        [ "$ms" -le "$TRIAL_LIMIT_MS" ] || fail "trial $i: the program took $ms ms to end, at most $TRIAL_LIMIT_MS allowed"
        times+=("$ms")
        points+=("$at")
    done <"$OUT/trials.txt"
    [ $i = "$TRIALS" ] || fail "$i trials of $TRIALS ran"

    stop_receiver
    [ "$(report_value unframed "$OUT/rx.report")" = 0 ] ||
        fail "$(report_value unframed "$OUT/rx.report") messages arrived incomplete"
    note "received $(report_value messages "$OUT/rx.report") messages over $TRIALS trials, all complete"
    local min median max
    read -r min median max <<<"$(printf '%s\n' "${times[@]}" | sort -n | awk '
        { t[NR] = $1 }
        END { print t[1], (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2, t[NR] }')"
    note "click to exit over $TRIALS trials: min $min ms, median $median ms, max $max ms (closed after messages: ${points[*]})" |
        tee "$OUT/summary.txt"
    [ "${median%.*}" -le "$LIMIT_MS" ] || fail "the median time to end is $median ms, at most $LIMIT_MS allowed"
}

e2e_main "$@"
