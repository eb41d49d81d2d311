#!/bin/bash
# The main window: title, fixed size, single instance (with and without
# --autoupdate), close, --list-outputs while it is open, and --file with a
# missing file and a FIFO.
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

# --- A second start exits at once, says so on stderr, and leaves the first
# alone: with 0 when a person started it, with 10 for an automatic update,
# which must not look like one that was done.
GEOMETRY=$(window_geometry "$W")
for ARGS in "" "--autoupdate --outputid 1"; do
    T0=$(date +%s%N)
    # shellcheck disable=SC2086
    "$APP" $ARGS > "$ARTIFACTS/second.out" 2> "$ARTIFACTS/second.err" && RC=0 || RC=$?
    MS=$((($(date +%s%N) - T0) / 1000000))
    EXPECTED=0
    [ -z "$ARGS" ] || EXPECTED=10
    echo "second instance '$ARGS': status $RC after $MS ms, stderr: $(cat "$ARTIFACTS/second.err")"
    [ "$RC" = "$EXPECTED" ] || fail "second instance '$ARGS': exit status $RC, $EXPECTED expected"
    [ "$MS" -lt 1000 ] || fail "second instance took $MS ms"
    # A Debug build of JUCE prints its version and its own quitting line too.
    grep -vxE 'JUCE v[0-9.]+|Another instance is running - quitting\.\.\.' "$ARTIFACTS/second.err" >"$ARTIFACTS/second.said" || true
    [ "$(wc -l < "$ARTIFACTS/second.said")" = 1 ] && grep -q "another updater is already running" "$ARTIFACTS/second.said" \
        || fail "second instance '$ARGS' did not say in one line why it did nothing: $(cat "$ARTIFACTS/second.err")"
    [ ! -s "$ARTIFACTS/second.out" ] || fail "second instance printed on stdout: $(cat "$ARTIFACTS/second.out")"
    kill -0 "$APP_PID" || fail "first instance died"
    [ "$(xdotool search --onlyvisible --name "^$MAIN_TITLE\$")" = "$W" ] || fail "the main windows are not just the first one"
    [ "$(window_geometry "$W")" = "$GEOMETRY" ] || fail "the first window moved: $(window_geometry "$W")"
done

# --- --list-outputs answers even while a window is open, and opens none. A
# machine without an ALSA sequencer cannot be asked for outputs: that is a
# status of its own, not an empty list.
"$APP" --list-outputs > "$ARTIFACTS/list.out" 2> "$ARTIFACTS/list.err" && RC=0 || RC=$?
[ ! -s "$ARTIFACTS/list.out" ] || [ -e /dev/snd/seq ] || fail "--list-outputs printed ports: $(cat "$ARTIFACTS/list.out")"
if [ -e /dev/snd/seq ]; then
    [ "$RC" = 0 ] || fail "--list-outputs exit status $RC: $(cat "$ARTIFACTS/list.err")"
else
    [ "$RC" = 11 ] || fail "--list-outputs without a sequencer: exit status $RC, 11 expected"
    grep -q "cannot ask the MIDI service" "$ARTIFACTS/list.err" || fail "--list-outputs did not say why: $(cat "$ARTIFACTS/list.err")"
fi
[ "$(xdotool search --onlyvisible --name "^$MAIN_TITLE\$" | wc -l)" = 1 ] || fail "--list-outputs opened a window"

# --- The close button ends the program with 0.
close_main_window "$W"
wait_exit 5
[ "$RC" = 0 ] || fail "exit after close: $RC"

# --- --file with a missing file: the box, then the built-in image.
MISSING="$ARTIFACTS/no such.syx"
start_app --file "$MISSING"
B=$(find_window "^File $MISSING not found\$")
screenshot "$ARTIFACTS/file-not-found.png"
press_return_on "$B" "^File $MISSING not found\$"
W=$(find_window "^$MAIN_TITLE\$")
close_main_window "$W"
wait_exit 5
[ "$RC" = 0 ] || fail "exit after missing file: $RC"

# --- --file naming a FIFO nobody writes to: refused at once (a blocking open
# would never return), then the built-in image in a window that works.
FIFO="$ARTIFACTS/pipe.syx"
rm -f "$FIFO"
mkfifo "$FIFO"
T0=$(date +%s%N)
start_app --file "$FIFO"
B=$(find_window "^File $FIFO cannot be read\$" 10)
echo "FIFO box after $((($(date +%s%N) - T0) / 1000000)) ms"
screenshot "$ARTIFACTS/file-fifo.png"
press_return_on "$B" "^File $FIFO cannot be read\$"
W=$(find_window "^$MAIN_TITLE\$" 5)
read -r _ _ WW _ < <(window_geometry "$W")
press_when_lit "$W" $((WW - 2 * PANEL_X - 57)) 85
find_window "^$HELP_TITLE\$" 5 > /dev/null
close_main_window "$W"
wait_exit 5
[ "$RC" = 0 ] || fail "exit after the FIFO: $RC"
! grep -q "^$OUTCOME_PREFIX" "$APP_LOG" || fail "an outcome line without --autoupdate"

# --- The same FIFO for an automatic update: the box, the outcome line while
# the window is still open, nothing started, and status 3 once closed.
T0=$(date +%s%N)
start_app --autoupdate --file "$FIFO"
B=$(find_window "^File $FIFO cannot be read\$" 10)
echo "FIFO box (--autoupdate) after $((($(date +%s%N) - T0) / 1000000)) ms"
LINE=$(grep "^$OUTCOME_PREFIX" "$APP_LOG") || fail "no outcome line while the box is open"
echo "$LINE"
case $LINE in
    "NimboSwUpdater: outcome=unusable-file status=3 image=- version=- revision=- size=- sha256=- file=\"$FIFO\" output=1 "*) ;;
    *) fail "outcome line: $LINE" ;;
esac
press_return_on "$B" "^File $FIFO cannot be read\$"
W=$(find_window "^$MAIN_TITLE\$" 5)
close_main_window "$W"
wait_exit 5
[ "$RC" = 3 ] || fail "exit after the FIFO with --autoupdate: $RC, 3 expected"
[ "$(grep -c "^$OUTCOME_PREFIX" "$APP_LOG")" = 1 ] || fail "more than one outcome line"
rm -f "$FIFO"

# --- --file with a readable image: titled after its base name, no revision.
IMAGE="$ARTIFACTS/Service Image.v2.syx"
printf '\xF0\x01\x02\xF7' > "$IMAGE"
start_app --file "$IMAGE"
W=$(find_window '^Service Image\.v2 version $')
[ "$(xdotool getwindowname "$W")" = "Service Image.v2 version " ] || fail "file title: $(xdotool getwindowname "$W")"
close_main_window "$W"
wait_exit 5
[ "$RC" = 0 ] || fail "exit: $RC"
echo "main window: ok"
