#!/bin/bash
# The main window: title, fixed size, single instance, close, and --file.
source "$(dirname "$0")/lib.sh"

# --- Title, size, and a resize attempt by dragging the border.
start_app
W=$(find_window "^$MAIN_TITLE\$")
[ "$(xdotool getwindowname "$W")" = "$MAIN_TITLE" ] || fail "title: $(xdotool getwindowname "$W")"
read -r X Y WW WH < <(window_geometry "$W")
[ "$WW $WH" = "650 400" ] || fail "size $WW x $WH"

xdotool mousemove --window "$W" $((WW - 2)) $((WH - 2)) mousedown 1 \
    mousemove --window "$W" $((WW + 120)) $((WH + 90)) mouseup 1
sleep 0.5
read -r _ _ WW WH < <(window_geometry "$W")
[ "$WW $WH" = "650 400" ] || fail "resized to $WW x $WH"
screenshot "$ARTIFACTS/main-window.png"

# --- A second start exits at once with 0; the first stays.
T0=$(date +%s%N)
"$APP" > /dev/null 2>&1 && RC=0 || RC=$?
MS=$((($(date +%s%N) - T0) / 1000000))
[ "$RC" = 0 ] || fail "second instance exit code $RC"
[ "$MS" -lt 1000 ] || fail "second instance took $MS ms"
kill -0 "$APP_PID" || fail "first instance died"
[ "$(xdotool search --onlyvisible --name "^$MAIN_TITLE\$" | wc -l)" = 1 ] || fail "two main windows"

# --- --list-outputs answers even while a window is open (this machine has no
# MIDI outputs: nothing on stdout, a note on stderr, exit 0, no window).
"$APP" --list-outputs > "$ARTIFACTS/list.out" 2> "$ARTIFACTS/list.err" && RC=0 || RC=$?
[ "$RC" = 0 ] || fail "--list-outputs exit code $RC"
[ ! -s "$ARTIFACTS/list.out" ] || fail "--list-outputs printed ports: $(cat "$ARTIFACTS/list.out")"
grep -q "No MIDI output ports" "$ARTIFACTS/list.err" || fail "--list-outputs said nothing on stderr"
[ "$(xdotool search --onlyvisible --name "^$MAIN_TITLE\$" | wc -l)" = 1 ] || fail "--list-outputs opened a window"

# --- The close button ends the program with 0.
close_main_window "$W"
RC=$(wait_exit 5)
[ "$RC" = 0 ] || fail "exit after close: $RC"

# --- --file with a missing file: the box, then the built-in image.
MISSING="$ARTIFACTS/no such.syx"
start_app --file "$MISSING"
B=$(find_window "^File $MISSING not found\$")
screenshot "$ARTIFACTS/file-not-found.png"
sleep 0.3
xdotool key Return
W=$(find_window "^$MAIN_TITLE\$")
close_main_window "$W"
RC=$(wait_exit 5)
[ "$RC" = 0 ] || fail "exit after missing file: $RC"

# --- --file with a readable image: titled after its base name, no revision.
IMAGE="$ARTIFACTS/Service Image.v2.syx"
printf '\xF0\x01\x02\xF7' > "$IMAGE"
start_app --file "$IMAGE"
W=$(find_window '^Service Image\.v2 version $')
[ "$(xdotool getwindowname "$W")" = "Service Image.v2 version " ] || fail "file title: $(xdotool getwindowname "$W")"
close_main_window "$W"
RC=$(wait_exit 5)
[ "$RC" = 0 ] || fail "exit: $RC"
echo "main window: ok"
