#!/usr/bin/env bash
# Starts the Windows .exe under Wine on a private Xvfb display and drives it
# as a person would: the main window and its title, the update button's
# colour, the Help window, a second start with --autoupdate while the window
# is open (exit code 10, a line on stderr, the first window left alone),
# closing the main window (exit code 0), the message box for a --file that
# does not exist, and --autoupdate --outputid 99, which finds no such output
# (Wine here has no MIDI at all): the box, the outcome line, exit code 5.
#
#   tests/windows/smoke-wine.sh [EXE]
#     (default: build-windows/app/NimboSwUpdaterApp_artefacts/Release/NimboSwUpdater.exe)
#
# Screenshots land in build-windows/wine-smoke/ (look at them).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
EXE=$(realpath -m "${1:-$ROOT/build-windows/app/NimboSwUpdaterApp_artefacts/Release/NimboSwUpdater.exe}")
OUT=${SMOKE_OUT:-$(dirname "$(dirname "$(dirname "$(dirname "$EXE")")")")/wine-smoke}
mkdir -p "$OUT"
OUT=$(realpath "$OUT")

MISSING_FILE='C:\missing.syx'
MISSING_TITLE="File $MISSING_FILE not found"
# The panel (the main window's content) lies inside the 650 x 400 window,
# under a title bar drawn by JUCE and within its 4 px resizable border.
TITLE_BAR=${TITLE_BAR:-26}
BORDER=4
UPDATE_COLOUR=ff7e7e

source "$ROOT/tests/support/lib.sh"
source "$ROOT/tests/windows/wine-env.sh"

# Each check that holds says so; the first that does not ends the run (fail).
passed=0
ok() { echo "ok  : $*"; passed=$((passed + 1)); }

for tool in wine wineserver Xvfb xdotool xwininfo import convert; do
    if ! command -v "$tool" >/dev/null; then
        fail "$tool is not installed (tools/windows/build-deps.sh installs it)"
    fi
done
if [ ! -f "$EXE" ]; then
    fail "$EXE not found (build it with tools/windows/build.sh)"
fi

XVFB_PID=
APP_PID=
cleanup() {
    if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
        kill "$APP_PID" 2>/dev/null
    fi
    wineserver -k 2>/dev/null
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
}
trap cleanup EXIT

start_display "$OUT/xvfb.log"

wine_prefix "$OUT/prefix"
# With no window manager on Xvfb, Wine waits 2 s for each "managed" window
# it unmaps to be withdrawn by one, so closing a program with a few windows
# (JUCE adds four shadow windows to each) takes 10-20 s. Unmanaged windows
# skip that wait; nothing else changes without a window manager.
if ! grep -qs '"Managed"="N"' "$WINEPREFIX/user.reg"; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
fi

# wait_window TITLE-REGEX SEC: find_window, with status 1 instead of the end
# of the run when there is no such window
wait_window() { (find_window "$@") 2>/dev/null; }
# xprop would print a backslash doubled; xdotool prints the name as it is.
window_title() { xdotool getwindowname "$1" 2>/dev/null; }
# Waits up to $2 seconds for the app process to end; sets APP_STATUS.
wait_app() {
    local deadline=$((SECONDS + $1))
    while [ $SECONDS -lt $deadline ]; do
        if ! kill -0 "$APP_PID" 2>/dev/null; then
            wait "$APP_PID"; APP_STATUS=$?; APP_PID=; return 0
        fi
        sleep 0.2
    done
    return 1
}
click() {
    xdotool mousemove --window "$1" "$2" "$3" 2>/dev/null
    sleep 0.2
    xdotool click 1 2>/dev/null
}
regex_quote() { sed 's/[][\.*^$(){}?+|/]/\\&/g' <<<"$1"; }

start_app() {
    ( cd "$OUT" && exec wine "$EXE" "$@" ) >>"$OUT/app.log" 2>&1 &
    APP_PID=$!
}

