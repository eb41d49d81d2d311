# Shared by the GUI tests: start the real program under the current display,
# find its windows, click in window coordinates, read pixels from screenshots.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/lib.sh"

APP=$1
ARTIFACTS=${2:-/tmp/nimbo-gui}
mkdir -p "$ARTIFACTS"

[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: run under xvfb-run" >&2; exit 1; }

# The window frame is drawn by JUCE: a 4 px resizable border and a 26 px
# title bar around the panel.
PANEL_X=4
PANEL_Y=30

APP_PID=""
APP_LOG=$ARTIFACTS/app.out

RUN_MARK=$ARTIFACTS/.run-started
: > "$RUN_MARK"

cleanup() {
    local status=$? found
    if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
        kill "$APP_PID" 2>/dev/null || true
        wait "$APP_PID" 2>/dev/null || true
    fi
    # What the program printed in this run only.
    found=$(find "$ARTIFACTS" -maxdepth 1 -type f \( -name '*.out' -o -name '*.err' \) -newer "$RUN_MARK" \
                -exec grep -HE "$JUCE_COMPLAINTS" {} + 2>/dev/null || true)
    if [ -n "$found" ]; then
        echo "FAIL: JUCE complained while the program ran:" >&2
        echo "$found" >&2
        exit 1
    fi
    exit $status
}
trap cleanup EXIT

start_app() {
    "$APP" "$@" > "$APP_LOG" 2>&1 &
    APP_PID=$!
}

window_gone() {
    ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1
}

# press_return_on BOX [TITLE]: Return on a message box until it has gone
# (no window with TITLE is visible, or without one BOX is not); a slow
# (sanitizer) build may not yet read keys when the box first shows, and a box
# takes keys only once it has the focus
press_return_on() {
    local try gone="! visible_windows | grep -qx $1"
    [ -z "${2:-}" ] || gone="window_gone '$2'"
    for try in 1 2 3 4 5 6 7 8 9 10; do
        xdotool key --window "$1" Return 2>/dev/null || true
        wait_until 1 eval "$gone" && return 0
    done
    fail "the box ${2:+'$2' }did not go on Return"
}

# click WINDOW X Y: a click at window coordinates.
click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

# click_panel WINDOW X Y: a click at panel coordinates.
click_panel() {
    click "$1" $((PANEL_X + $2)) $((PANEL_Y + $3))
}

# press_when_lit WINDOW X Y: a click on the button at panel X,Y once it
# lights up under the pointer. A window takes no input while a box it showed
# is still modal, nor before it handles events at all, and a click then is
# lost; a button that shows the pointer over it takes the click.
press_when_lit() {
    local w=$1 x=$((PANEL_X + $2)) y=$((PANEL_Y + $3)) wx wy unlit deadline=$((SECONDS + 15))
    read -r wx wy _ _ < <(window_geometry "$w")
    # Left of the label, on the button's face; the pointer waits below it.
    local px=$((wx + x - 30)) py=$((wy + y - 7))
    xdotool mousemove --window "$w" "$x" $((y + 60))
    screenshot "$ARTIFACTS/.unlit.png"
    unlit=$(pixel $px $py "$ARTIFACTS/.unlit.png")
    until xdotool mousemove --window "$w" "$x" "$y" && sleep 0.1 && screenshot "$ARTIFACTS/.lit.png" &&
        [ "$(pixel $px $py "$ARTIFACTS/.lit.png")" != "$unlit" ]; do
        [ $SECONDS -lt $deadline ] || fail "the button at $2,$3 never lit up under the pointer (see .lit.png)"
        # Out and in again: a window that has begun to listen sees it enter.
        xdotool mousemove --window "$w" "$x" $((y + 60))
        sleep 0.1
    done
    xdotool click 1
}

window_geometry() { # prints "X Y W H"
    local x y w h
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "$X $Y $WIDTH $HEIGHT"
}

# panel_pixel FILE WINDOW X Y: "R G B" of the pixel at panel coordinates.
panel_pixel() {
    local wx wy ww wh
    read -r wx wy ww wh < <(window_geometry "$2")
    pixel_rgb $((wx + PANEL_X + $3)) $((wy + PANEL_Y + $4)) "$1"
}

# wait_exit TIMEOUT-S: waits for the app to end and sets RC to its exit code
# ("timeout" if it is still running). Called in the shell that started it,
# never in $(...): only that shell can wait for it and learn its status.
wait_exit() {
    local deadline=$((SECONDS + $1))
    RC=timeout
    while kill -0 "$APP_PID" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || return 0
        sleep 0.1
    done
    RC=0
    wait "$APP_PID" || RC=$?
    APP_PID=""
}

# The close button at the right end of the title bar.
close_main_window() {
    local w ww
    read -r _ _ ww _ < <(window_geometry "$1")
    click "$1" $((ww - 21)) 16
}

# new_window BEFORE-LIST [TIMEOUT-S]: waits for a visible window that is not
# in BEFORE-LIST (a message box has an empty title) and prints its id.
new_window() {
    local deadline=$((SECONDS + ${2:-10})) id
    while [ $SECONDS -lt $deadline ]; do
        id=$(comm -13 <(echo "$1") <(visible_windows) | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}

# new_box BEFORE-LIST [TIMEOUT-S]: the same for a title-less box that is
# still there a moment after it showed: JUCE makes and drops short-lived
# windows of its own while a box opens.
new_box() {
    local deadline=$((SECONDS + ${2:-10})) id
    while [ $SECONDS -lt $deadline ]; do
        for id in $(comm -13 <(echo "$1") <(visible_windows)); do
            [ -z "$(xdotool getwindowname "$id" 2>/dev/null)" ] || continue
            sleep 0.3
            visible_windows | grep -qx "$id" && { echo "$id"; return 0; }
        done
        sleep 0.1
    done
    return 1
}
