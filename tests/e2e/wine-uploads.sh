#!/bin/bash
# The Windows .exe under Wine, against the real ALSA sequencer in the VM
# (Wine's WinMM driver maps midiOut* onto it), through the program's own
# WinMM port, all in one VM:
#   - --list-outputs names the receiver;
#   - --autoupdate --outputid N delivers the built-in image byte for byte in
#     495 messages, and the program ends by itself;
#   - the same with --file and another valid image delivers exactly that file;
#   - with --file and an image that is refused, nothing is sent, and the
#     outcome line says why;
#   - started without options, the receiver chosen in the output list with
#     the mouse and the update button clicked, it delivers the image.
#
#   tests/e2e/wine-uploads.sh PATH/TO/NimboSwUpdater.exe ARTIFACT_DIR
#
# Wine's exit status is not the program's in this VM: Wine's own teardown
# faults under emulation after the program has returned, in most runs. So
# "ended by itself" is judged on what the program did: its outcome line says
# "completed" with status 0, every byte arrived, and the process was gone
# within 60 s of the last byte without being signalled.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$SOURCE_DIR/tests/windows/wine-env.sh"

# Wine dies at once on a CPU with SMAP under emulation (see vm-run).
VM_ARGS=(--cpu max,-smap)
QUIET_S=10

host_prepare() {
    # A prefix made once here (Wine takes seconds to make one, minutes under
    # emulation), copied into the guest's memory there.
    wine_prefix "$OUT/prefix" >/dev/null || fail "cannot make a Wine prefix: $(tail -3 "$OUT/prefix.log")"
    make_other_image "$OUT/other.syx"
    head -c 5998 "$BUILTIN_IMAGE" >"$OUT/bad.syx" # ten whole messages and one without its F7
}

# wine_app SEC ARGS...: the .exe for at most SEC s, from the guest's memory
# (started from a 9p share, Wine maps the image with zero pages), in $WORK,
# where the images are too
wine_app() {
    local limit=$1
    shift
    (cd "$WORK" && exec timeout "$limit" wine "$WORK/app.exe" "$@")
}

# menu_stays_closed SEC: no popup menu is shown for SEC s in a row
menu_stays_closed() {
    local until=$((SECONDS + $1))
    while [ $SECONDS -lt $until ]; do
        [ -z "$(xdotool search --onlyvisible --name '^menu$' 2>/dev/null)" ] || return 1
        sleep 0.2
    done
}

# new_receiver: a receiver of its own for the next upload
new_receiver() {
    rm -f "$WORK/rx.ready" "$WORK/rx.progress"
    start_receiver --wait-timeout 300
}

# keep_delivery NAME: the last receiver's recording as NAME.raw / NAME.report
keep_delivery() {
    mv "$OUT/rx.raw" "$OUT/$1.raw"
    mv "$OUT/rx.report" "$OUT/$1.report"
}

# the_outcome NAME: the one outcome line NAME.out has, without Windows' CRs
the_outcome() {
    local line
    line=$(tr -d '\r' <"$OUT/$1.out" | grep "^$OUTCOME_PREFIX" || true)
    [ "$(echo "$line" | wc -l)" = 1 ] || fail "$1: not one outcome line: $(tr -d '\r' <"$OUT/$1.out" | head -3)"
    echo "$line"
}

# unattended NAME MESSAGES ARGS...: an automatic update that must complete
# with MESSAGES messages; the program must then end by itself
unattended() {
    local name=$1 messages=$2 t0=$SECONDS last rc=0
    shift 2
    new_receiver
    wine_app 400 --autoupdate --outputid "$ID" "$@" >"$OUT/$name.out" 2>"$OUT/$name.err" &
    APP_PID=$!
    wait_until 240 received_at_least "$messages" || fail "$name: $(received_messages) of $messages messages arrived within 240 s"
    last=$SECONDS
    wait_until 60 eval '! kill -0 "$APP_PID" 2>/dev/null' || fail "$name: the program was still running 60 s after the last byte"
    wait "$APP_PID" || rc=$?
    APP_PID=
    note "$name: the program ended by itself $((SECONDS - last)) s after the last byte, $((SECONDS - t0)) s after its start (Wine's status: $rc)"
    wait_receiver
    keep_delivery "$name"
}

