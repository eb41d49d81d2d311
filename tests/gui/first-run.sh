#!/bin/bash
# What a user sees first: the light red, disabled update button; and the
# warning when an update is asked for without an output device.
source "$(dirname "$0")/lib.sh"

start_app
W=$(find_window "^$MAIN_TITLE\$")

# Panel width is the window's less its two 4 px borders.
read -r _ _ WW _ < <(window_geometry "$W")
PW=$((WW - 2 * PANEL_X))
# As soon as the window has painted itself.
button_light_red() {
    screenshot "$ARTIFACTS/first-run.png"
    read -r R G B < <(panel_pixel "$ARTIFACTS/first-run.png" "$W" $((PW - 90)) 231)
    [ "$R" -gt 200 ] && [ $((R - G)) -gt 25 ] && [ $((R - B)) -gt 25 ]
}
wait_until 10 button_light_red || fail "update button is not light red: $R $G $B"
echo "update button pixel: $R $G $B"

# Disabled: a click does nothing.
BEFORE=$(visible_windows)
click_panel "$W" $((PW - 57)) 230
new_window "$BEFORE" 2 > /dev/null && fail "a disabled update button reacted"
close_main_window "$W"
wait_exit 5
[ "$RC" = 0 ] || fail "exit: $RC"

# An automatic update with no output to select (this machine has no MIDI
# ports) presses the update button itself: the warning box, dismissed by
# Return; the outcome line comes while the box is open, and the status says
# there was no such output.
BUILTIN_SHA256=$(sha256sum "$BUILTIN_IMAGE" | cut -d' ' -f1)
BEFORE=$(visible_windows)
start_app --autoupdate --outputid 99
BOX=$(new_box "$BEFORE" 15) || fail "no title-less warning box"
LINE=$(grep "^$OUTCOME_PREFIX" "$APP_LOG") || fail "no outcome line while the box is open"
echo "$LINE"
case $LINE in
    'NimboSwUpdater: outcome=no-output status=5 image="Tremoran Roduza Delay" version="1.0.01" revision=473 size=295325 sha256='"$BUILTIN_SHA256"' file=- output=99 output_name=- messages=0 bytes=0') ;;
    *) fail "outcome line: $LINE" ;;
esac
screenshot "$ARTIFACTS/no-output-warning.png"
press_return_on "$BOX"
W=$(find_window "^$MAIN_TITLE\$")
kill -0 "$APP_PID" || fail "program ended"
close_main_window "$W"
wait_exit 5
[ "$RC" = 5 ] || fail "exit: $RC, 5 (no such output) expected"
echo "first run: ok"
