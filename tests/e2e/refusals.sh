#!/bin/bash
# An automatic update sends the image it was asked to send, or nothing. With a
# --file that cannot be used (missing, a folder, unreadable for the user who
# runs the program, over the size limit, and the slip "--file x.syx
# --autoupdate", where the path swallows the option), with an image that is
# refused, and with an output number that does not exist: the outcome line
# comes while the window is still open, nothing reaches the receiver for 15 s
# (also after the box is dismissed, when the built-in image used to go out),
# and once the window is closed the exit status says why. --list-outputs
# answers meanwhile. All in one VM.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

QUIET_S=15
: "${E2E_VM_TIMEOUT:=420}"

host_prepare() {
    head -c 5998 "$BUILTIN_IMAGE" >"$OUT/bad.syx" # ten whole messages and one without its F7
}

# refusal NAME STATUS WORD FILE TITLE BOX [--as-nobody] -- ARGS...: one start
# of the program with ARGS, which must print one outcome line with WORD and
# STATUS (and file="FILE" unless FILE is -), show a box unless BOX is
# "nobox", keep a window titled TITLE open with nothing sent for QUIET_S
# seconds, and end with STATUS when that window is closed.
refusal() {
    local name=$1 status=$2 word=$3 file=$4 title=$5 box=$6 user=() t0 line rc
    shift 6
    if [ "$1" = --as-nobody ]; then
        user=(setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp)
        shift
    fi
    shift # --
    t0=$SECONDS
    "${user[@]}" "$APP" "$@" >"$OUT/$name.out" 2>"$OUT/$name.err" &
    APP_PID=$!
    wait_until 60 grep -q '^NimboSwUpdater: outcome=' "$OUT/$name.out" ||
        fail "$name: no outcome line within 60 s ($(tail -n 3 "$OUT/$name.err"))"
    line=$(outcome_lines "$OUT/$name.out")
    note "$name: $line"
    case $line in
        "NimboSwUpdater: outcome=$word status=$status "*) ;;
        *) fail "$name: outcome=$word status=$status expected" ;;
    esac
    [ "$file" = - ] || [[ $line == *" file=\"$file\" output=$OUTPUT_ID output_name=\"$RECEIVER_NAME\" messages=0 bytes=0" ]] ||
        fail "$name: not the file, output and counts expected"

    if [ "$box" != nobox ]; then
        wait_until 30 eval '[ -n "$(other_windows)" ]' || fail "$name: no box within 30 s"
        screenshot "$OUT/$name-box.png"
        if [ "$name" = missing ]; then
            # The program is up with a window and a box: --list-outputs must
            # still answer, at once and without a window of its own.
            [ "$(output_id)" = "$OUTPUT_ID" ] || fail "--list-outputs while a window is open named another output"
            note "--list-outputs answered while the window was open"
        fi
        dismiss_box "$(other_windows | head -1)"
    fi
    find_window "^$title\$" 30 >/dev/null

    # The built-in image used to go out right after the box.
    ! wait_until $((t0 + QUIET_S - SECONDS)) received_at_least 1 ||
        fail "$name: $(received_messages) messages reached the receiver"
    [ $((SECONDS - t0)) -ge $QUIET_S ] || fail "$name: waited only $((SECONDS - t0)) s"
    kill -0 "$APP_PID" 2>/dev/null || fail "$name: the program ended before its window was closed"
    screenshot "$OUT/$name.png"

    close_main_window "$title"
    wait_exit "$APP_PID" 20
    rc=$EXIT_STATUS
    APP_PID=
    note "$name: exit status $rc"
    [ "$rc" = "$status" ] || fail "$name: exit status $rc, $status expected"
    [ "$(outcome_lines "$OUT/$name.out" | wc -l)" = 1 ] || fail "$name: $(outcome_lines "$OUT/$name.out" | wc -l) outcome lines"
}

guest_test() {
    start_receiver --idle-timeout 3600
    OUTPUT_ID=$(output_id) || exit 1
    [ "$(wc -l <"$OUT/outputs.txt")" -lt 99 ] || fail "99 outputs: 99 would be a real one"
    local auto=(--autoupdate --outputid "$OUTPUT_ID")

    mkdir -p "$WORK/folder" "$WORK/slip"
    truncate -s $((16 * 1024 * 1024 + 1)) "$WORK/huge.syx"
    # A valid image: only the slip stands between it and the receiver.
    cp "$BUILTIN_IMAGE" "$WORK/slip/x.syx"
    # Readable for root only, in a folder anyone may enter.
    mkdir -p /tmp/nimbo-locked
    chmod 755 /tmp/nimbo-locked
    install -m 600 "$BUILTIN_IMAGE" /tmp/nimbo-locked/locked.syx

    refusal missing 3 unusable-file "$WORK/missing.syx" "$MAIN_TITLE" box -- "${auto[@]}" --file "$WORK/missing.syx"
    refusal folder 3 unusable-file "$WORK/folder" "$MAIN_TITLE" box -- "${auto[@]}" --file "$WORK/folder"
    refusal too-large 3 unusable-file "$WORK/huge.syx" "$MAIN_TITLE" box -- "${auto[@]}" --file "$WORK/huge.syx"
    cd "$WORK/slip"
    refusal slip 3 unusable-file "x.syx --autoupdate" "$MAIN_TITLE" box -- --outputid "$OUTPUT_ID" --file x.syx --autoupdate
    cd - >/dev/null
    refusal refused 4 refused-image - "bad version " nobox -- "${auto[@]}" --file "$OUT/bad.syx"
    grep -q " size=5998 sha256=$(sha256sum "$OUT/bad.syx" | cut -d' ' -f1) file=\"$OUT/bad.syx\" .* messages=0 bytes=0\$" \
        "$OUT/refused.out" || fail "refused: the line does not describe bad.syx with nothing sent"
    refusal no-such-output 5 no-output - "$MAIN_TITLE" box -- --autoupdate --outputid 99
    grep -q ' output=99 output_name=- messages=0 bytes=0$' "$OUT/no-such-output.out" ||
        fail "no-such-output: the line does not name output 99 as missing"

    # Another user, who may use the display and the sequencer but not read
    # the file. The single-instance lock file root's runs left is not that
    # user's to open, which would read as "already running".
    chmod a+rw /dev/snd/seq
    rm -f "/var/tmp/juceAppLock_Pedaloft by Morvane"
    setpriv --reuid=65534 --regid=65534 --clear-groups cat /tmp/nimbo-locked/locked.syx >/dev/null 2>&1 &&
        fail "the unprivileged user can read the locked file"
    refusal unreadable 3 unusable-file /tmp/nimbo-locked/locked.syx "$MAIN_TITLE" box --as-nobody -- \
        "${auto[@]}" --file /tmp/nimbo-locked/locked.syx

    stop_receiver
    check_nothing_received
}

e2e_main "$@"
