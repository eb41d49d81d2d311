# Sourced by every end-to-end test script. A test is one bash file that defines
#   host_prepare   (optional) runs on this machine first, e.g. to write images
#   guest_test     runs inside the VM, with a display and the receiver at hand
# and ends with `e2e_main "$@"`. Called as:  TEST.sh APP ARTIFACT_DIR
# The same file runs twice: here, where it builds the receiver and boots the
# VM, and inside the VM (NIMBO_E2E_VM is set there), where it does the test.
# Results, screenshots and logs stay in ARTIFACT_DIR/<test name>/.

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$E2E_DIR/../support/lib.sh"
TEST_TAG=e2e
RECEIVER_NAME="Nimbo Test Receiver"

# Window coordinates, with the main window at 0,0 (JUCE draws the title bar
# inside it): the output list and the update button, a patch well inside the
# button that stays clear of its border and label, and areas (X,Y,W,H) of
# the list's text inside its focus outline and of the whole button inside
# its border, which screen.py compares with what they showed before.
COMBO_X=325 COMBO_Y=170
BUTTON_X=588 BUTTON_Y=260
BUTTON_PATCH=60x14+558+253
SELECTOR_AREA=17,158,540,24
BUTTON_AREA=552,247,90,26
# A patch of the progress bar near its left end, which the bar fills once a
# fiftieth of the upload is done.
BAR_AREA=21,266,3,4
# The output list's arrows, which it draws only while it can be used.
ARROW_AREA=620,165,5,5
SCREEN=$E2E_DIR/screen.py

# report_value KEY FILE: a value from the receiver's "key value" report
report_value() { awk -v k="$1" '$1 == k { print $2 }' "$2"; }

