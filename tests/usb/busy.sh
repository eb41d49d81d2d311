#!/bin/bash
# A pedal that cannot be opened, chosen in a program started by hand:
#  1. its rawmidi device held open by another process: choosing it shows
#     the box "MIDI output in use" and no other, the list goes back to
#     "(Disconnected)" (the panel as at start-up: compared on the screen
#     with what it showed then), and nothing reaches the pedal;
#  2. unplugged while the list's popup is open, then chosen: the box "MIDI
#     output not found", the panel as at start-up again;
#  3. --autoupdate --outputid N to a held pedal: only the box "MIDI output
#     in use" (not "Please select an output device:" as well), and nothing
#     reaches the pedal.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

BUSY_TITLE="MIDI output in use"
GONE_TITLE="MIDI output not found"

# hold_device: another program holds the pedal's rawmidi device open for writing
hold_device() {
    local device
    device=$(pedal_rawmidi)
    [ -n "$device" ] || fail "the pedal has no rawmidi device"
    rm -f "$WORK/held"
    /usr/bin/python3 -c 'import os, sys, time
fd = os.open(sys.argv[1], os.O_WRONLY)
open(sys.argv[2], "w").write("held\n")
time.sleep(3600)' "$device" "$WORK/held" 2>"$OUT/holder.log" &
    HOLDER_PID=$!
    wait_until 10 test -s "$WORK/held" || fail "cannot hold $device: $(cat "$OUT/holder.log")"
    note "$device is held open by process $HOLDER_PID"
}

release_device() {
    kill "$HOLDER_PID"
    wait "$HOLDER_PID" 2>/dev/null || true
    HOLDER_PID=
}

# only_box TITLE WHAT: waits for a box with that title; fails if any other
# window shows beside the main one, now or in the 2 s after it came, or
# after the box is dismissed
only_box() {
    local title=$1 what=$2 box others
    box=$(find_window "^$title\$" 20) || fail "$what: no box \"$title\" (windows: $(for x in $(other_windows); do xdotool getwindowname "$x"; done | paste -sd,))"
    note "$what: a box \"$title\" came"
    # Long enough for a second box that follows the first to show.
    local deadline=$((SECONDS + 2))
    while [ $SECONDS -lt $deadline ]; do
        others=$(other_windows | grep -vx "$box" || true)
        [ -z "$others" ] || fail "$what: beside \"$title\" also: $(for x in $others; do echo "\"$(xdotool getwindowname "$x")\""; done | paste -sd,)"
        sleep 0.2
    done
    screenshot "$OUT/box-${what// /-}.png"
    # The box as it is now: the id found first can belong to a window JUCE
    # made and dropped while the box opened, and a key sent to it fails.
    local try closed=0
    for try in 1 2 3; do
        # None left to find: the last Return took effect late.
        box=$(find_window "^$title\$" 5 2>/dev/null) || { closed=1; break; }
        xdotool key --window "$box" Return 2>/dev/null || true
        if wait_until 4 eval '[ -z "$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null)" ]'; then
            closed=1
            break
        fi
    done
    [ $closed = 1 ] || fail "$what: the box did not close on Return"
    deadline=$((SECONDS + 2))
    while [ $SECONDS -lt $deadline ]; do
        others=$(other_windows)
        [ -z "$others" ] || fail "$what: after \"$title\" came: $(for x in $others; do echo "\"$(xdotool getwindowname "$x")\""; done | paste -sd,)"
        sleep 0.2
    done
}

# back_at_start WHAT: the list shows "(Disconnected)" and the button is
# light red and disabled, as at start-up
back_at_start() {
    # What follows the box's key reaches the window with its next event, as
    # it does when a person's pointer moves on.
    xdotool mousemove_relative 1 0 mousemove_relative -- -1 0
    panel_as_at_start 5 >"$WORK/panel.txt" || fail "$1: the panel is not as at start-up: $(cat "$WORK/panel.txt") (see at-failure.png)"
    note "$1: the list shows \"(Disconnected)\", the button is light red and disabled"
}

guest_test() {
    local row w
    usb_plug_in --idle-timeout 3600 --wait-timeout 3600
    row=$(pedal_output_id) || exit 1
    hold_device
    "$APP" >"$OUT/app.log" 2>&1 &
    APP_PID=$!
    w=$(find_window "^$MAIN_TITLE\$" 60) || exit 1
    window_to_origin "$w"
    grab_start_panel

    choose_output "$row"
    xdotool mousemove --window "$w" 300 40
    only_box "$BUSY_TITLE" "held device"
    back_at_start "held device"
    release_device

    /usr/bin/python3 "$SCREEN" open "$MAIN_TITLE" $COMBO_X $COMBO_Y || fail "the list did not open"
    unplug_pedal
    check_nothing_received
    choose_output "$row"
    xdotool mousemove --window "$w" 300 40
    only_box "$GONE_TITLE" "vanished device"
    back_at_start "vanished device"
    kill -TERM "$APP_PID"
    wait_app 10
    [ "$APP_RC" != running ] || fail "the program did not end on SIGTERM"

    mv "$OUT/rx.report" "$OUT/rx-1.report"
    usb_plug_in --idle-timeout 3600 --wait-timeout 3600
    row=$(pedal_output_id) || exit 1
    hold_device
    APP_LOG="$OUT/app-autoupdate.err"
    "$APP" --autoupdate --outputid "$row" >"$OUT/app-autoupdate.log" 2>"$APP_LOG" &
    APP_PID=$!
    only_box "$BUSY_TITLE" "auto-update to a held device"
    kill -0 "$APP_PID" 2>/dev/null || fail "the program ended after the box"
    release_device
    outcome_lines "$OUT/app-autoupdate.log" | grep -q ' outcome=output-busy status=6 ' ||
        fail "no output-busy outcome line: $(outcome_lines "$OUT/app-autoupdate.log")"
    close_main_window "$MAIN_TITLE"
    wait_app 10
    [ "$APP_RC" = 6 ] || fail "auto-update to a held device: status $APP_RC once closed, 6 expected"
    note "auto-update to a held device: the output-busy outcome line, status $APP_RC once closed"
    kill -TERM "$PEDAL_PID"
    wait_pedal
    check_nothing_received
}

usb_main "$@"
