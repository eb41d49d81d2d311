#!/bin/bash
# --autoupdate --outputid 99 with two outputs: a warning box, and nothing sent.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

# other_windows: visible top-level windows other than the root and the main one
other_windows() {
    local x
    for x in $(visible_windows); do
        [ "$x" = "$ROOT" ] || [ "$(xdotool getwindowname "$x" 2>/dev/null)" = "$MAIN_TITLE" ] || echo "$x"
    done
}

guest_test() {
    start_receiver
    local n box
    output_id >/dev/null || exit 1
    n=$(wc -l <"$OUT/outputs.txt")
    [ "$n" -lt 99 ] || fail "$n outputs: 99 would be a real one"
    ROOT=$(xwininfo -root | awk '/Window id:/ { print $4 }')
    ROOT=$((ROOT))
    "$APP" --autoupdate --outputid 99 >"$OUT/app.log" 2>&1 &
    APP_PID=$!
    wait_until 60 eval '[ -n "$(other_windows)" ]' || fail "no warning box within 60 s"
    box=$(other_windows | head -1)
    note "warning box: window $box, $(xwininfo -id "$box" | awk '/Width:|Height:/ { printf "%s ", $2 }')"
    sleep 3    # long enough for a wrong upload to have begun
    screenshot "$OUT/warning.png"
    kill -0 "$APP_PID" 2>/dev/null || fail "the program quit"
    xdotool key --window "$box" Return || true
    kill -TERM "$APP_PID" 2>/dev/null || true
    wait_until 10 eval '! kill -0 $APP_PID 2>/dev/null' || fail "the program did not end on SIGTERM"
    APP_PID=
    stop_receiver
    check_nothing_received
}

e2e_main "$@"