# --- 1. main window, update button, Help, close -----------------------------
: >"$OUT/app.log"
start_app
if ! MAIN=$(wait_window "^$(regex_quote "$MAIN_TITLE")\$" 60); then
    screenshot "$OUT/no-window.png" 2>/dev/null
    fail "no window titled \"$MAIN_TITLE\" within 60 s (see $OUT/no-window.png)"
fi
title=$(window_title "$MAIN")
[ "$title" = "$MAIN_TITLE" ] && ok "main window title \"$title\"" \
                             || fail "main window title is \"$title\", not \"$MAIN_TITLE\""

sleep 2   # first paint
eval "$(xdotool getwindowgeometry --shell "$MAIN")"   # X, Y, WIDTH, HEIGHT
border=$BORDER
panel_w=$((WIDTH - 2 * BORDER))
# Both buttons sit at x = panel width - 104 .. - 10; Help at y 70..100, update
# at y 215..245 (the pixel is left of its label, in the lower half).
HELP_BUTTON_X=$((panel_w - 57));  HELP_BUTTON_Y=85
UPDATE_PIXEL_X=$((panel_w - 94)); UPDATE_PIXEL_Y=231
panel_x=$((X + border)); panel_y=$((Y + border + TITLE_BAR))
screenshot "$OUT/main.png"
colour=$(pixel $((panel_x + UPDATE_PIXEL_X)) $((panel_y + UPDATE_PIXEL_Y)) "$OUT/main.png")
# JUCE's glass buttons shade their colour, so an exact match is not expected:
# light red means red well above green and blue, which stay close together.
r=$((16#${colour:0:2})); g=$((16#${colour:2:2})); b=$((16#${colour:4:2}))
if [ "$colour" = "$UPDATE_COLOUR" ] || { [ $r -ge 192 ] && [ $((r - g)) -ge 32 ] && [ $((r - b)) -ge 32 ] \
        && [ $((g - b)) -le 24 ] && [ $((b - g)) -le 24 ]; }; then
    ok "update button pixel at panel ($UPDATE_PIXEL_X,$UPDATE_PIXEL_Y) is light red (#$colour)"
else
    fail "update button pixel at panel ($UPDATE_PIXEL_X,$UPDATE_PIXEL_Y) is #$colour, not light red like #$UPDATE_COLOUR (see $OUT/main.png)"
fi

# Under Wine, JUCE windows only update at all thanks to the program's own
# repaint workaround: hovering must visibly light up the Help button. The
# mouse rests on the button's left end and the pixel is read near its right
# end, clear of the tooltip, which opens below and left of the mouse.
help_px=$((panel_x + HELP_BUTTON_X + 32)); help_py=$((panel_y + HELP_BUTTON_Y - 7))
before=$(pixel $help_px $help_py "$OUT/main.png")
xdotool mousemove --window "$MAIN" $((border + HELP_BUTTON_X - 37)) $((border + TITLE_BAR + HELP_BUTTON_Y))
after=$before
for _ in 1 2 3 4 5 6 7 8; do
    sleep 0.25
    screenshot "$OUT/hover.png"
    after=$(pixel $help_px $help_py "$OUT/hover.png")
    [ "$after" != "$before" ] && break
done
[ -n "$before" ] && [ "$before" != "$after" ] \
    && ok "the main window repaints: Help button #$before -> #$after under the mouse" \
    || fail "the main window did not repaint when the mouse moved over Help (#$before, then #$after)"

click "$MAIN" $((border + HELP_BUTTON_X)) $((border + TITLE_BAR + HELP_BUTTON_Y))
if HELP=$(wait_window "^$(regex_quote "$HELP_TITLE")\$" 20); then
    title=$(window_title "$HELP")
    [ "$title" = "$HELP_TITLE" ] && ok "Help opens a window titled \"$title\"" \
                                 || fail "help window title is \"$title\""
    sleep 1
    screenshot "$OUT/help.png"
else
    screenshot "$OUT/help.png"
    fail "clicking Help showed no window titled \"$HELP_TITLE\" (see $OUT/help.png)"
fi

# A second start while the window is open: an automatic update that did
# nothing must not look like one that was done.
( cd "$OUT" && exec timeout 60 wine "$EXE" --autoupdate --outputid 1 ) >"$OUT/second.out" 2>"$OUT/second.err"
second_status=$?
[ "$second_status" -eq 10 ] && ok "a second start with --autoupdate ends with exit code 10" \
                            || fail "a second start with --autoupdate ended with exit code $second_status, not 10"
grep -q "another updater is already running" "$OUT/second.err" \
    && ok "the second start says on stderr: $(grep "another updater" "$OUT/second.err" | tr -d '\r')" \
    || fail "the second start said nothing on stderr about the first (see $OUT/second.err)"
[ "$(wait_window "^$(regex_quote "$MAIN_TITLE")\$" 1)" = "$MAIN" ] && kill -0 "$APP_PID" 2>/dev/null \
    && ok "the first window is still there" || fail "the first window is gone after the second start"

# The close button sits at the right end of JUCE's title bar.
click "$MAIN" $((WIDTH - border - TITLE_BAR / 2 - 4)) $((border + TITLE_BAR / 2))
closed_at=$SECONDS
if wait_app 30; then
    [ "$APP_STATUS" -eq 0 ] && ok "closing the main window ends the program with exit code 0 (after $((SECONDS - closed_at)) s)" \
                            || fail "closing the main window ended the program with exit code $APP_STATUS"
else
    screenshot "$OUT/close.png"
    fail "the program still runs 30 s after its close button was clicked (see $OUT/close.png)"
fi

# --- 2. --file with a file that does not exist -------------------------------
start_app --file "$MISSING_FILE"
if BOX=$(wait_window "^$(regex_quote "$MISSING_TITLE")\$" 60); then
    title=$(window_title "$BOX")
    [ "$title" = "$MISSING_TITLE" ] && ok "--file $MISSING_FILE shows a box titled \"$title\"" \
                                    || fail "message box title is \"$title\", not \"$MISSING_TITLE\""
    sleep 1
    screenshot "$OUT/missing-file.png"
else
    screenshot "$OUT/missing-file.png"
    fail "--file $MISSING_FILE showed no box titled \"$MISSING_TITLE\" (see $OUT/missing-file.png)"
fi
kill "$APP_PID" 2>/dev/null
wineserver -k 2>/dev/null
wait "$APP_PID" 2>/dev/null
APP_PID=

# --- 3. --autoupdate --outputid 99 --------------------------------------------
# The outcome line comes before the box, which waits for the user; then the
# window stays open until it is closed, and the exit code says why.
( cd "$OUT" && exec wine "$EXE" --autoupdate --outputid 99 ) >"$OUT/auto.out" 2>>"$OUT/app.log" &
APP_PID=$!
deadline=$((SECONDS + 60))
until grep -q "^$OUTCOME_PREFIX" "$OUT/auto.out" || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
line=$(outcome_lines "$OUT/auto.out" | tr -d '\r')
case $line in
    "NimboSwUpdater: outcome=no-output status=5 "*" output=99 output_name=- messages=0 bytes=0")
        ok "--autoupdate --outputid 99 prints: $line" ;;
    *) fail "--autoupdate --outputid 99 printed no outcome line for a missing output: \"$line\"" ;;
esac
sleep 2
screenshot "$OUT/no-output.png"
# The box has the focus and no title; Return is its ok button.
xdotool key Return 2>/dev/null
if MAIN=$(wait_window "^$(regex_quote "$MAIN_TITLE")\$" 30); then
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$MAIN")"
    click "$MAIN" $((WIDTH - border - TITLE_BAR / 2 - 4)) $((border + TITLE_BAR / 2))
    if wait_app 30; then
        [ "$APP_STATUS" -eq 5 ] && ok "closing it ends the program with exit code 5 (no such output)" \
                                || fail "closing it ended the program with exit code $APP_STATUS, not 5"
    else
        fail "the program still runs 30 s after its close button was clicked"
    fi
else
    fail "no main window after Return on the box (see $OUT/no-output.png)"
fi

echo "screenshots: $OUT/*.png"
echo "smoke-wine: all $passed checks passed"
