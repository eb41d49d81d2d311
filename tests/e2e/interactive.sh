#!/bin/bash
# A person's way: start without options, pick the receiver in the output list,
# see the update button turn green, click it, and get every byte.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

# Window coordinates (JUCE draws the title bar inside the window): the output
# combo box and the update button, and a patch well inside the button that
# stays clear of its border and label.
COMBO_X=325 COMBO_Y=170
BUTTON_X=588 BUTTON_Y=260
BUTTON_PATCH=60x14+558+253

# button_rgb FILE: the mean colour of the patch as "R G B"
button_rgb() {
    /usr/bin/convert "$1" -crop "$BUTTON_PATCH" -resize '1x1!' -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:
}

# is_green / is_red "R G B": clearly that hue, whatever the shading
is_green() { set -- $1; [ $(($2 - $1)) -ge 25 ] && [ $(($2 - $3)) -ge 25 ]; }
is_red() { set -- $1; [ $(($1 - $2)) -ge 25 ] && [ $(($1 - $3)) -ge 25 ]; }

guest_test() {
    start_receiver
    local id w menu before after try
    id=$(output_id) || exit 1
    "$APP" >"$OUT/app.log" 2>&1 &
    APP_PID=$!
    w=$(app_window "^$MAIN_TITLE\$" 60) || exit 1
    xdotool windowmove "$w" 0 0
    sleep 1
    screenshot "$OUT/1-start.png"
    before=$(button_rgb "$OUT/1-start.png")
    is_red "$before" || fail "the update button should be red before an output is chosen, mean colour $before (see 1-start.png)"

    # On a loaded machine the first click now and then comes before the
    # program listens; a person would click again, and so do we, once.
    for try in 1 2; do
        xdotool mousemove --window "$w" $COMBO_X $COMBO_Y click 1
        menu=$(timeout 15 xdotool search --sync --onlyvisible --name '^menu$' 2>/dev/null | head -1) || true
        [ -z "$menu" ] || break
        screenshot "$OUT/no-list-$try.png"
        note "the output list did not open after click $try"
    done
    [ -n "$menu" ] || fail "the output list did not open (see no-list-*.png)"
    sleep 0.4   # the list ignores input at first
    # The list starts at "(Disconnected)", then the outputs in --list-outputs order.
    xdotool key --delay 100 $(printf 'Down %.0s' $(seq "$id")) Return
    wait_until 5 eval '! xdotool search --onlyvisible --name "^menu\$" >/dev/null 2>&1' || fail "the output list did not close"
    sleep 1
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
