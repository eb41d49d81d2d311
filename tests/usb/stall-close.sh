#!/bin/bash
# Closing the main window while a send is held by a pedal that has stopped
# reading, 10 times: at a random point of the upload the pedal stalls, and
# once the program's rawmidi output is seen holding bytes that do not move
# (the kernel's /proc view of it), the window's close button is pressed
# (close-trials.py). The program must be gone within 1 s of the click (the
# median; each trial within 2 s, as the emulated CPU's timing follows the
# host's load), end with its normal status (0 when started by hand; every
# 5th trial is, choosing the pedal in the list) and never by a signal. Then
# the pedal reads again: nothing of the cut message may trickle out but what
# the USB host controller already held at the click (see below). Prints every
# trial's figures: close time, and the bytes taken by the driver, read by
# the pedal, still buffered at the click, and read after it.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

TRIALS=10
LIMIT_MS=1000
TRIAL_LIMIT_MS=2000
: "${USB_VM_TIMEOUT:=560}"

guest_test() {
    local id seed i=0 at ms rc mode tx_click pedal_click buffered tx_end after late first last
    local times=() problems=() late_total=0
    usb_plug_in --idle-timeout 3600 --wait-timeout 3600
    id=$(pedal_output_id) || exit 1
    seed=$(od -An -N2 -tu2 /dev/urandom | tr -d ' ')
    note "pedal is output $id, its rawmidi $(pedal_rawmidi); random seed $seed"

    /usr/bin/python3 "$E2E_DIR/close-trials.py" --stall "$PEDAL_PID" --rawmidi "$(pedal_rawmidi_status)" \
        --stamps "$OUT/rx.stamps" --manual-every 5 --choose "source '$E2E_DIR/lib.sh'; WORK='$WORK'
            window_to_origin \$NIMBO_WINDOW
            choose_output $id
            wait_until 10 button_is_green || fail 'the update button did not turn green'
            press_update \$NIMBO_WINDOW" \
        "$APP" "$id" "$WORK/rx.progress" "$TRIALS" "$seed" "$OUT" >"$OUT/trials.txt" ||
        fail "the trials did not run: $(cat "$OUT/trials.txt")"
    while read -r at ms rc mode tx_click pedal_click buffered tx_end after late first last; do
        i=$((i + 1))
        note "trial $i ($mode): held after $at messages, $buffered bytes still buffered; gone after $ms ms, status $rc;" \
             "the driver had taken $tx_click bytes, the pedal read $pedal_click, so $((tx_click - pedal_click)) were on their way;" \
             "after the click the pedal read $after bytes, $late of them later than 200 ms (at $first..$last ms)"
        case $ms in
            ended) fail "trial $i: the program ended before the click" ;;
            running) problems+=("trial $i: still running 20 s after the click") ;;
            *) times+=("$ms")
               [ "$ms" -le "$TRIAL_LIMIT_MS" ] || problems+=("trial $i: $ms ms to end, at most $TRIAL_LIMIT_MS allowed") ;;
        esac
        local want=$AUTOUPDATE_CLOSED_STATUS
        [ "$mode" = auto ] || want=0
        [ "$rc" = "$want" ] || problems+=("trial $i: status $rc, $want expected")
        ! grep -q 'killing thread\|Sanitizer\|FATAL' "$OUT/app-$i.log" || problems+=("trial $i: $(head -3 "$OUT/app-$i.log")")
        # What the USB driver had handed to the host controller before the
        # click is out of any program's reach: snd-usbmidi keeps up to 7
        # transfers of 16 three-byte packets queued (336 SysEx bytes), and
        # neither dropping nor closing the port recalls them. Nothing else
        # may follow: not the bytes still in the kernel's buffer, nor
        # anything the driver took after the click.
        [ "$tx_end" = "$tx_click" ] || problems+=("trial $i: the driver took $((tx_end - tx_click)) bytes after the click")
        [ "$after" -le $((tx_click - pedal_click)) ] ||
            problems+=("trial $i: $after bytes reached the pedal after the click, only $((tx_click - pedal_click)) were in the USB transfers")
        [ $((tx_click - pedal_click)) -le 336 ] || problems+=("trial $i: $((tx_click - pedal_click)) bytes in the USB transfers, more than 7 x 48")
        late_total=$((late_total + late))
    done <"$OUT/trials.txt"
    [ $i = "$TRIALS" ] || fail "$i trials of $TRIALS ran"

    local min median max
    if [ ${#times[@]} -gt 0 ]; then
        read -r min median max <<<"$(printf '%s\n' "${times[@]}" | sort -n | awk '
            { t[NR] = $1 }
            END { print t[1], (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2, t[NR] }')"
        note "click to exit over ${#times[@]} trials: min $min ms, median $median ms, max $max ms;" \
             "$late_total bytes later than 200 ms after a click in all" | tee "$OUT/summary.txt"
        [ "${median%.*}" -le "$LIMIT_MS" ] || problems+=("the median time to end is $median ms, at most $LIMIT_MS allowed")
    fi
    [ ${#problems[@]} = 0 ] || fail "$(printf '%s; ' "${problems[@]}")"
}

usb_main "$@"
