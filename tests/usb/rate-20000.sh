#!/bin/bash
# The built-in image to a USB pedal that takes only 20000 bytes a second
# (it passes them on at that speed and pushes back on the host meanwhile):
# all 495 messages intact, 15 ms or more from one send to the next, and each
# send waiting until the pedal has taken its message.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

RATE=20000

guest_test() {
    check_full_update $RATE 120
    local average median need
    average=$(report_value average_bytes_per_s "$OUT/rx.report")
    awk -v a="$average" -v r=$RATE 'BEGIN { exit !(a <= r * 1.02) }' || fail "the pedal read $average bytes/s, more than $RATE"
    # A 599-byte message keeps the pedal busy this long; a send that returned
    # sooner would have left the bytes for someone else to drop.
    median=$(report_value send_ms_median "$OUT/sender.report")
    need=$(awk -v r=$RATE 'BEGIN { printf "%.1f", 599 / r * 1000 }')
    awk -v m="$median" -v n="$need" 'BEGIN { exit !(m >= 0.5 * n) }' ||
        fail "a send took $median ms (median), but the pedal needs $need ms for a 599-byte message"
    note "a 599-byte message needs $need ms at $RATE B/s; the whole image $(awk -v r=$RATE 'BEGIN { printf "%.1f", 295325 / r }') s"
}

usb_main "$@"