e2e_main() {
    [ $# -eq 2 ] || { echo "usage: $0 APP ARTIFACT_DIR" >&2; exit 2; }
    APP=$1
    ART=$2
    TEST_NAME=$(basename "$0" .sh)
    # Run again inside the VM (a benchmark lives outside this folder).
    TEST_SCRIPT=$(cd "$(dirname "$0")" && pwd -P)/$(basename "$0")
    OUT=$ART/$TEST_NAME
    RECEIVER=$ART/receiver
    if [ -z "${NIMBO_E2E_VM:-}" ]; then
        e2e_host
    else
        e2e_guest
    fi
}

e2e_host() {
    [ -x "$APP" ] || fail "no program at $APP"
    "$E2E_DIR/install-deps.sh" --check >&2 || fail "the harness is not installed: run tests/e2e/install-deps.sh"
    mkdir -p "$ART"
    ART=$(cd "$ART" && pwd -P)
    OUT=$ART/$TEST_NAME
    RECEIVER=$ART/receiver
    # Built here, where the compiler is fast; the lock keeps tests that run
    # at the same time from writing one binary twice.
    (
        flock 9
        if [ ! -x "$RECEIVER" ] || [ "$E2E_DIR/receiver.c" -nt "$RECEIVER" ]; then
            gcc -O2 -Wall -Wextra -o "$RECEIVER.new" "$E2E_DIR/receiver.c" -lasound -lm && mv "$RECEIVER.new" "$RECEIVER"
        fi
    ) 9>"$ART/.receiver.lock" || fail "cannot build the receiver"
    rm -rf "$OUT"
    mkdir -p "$OUT"
    if declare -F host_prepare >/dev/null; then host_prepare; fi
    local app
    app=$(cd "$(dirname "$APP")" && pwd -P)/$(basename "$APP")
    # VM_ARGS: what a test needs of the VM beyond the defaults.
    exec "$E2E_DIR/vm-run" -v --timeout "${E2E_VM_TIMEOUT:-240}" ${VM_ARGS[@]+"${VM_ARGS[@]}"} --share "$ART" \
        -- bash "$TEST_SCRIPT" "$app" "$ART"
}

e2e_guest() {
    WORK=$(mktemp -d /tmp/nimbo-e2e.XXXXXX)   # guest-local: fast, and nothing the host needs
    trap e2e_guest_cleanup EXIT
    start_display "$WORK/xvfb.log" -noreset
    guest_test
}

e2e_guest_cleanup() {
    local rc=$?
    # What the screen showed when a test failed is most of the story.
    [ $rc = 0 ] || [ -z "${DISPLAY:-}" ] || screenshot "$OUT/at-failure.png" 2>/dev/null || true
    # The display server's own account, for a program that could not connect.
    [ $rc = 0 ] || cp "$WORK/xvfb.log" "$OUT/" 2>/dev/null || true
    # The VM powers off after us and takes everything with it; only the
    # receiver is stopped properly, so that its report is written.
    [ -z "${RX_PID:-}" ] || stop_receiver
    [ -z "${APP_PID:-}" ] || kill -KILL "$APP_PID" 2>/dev/null || true
}

# start_receiver [--wait-timeout SEC]: the receiver records into $OUT/rx.raw
# and $OUT/rx.report; its live count is in $WORK/rx.progress.
start_receiver() {
    "$RECEIVER" --name "$RECEIVER_NAME" --raw "$OUT/rx.raw" --report "$OUT/rx.report" \
        --progress "$WORK/rx.progress" --ready-file "$WORK/rx.ready" --idle-timeout 3 "$@" \
        2>"$OUT/rx.log" &
    RX_PID=$!
    wait_until 10 test -s "$WORK/rx.ready" || fail "the receiver did not start: $(cat "$OUT/rx.log")"
}

stop_receiver() {
    kill -TERM "$RX_PID" 2>/dev/null || true
    wait "$RX_PID" 2>/dev/null || true
    RX_PID=
}

# wait_receiver: after the sender is gone. The receiver stops by itself 3 s
# after the last byte; if nothing came at all, there is nothing to wait for.
wait_receiver() {
    wait_until 3 received_at_least 1 || true
    [ "$(received_messages)" != 0 ] || kill -TERM "$RX_PID" 2>/dev/null || true
    wait "$RX_PID" || true
    RX_PID=
}

received_messages() { awk '{ print $2 }' "$WORK/rx.progress" 2>/dev/null; }
received_at_least() { [ "$(received_messages)" -ge "$1" ]; }

# output_id: the number --outputid takes for the receiver, from --list-outputs
output_id() {
    local rc=0
    timeout 60 "$APP" --list-outputs >"$OUT/outputs.txt" 2>"$OUT/list-outputs.err" || rc=$?
    [ $rc = 0 ] || fail "--list-outputs failed with status $rc: $(cat "$OUT/list-outputs.err")"
    note "outputs: $(tr '\t\n' ' ;' <"$OUT/outputs.txt")" >&2
    local n
    n=$(awk -F'\t' -v name="$RECEIVER_NAME" 'index($2, name) { print $1 }' "$OUT/outputs.txt")
    [ "$(echo "$n" | wc -w)" = 1 ] || fail "the receiver is listed $(echo "$n" | wc -w) times in: $(cat "$OUT/outputs.txt")"
    echo "$n"
}

# other_windows: visible top-level windows other than the root and the main
# one (a message box has the title it is given)
other_windows() {
    local x root
    root=$(($(xwininfo -root | awk '/Window id:/ { print $4 }')))
    for x in $(visible_windows); do
        [ "$x" = "$root" ] || [ "$(xdotool getwindowname "$x" 2>/dev/null)" = "$MAIN_TITLE" ] || echo "$x"
    done
}

# window_to_origin WINDOW: moves it to 0,0 (where the tests' coordinates
# are) and the pointer into it, until it stays there: JUCE centres a window
# after showing it, which can come after a first move on a slow machine
window_to_origin() {
    local try
    for try in 1 2 3 4 5 6 7 8 9 10; do
        xdotool windowmove "$1" 0 0 mousemove --window "$1" 300 40
        sleep 0.3
        [ "$(xdotool getwindowgeometry "$1" | awk '/Position:/ { print $2 }')" = 0,0 ] && return 0
    done
    fail "the window $1 would not stay at 0,0"
}

# close_main_window TITLE: a person's click on the close button of the
# window with that title (see screen.py close); fails if it stays open
close_main_window() {
    /usr/bin/python3 "$SCREEN" close "$1" 20 >"$WORK/close.out" || fail "cannot close '$1': $(cat "$WORK/close.out")"
}

# dismiss_box WINDOW: Return on a message box until it is gone (a key JUCE
# has read but not handled takes effect with the next event)
dismiss_box() {
    local box=$1 try
    for try in 1 2 3; do
        xdotool key --window "$box" Return mousemove_relative 1 0 mousemove_relative -- -1 0 2>/dev/null || true
        wait_until 5 eval '[ -z "$(other_windows)" ]' && return 0
    done
    fail "the box $box did not go on Return"
}

# wait_exit PID SEC: waits for the program to end; sets EXIT_STATUS to its
# exit status, "signal-N" or "running". Not in a subshell: only the shell
# that started the program can collect its status.
wait_exit() {
    local rc=0
    EXIT_STATUS=running
    wait_until "$2" eval '! kill -0 '"$1"' 2>/dev/null' || return 0
    wait "$1" || rc=$?
    if [ $rc -le 128 ]; then EXIT_STATUS=$rc; else EXIT_STATUS=signal-$((rc - 128)); fi
}

# button_rgb FILE: the mean colour of the update button's patch as "R G B"
button_rgb() {
    /usr/bin/convert "$1" -crop "$BUTTON_PATCH" -resize '1x1!' -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:
}

# is_green / is_red "R G B": clearly that hue, whatever the shading
is_green() { set -- $1; [ $(($2 - $1)) -ge 25 ] && [ $(($2 - $3)) -ge 25 ]; }
is_red() { set -- $1; [ $(($1 - $2)) -ge 25 ] && [ $(($1 - $3)) -ge 25 ]; }

# button_is_green / button_is_red: what the update button shows now
button_is_green() { screenshot "$WORK/button.png" && is_green "$(button_rgb "$WORK/button.png")"; }
button_is_red() { screenshot "$WORK/button.png" && is_red "$(button_rgb "$WORK/button.png")"; }

# choose_output ROW: chooses entry ROW of the main window's output list with
# the keyboard, as a person would: 0 is "(Disconnected)", then the outputs in
# the order of --list-outputs. Every key press is checked on the popup's
# highlighted row (the popup takes keys only once it is up), and the choice
# on the popup closing; see screen.py.
choose_output() {
    NIMBO_SCREEN_LOG=1 /usr/bin/python3 "$SCREEN" choose "$MAIN_TITLE" $COMBO_X $COMBO_Y "$1" 30 >"$WORK/choose.out" 2>>"$OUT/choose.log" ||
        fail "cannot choose entry $1 of the output list: $(cat "$WORK/choose.out")"
}

# pick_output ROW [SEC]: the same with the mouse (see screen.py pick), within
# SEC (30) s; what it saw and did is in choose.log too
pick_output() {
    NIMBO_SCREEN_LOG=1 /usr/bin/python3 "$SCREEN" pick "$MAIN_TITLE" $COMBO_X $COMBO_Y "$1" "${2:-30}" >"$WORK/choose.out" 2>>"$OUT/choose.log" ||
        fail "cannot pick entry $1 of the output list: $(cat "$WORK/choose.out")"
}

# press_update WINDOW: a click on the update button, then the pointer out of
# the way, so that neither hover nor a tooltip changes what the window shows
press_update() {
    xdotool mousemove --window "$1" $BUTTON_X $BUTTON_Y click 1 mousemove --window "$1" 300 40
}

# make_other_image FILE: a valid image of 20 SysEx messages of 3..599
# bytes (OTHER_IMAGE_MESSAGES), its content unlike the built-in image's
OTHER_IMAGE_MESSAGES=20
make_other_image() {
    local i j n s b
    for ((i = 0; i < OTHER_IMAGE_MESSAGES; i++)); do
        n=$(((i * 211) % 597 + 1))
        s='\xf0\x7d'
        for ((j = 1; j < n; j++)); do
            printf -v b '\\x%02x' $(((i * 13 + j * 29) & 0x7f))
            s+=$b
        done
        printf '%b' "$s\\xf7"
    done >"$1"
}

# Byte-exact delivery, framing and message count, with the figures printed.
# check_delivery EXPECTED MESSAGES [NAME]: NAME.report and NAME.raw in $OUT
# (default rx)
check_delivery() {
    local expected=$1 messages=$2 r=$OUT/${3:-rx}.report raw=$OUT/${3:-rx}.raw
    [ -f "$r" ] || fail "the receiver wrote no report"
    note "received $(report_value messages "$r") messages, $(report_value bytes "$r") bytes," \
         "first->last byte $(report_value first_to_last_s "$r") s," \
         "gap ms min/median/mean/p99/max $(report_value gap_ms_min "$r")/$(report_value gap_ms_median "$r")/$(report_value gap_ms_mean "$r")/$(report_value gap_ms_p99 "$r")/$(report_value gap_ms_max "$r")" \
         "($(report_value clock "$r") clock)"
    cmp "$expected" "$raw" || fail "the bytes received differ from $expected ($(stat -c %s "$raw") of $(stat -c %s "$expected") bytes)"
    [ "$(report_value messages "$r")" = "$messages" ] || fail "$(report_value messages "$r") messages arrived, $messages expected"
    [ "$(report_value framed "$r")" = yes ] || fail "$(report_value unframed "$r") messages were not clean F0..F7 SysEx"
}

check_nothing_received() {
    [ -f "$OUT/rx.report" ] || fail "the receiver wrote no report"
    local b
    b=$(report_value bytes "$OUT/rx.report")
    [ "$b" = 0 ] || fail "$b bytes were sent, none expected"
    note "nothing was sent"
}
