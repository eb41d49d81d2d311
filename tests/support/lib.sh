# Sourced by every test script, wherever it runs (the GUI tests on Xvfb, the
# end-to-end and USB tests inside the VM, the Windows tests under Wine, the
# package test): the program's texts that the tests look for, written once,
# and the helpers they all use the same way. A failed check ends the script
# at once with one line on stderr that starts with "FAIL: ".

SUPPORT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SOURCE_DIR=$(cd "$SUPPORT_DIR/../.." && pwd)

# The image the program carries, and the titles and lines it shows for it.
BUILTIN_IMAGE=$SOURCE_DIR/firmware/data/NimboDelay-1.0.01-R473.syx
MAIN_TITLE='Tremoran Roduza Delay version 1.0.01 - R473'
HELP_TITLE='Firmware Update Help'
OUTCOME_PREFIX='NimboSwUpdater: outcome='
# The Python helpers read it from here.
export MAIN_TITLE

# What JUCE prints, in a build with its assertions on, for a failed jassert
# and for objects still alive at exit: printed only, so a test looks for it.
JUCE_COMPLAINTS='JUCE Assertion failure|Leaked objects detected'

fail() { echo "FAIL: $*" >&2; exit 1; }

# Under set -e a command that fails where no check expected it ends the script
# without a FAIL line (a VM test then only says that it failed); this names
# the command and its line. Command substitutions run without -e, and only
# what ends the script is told.
if [[ $- == *e* ]]; then
    set -E
    failed_unchecked() {
        local rc=$?
        [[ $- != *e* ]] || echo "FAIL: status $rc from \"$1\" (${BASH_SOURCE[1]##*/}:$2)" >&2
    }
    trap 'failed_unchecked "$BASH_COMMAND" "$LINENO"' ERR
fi

# note TEXT...: a line of what a test measured or saw, tagged with TEST_TAG
note() { echo "${TEST_TAG:-test}: $*"; }

# wait_until SEC COMMAND...: polls COMMAND every 0.1 s; status 1 on timeout
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}

# start_display LOG [ARG...]: a display of our own on Xvfb (with those
# arguments), exported as DISPLAY, its server's process in XVFB_PID and its
# messages in LOG. -displayfd takes the first free number (inside the VM the
# host's X lock files are visible through the shared root). The tests in the
# VM pass -noreset: every xdotool call is a client that comes and goes, and a
# server that resets whenever its last client leaves drops a connection still
# being set up, such as the program's first.
start_display() {
    local number
    number=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp "${@:2}" 3>"$number" >"$1" 2>&1 &
    XVFB_PID=$!
    wait_until 30 test -s "$number" || fail "Xvfb did not start: $(cat "$1")"
    export DISPLAY=":$(head -n 1 "$number")"
    rm -f "$number"
}

# outcome_lines FILE: the outcome lines the program printed in FILE
outcome_lines() { grep "^$OUTCOME_PREFIX" "$1" || true; }

# visible_windows: the ids of the visible top-level windows, sorted
visible_windows() { xdotool search --onlyvisible --maxdepth 1 --name '' 2>/dev/null | sort; }

# find_window TITLE-REGEX [SEC]: the id of the first visible window with a
# matching title, waiting up to SEC (15) s; fails when there is none, saying
# so (with the end of APP_LOG, when set) if the program started as APP_PID has
# ended meanwhile.
find_window() {
    local id deadline=$((SECONDS + ${2:-15}))
    # Asked again until the deadline: xdotool dies with BadWindow when a
    # window it walks past vanishes (JUCE makes and drops short-lived ones
    # while a box opens), which says nothing about the window looked for.
    until id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) && [ -n "$id" ]; do
        if [ $SECONDS -ge $deadline ]; then
            if [ -n "${APP_PID:-}" ] && ! kill -0 "$APP_PID" 2>/dev/null; then
                fail "no window named '$1': the program had already ended${APP_LOG:+ ($(tail -n 3 "$APP_LOG" 2>/dev/null))}"
            fi
            fail "no window named '$1' within ${2:-15} s"
        fi
        sleep 0.05
    done
    echo "$id"
}

# screenshot FILE: the whole screen of DISPLAY
screenshot() { import -display "$DISPLAY" -window root "$1"; }

# pixel X Y FILE: the colour at that point of a screenshot, as rrggbb
pixel() { convert "$3" -format "%[hex:p{$1,$2}]" info: 2>/dev/null | tr 'A-F' 'a-f' | cut -c1-6; }

# pixel_rgb X Y FILE: the same colour as "R G B", in decimal
pixel_rgb() {
    local hex
    hex=$(pixel "$@")
    echo "$((16#${hex:0:2})) $((16#${hex:2:2})) $((16#${hex:4:2}))"
}
