#!/bin/bash
# The Windows .exe under Wine, against the real ALSA sequencer in the VM
# (Wine's WinMM driver maps midiOut* onto it): --list-outputs names the
# receiver, and --autoupdate --outputid N delivers the built-in image byte
# for byte in 495 messages, through the program's own WinMM port.
#
#   tests/e2e/wine-autoupdate.sh PATH/TO/NimboSwUpdater.exe ARTIFACT_DIR
#
# Wine's exit status is not the program's in this VM: Wine's own teardown
# faults under emulation after the program has returned, in most runs. So
# "ended by itself" is judged on what the program did: its outcome line says
# "completed" with status 0, every byte arrived, and the process was gone
# within 60 s of the last byte without being signalled.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$E2E_SRC/tests/windows/wine-env.sh"

# Wine dies at once on a CPU with SMAP under emulation (see vm-run).
VM_ARGS=(--cpu max,-smap)

host_prepare() {
    # A prefix made once here (Wine takes seconds to make one, minutes under
    # emulation), copied into the guest's memory there.
    wine_prefix "$OUT/prefix" >/dev/null || fail "cannot make a Wine prefix: $(tail -3 "$OUT/prefix.log")"
}

# wine_app SEC ARGS...: the .exe for at most SEC s, from the guest's memory
# (started from a 9p share, Wine maps the image with zero pages)
wine_app() {
    local limit=$1
    shift
    (cd "$WORK" && exec timeout "$limit" wine "$WORK/app.exe" "$@")
}

guest_test() {
    cp "$APP" "$WORK/app.exe"
    cp -a "$OUT/prefix" "$WORK/prefix"
    note "the program and the Wine prefix copied in after $SECONDS s"
    export WINEPREFIX=$WORK/prefix

    start_receiver --wait-timeout 300
    local id
    wine_app 120 --list-outputs >"$OUT/outputs.txt" 2>"$OUT/list-outputs.err" || true
    tr -d '\r' <"$OUT/outputs.txt" >"$OUT/outputs.lf"
    note "outputs: $(tr '\t\n' ' ;' <"$OUT/outputs.lf")"
    id=$(awk -F'\t' -v name="$RECEIVER_NAME" 'index($2, name) { print $1 }' "$OUT/outputs.lf")
    [ "$(echo "$id" | wc -w)" = 1 ] || fail "the receiver is not listed once by --list-outputs"
    note "listed as output $id after $SECONDS s"

    local t0=$SECONDS rc=0
    wine_app 400 --autoupdate --outputid "$id" >"$OUT/autoupdate.out" 2>"$OUT/autoupdate.err" &
    APP_PID=$!
    wait_until 240 received_at_least 495 || fail "$(received_messages) of 495 messages arrived within 240 s"
    local last=$SECONDS
    wait_until 60 eval '! kill -0 "$APP_PID" 2>/dev/null' || fail "the program was still running 60 s after the last byte"
    wait "$APP_PID" || rc=$?
    APP_PID=
    note "the program ended by itself $((SECONDS - last)) s after the last byte, $((SECONDS - t0)) s after its start (Wine's status: $rc)"
    wait_receiver
    check_delivery "$BUILTIN_IMAGE" 495

    local line
    line=$(tr -d '\r' <"$OUT/autoupdate.out" | grep '^NimboSwUpdater: outcome=' || true)
    note "$line"
    case "$line" in
        "NimboSwUpdater: outcome=completed status=0 "*" messages=495 bytes=295325") ;;
        *) fail "no outcome line of a completed update: $(tr -d '\r' <"$OUT/autoupdate.out" | head -3)" ;;
    esac
}

# Wine starts slowly under emulation, and the upload takes longer there.
E2E_VM_TIMEOUT=${E2E_VM_TIMEOUT:-600}
e2e_main "$@"