guest_test() {
    cp "$APP" "$WORK/app.exe"
    cp -a "$OUT/prefix" "$WORK/prefix"
    cp "$OUT/other.syx" "$OUT/bad.syx" "$WORK/"
    note "the program and the Wine prefix copied in after $SECONDS s"
    export WINEPREFIX=$WORK/prefix

    new_receiver
    wine_app 120 --list-outputs >"$OUT/outputs.txt" 2>"$OUT/list-outputs.err" || true
    tr -d '\r' <"$OUT/outputs.txt" >"$OUT/outputs.lf"
    note "outputs: $(tr '\t\n' ' ;' <"$OUT/outputs.lf")"
    ID=$(awk -F'\t' -v name="$RECEIVER_NAME" 'index($2, name) { print $1 }' "$OUT/outputs.lf")
    [ "$(echo "$ID" | wc -w)" = 1 ] || fail "the receiver is not listed once by --list-outputs"
    note "listed as output $ID after $SECONDS s"
    stop_receiver

    local line
    unattended builtin 495
    check_delivery "$BUILTIN_IMAGE" 495 builtin
    line=$(the_outcome builtin)
    note "builtin: $line"
    case "$line" in
        "$OUTCOME_PREFIX"'completed status=0 image="Tremoran Roduza Delay" '*" file=- output=$ID "*" messages=495 bytes=295325") ;;
        *) fail "builtin: not the outcome line of a completed update: $line" ;;
    esac

    # A relative path is taken from the working directory, as on Windows.
    unattended other "$OTHER_IMAGE_MESSAGES" --file other.syx
    check_delivery "$OUT/other.syx" "$OTHER_IMAGE_MESSAGES" other
    line=$(the_outcome other)
    note "other: $line"
    case "$line" in
        "$OUTCOME_PREFIX"'completed status=0 image="other" version="" revision=0 size='"$(stat -c %s "$OUT/other.syx")"' '*' file="other.syx" '*" messages=$OTHER_IMAGE_MESSAGES "*) ;;
        *) fail "other: not the outcome line of the other image: $line" ;;
    esac

    # The refused image: the outcome line comes at once, the window stays
    # open (until a person closes it), and nothing reaches the receiver.
    new_receiver
    wine_app 400 --autoupdate --outputid "$ID" --file bad.syx >"$OUT/refused.out" 2>"$OUT/refused.err" &
    APP_PID=$!
    wait_until 120 eval 'tr -d "\r" 2>/dev/null <"$OUT/refused.out" | grep -q "^$OUTCOME_PREFIX"' ||
        fail "refused: no outcome line within 120 s"
    line=$(the_outcome refused)
    note "refused: $line"
    case "$line" in
        "$OUTCOME_PREFIX"'refused-image status=4 image="bad" '*' file="bad.syx" '*" messages=0 bytes=0") ;;
        *) fail "refused: not the outcome line of a refused image: $line" ;;
    esac
    ! wait_until $QUIET_S received_at_least 1 || fail "refused: $(received_messages) messages arrived after the image was refused"
    screenshot "$OUT/refused.png"
    kill "$APP_PID" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
    APP_PID=
    stop_receiver
    check_nothing_received

    # A person's way: the receiver chosen in the list, the button clicked.
    new_receiver
    (cd "$WORK" && exec wine "$WORK/app.exe") >"$OUT/by-hand.out" 2>"$OUT/by-hand.err" &
    APP_PID=$!
    local w
    w=$(find_window "^$MAIN_TITLE\$" 120)
    window_to_origin "$w"
    wait_until 30 button_is_red || fail "by hand: the update button is not red before an output is chosen (see at-failure.png)"
    # With the mouse: under Wine here the popup took keys only after seconds,
    # then many at once.
    NIMBO_CLICK_PATIENCE_S=30 pick_output "$ID" 90
    wait_until 30 button_is_green || fail "by hand: the update button did not turn green (see at-failure.png)"
    # A click on the list that came late would open it again over the button.
    wait_until 60 menu_stays_closed 3 || fail "by hand: the output list kept opening again (see choose.log)"
    screenshot "$OUT/by-hand-chosen.png"
    press_update "$w"
    wait_until 240 received_at_least 495 || fail "by hand: $(received_messages) of 495 messages arrived within 240 s of the click"
    kill -0 "$APP_PID" 2>/dev/null || fail "by hand: the program quit after the update; it should stay up when started by hand"
    wait_receiver
    keep_delivery by-hand
    check_delivery "$BUILTIN_IMAGE" 495 by-hand
    [ -z "$(tr -d '\r' <"$OUT/by-hand.out" | grep "^$OUTCOME_PREFIX")" ] || fail "by hand: an outcome line without --autoupdate"
}

# Wine starts slowly under emulation, and the uploads take longer there.
E2E_VM_TIMEOUT=${E2E_VM_TIMEOUT:-900}
e2e_main "$@"
