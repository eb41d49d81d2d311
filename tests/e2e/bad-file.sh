#!/bin/bash
# --file with an image whose last message never ends: nothing at all is sent
# (not even the good messages before it), and the program stays up to say so.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

host_prepare() {
    head -c 5998 "$BUILTIN_IMAGE" >"$OUT/bad.syx"   # ten whole messages and one without its F7
}

guest_test() {
    start_receiver
    local id w
    id=$(output_id) || exit 1
    "$APP" --autoupdate --outputid "$id" --file "$OUT/bad.syx" >"$OUT/app.log" 2>&1 &
    APP_PID=$!
    w=$(app_window . 60) || exit 1
    sleep 5
    kill -0 "$APP_PID" 2>/dev/null || { wait "$APP_PID" && rc=0 || rc=$?; fail "the program quit (status $rc) instead of showing the error"; }
    xdotool getwindowname "$w" >/dev/null || fail "the window is gone"
    screenshot "$OUT/bad-file.png"
    note "still up after 5 s, window $(xdotool getwindowname "$w")"
    kill -TERM "$APP_PID"
    wait_until 10 eval '! kill -0 $APP_PID 2>/dev/null' || fail "the program did not end on SIGTERM"
    APP_PID=
    stop_receiver
    check_nothing_received
}

e2e_main "$@"
