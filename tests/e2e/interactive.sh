#!/bin/bash
# A person's way: start without options, pick the receiver in the output list,
# see the update button turn green, click it, and get every byte.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

guest_test() {
    start_receiver
    local id w before after try
    id=$(output_id) || exit 1
    "$APP" >"$OUT/app.log" 2>&1 &
    APP_PID=$!
    w=$(find_window "^$MAIN_TITLE\$" 60) || exit 1
    xdotool windowmove "$w" 0 0
    wait_until 10 button_is_red || true
    screenshot "$OUT/1-start.png"
    before=$(button_rgb "$OUT/1-start.png")
    is_red "$before" || fail "the update button should be red before an output is chosen, mean colour $before (see 1-start.png)"

    choose_output "$id"
    wait_until 10 button_is_green || true
    screenshot "$OUT/2-chosen.png"
    after=$(button_rgb "$OUT/2-chosen.png")
    is_green "$after" || fail "the update button did not turn green, mean colour $after (see 2-chosen.png)"
    note "update button: $before -> $after"

    for try in 1 2; do
        xdotool mousemove --window "$w" $BUTTON_X $BUTTON_Y click 1
        ! wait_until 20 received_at_least 1 || break
        screenshot "$OUT/no-upload-$try.png"
        note "nothing arrived within 20 s of click $try on the update button"
    done
    wait_until 120 received_at_least 495 || fail "only $(received_messages) messages arrived within 120 s of the click"
    sleep 1
    screenshot "$OUT/3-done.png"
    kill -0 "$APP_PID" 2>/dev/null || fail "the program quit after the update; it should stay up when started by hand"
    wait_receiver
    check_delivery "$BUILTIN_IMAGE" 495
}

e2e_main "$@"
