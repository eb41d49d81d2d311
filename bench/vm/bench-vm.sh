#!/bin/bash
# The upload's pacing side by side, in one VM run: the updater and a minimal
# sender of our own on the same path to the same receiver, for the Linux
# build (JUCE's ALSA sequencer output; min-sender-alsa.c) and for the Windows
# .exe under Wine (WinMM, which Wine maps onto the same sequencer;
# min-sender-winmm.c). Three rounds, the four senders in turn in each, so a
# change in the machine's load falls on all of them alike. Prints each run's
# first->last byte and gaps, then per path the medians and the ratio
# updater / minimal sender.
#
#   bench/vm/bench-vm.sh APP ARTIFACT_DIR
#     EXE (environment): the Windows build, by default
#     build-windows/app/NimboSwUpdaterApp_artefacts/Release/NimboSwUpdater.exe
set -euo pipefail
source "$(dirname "$0")/../../tests/e2e/lib.sh"
source "$SOURCE_DIR/tests/windows/wine-env.sh"
TEST_TAG=bench

BENCH_DIR=$SOURCE_DIR/bench/vm
EXE=$(realpath -m "${EXE:-$SOURCE_DIR/build-windows/app/NimboSwUpdaterApp_artefacts/Release/NimboSwUpdater.exe}")
ROUNDS=${ROUNDS:-3}
# Wine dies at once on a CPU with SMAP under emulation (see vm-run).
VM_ARGS=(--cpu max,-smap --env "EXE=$EXE" --env "ROUNDS=$ROUNDS")
E2E_VM_TIMEOUT=${E2E_VM_TIMEOUT:-1500}

host_prepare() {
    [ -f "$EXE" ] || fail "no Windows build at $EXE (make windows)"
    gcc -O2 -Wall -Wextra -o "$OUT/min-sender-alsa" "$BENCH_DIR/min-sender-alsa.c" -lasound ||
        fail "cannot build min-sender-alsa"
    x86_64-w64-mingw32-gcc -O2 -Wall -Wextra -o "$OUT/min-sender-winmm.exe" "$BENCH_DIR/min-sender-winmm.c" -lwinmm ||
        fail "cannot build min-sender-winmm.exe"
    wine_prefix "$OUT/prefix" >/dev/null || fail "cannot make a Wine prefix: $(tail -3 "$OUT/prefix.log")"
}

# wine_run SEC PROGRAM ARGS...: a Windows program from the guest's memory
# (started from a 9p share, Wine maps the image with zero pages)
wine_run() {
    local limit=$1
    shift
    (cd "$WORK" && exec timeout "$limit" wine "$@")
}

# one_run NAME ROUND COMMAND...: the receiver, then COMMAND as the sender;
# keeps the receiver's report as NAME-ROUND.report once all 495 messages
# arrived intact and the sender has ended (Wine's exit status is not the
# program's in this VM, so it is not looked at for the .exe's).
one_run() {
    local name=$1 round=$2 pid
    shift 2
    rm -f "$WORK/rx.progress" "$WORK/rx.ready"
    start_receiver --wait-timeout 300
    "$@" >"$OUT/$name-$round.out" 2>"$OUT/$name-$round.err" &
    pid=$!
    wait_until 300 received_at_least 495 || fail "$name, round $round: $(received_messages) of 495 messages arrived"
    wait_until 60 eval '! kill -0 '"$pid"' 2>/dev/null' || fail "$name, round $round: still running 60 s after the last byte"
    wait "$pid" || true
    wait_receiver
    cmp -s "$OUT/rx.raw" "$BUILTIN_IMAGE" || fail "$name, round $round: the bytes received differ from the image"
    mv "$OUT/rx.report" "$OUT/$name-$round.report"
    note "$(printf '%-16s round %s: first->last %s s, gap ms min/median/p99/max %s/%s/%s/%s' "$name" "$round" \
        "$(report_value first_to_last_s "$OUT/$name-$round.report")" \
        "$(report_value gap_ms_min "$OUT/$name-$round.report")" "$(report_value gap_ms_median "$OUT/$name-$round.report")" \
        "$(report_value gap_ms_p99 "$OUT/$name-$round.report")" "$(report_value gap_ms_max "$OUT/$name-$round.report")")"
}

# median_of NAME: the median first->last byte of NAME's rounds
median_of() {
    local r
    for r in $(seq 1 "$ROUNDS"); do report_value first_to_last_s "$OUT/$1-$r.report"; done |
        sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

guest_test() {
    cp "$EXE" "$WORK/app.exe"
    cp "$OUT/min-sender-winmm.exe" "$WORK/min-sender-winmm.exe"
    cp -a "$OUT/prefix" "$WORK/prefix"
    export WINEPREFIX=$WORK/prefix
    cp "$BUILTIN_IMAGE" "$WORK/image.syx"

    # The output numbers, once: Linux lists the receiver as the JUCE build
    # does, Wine as its WinMM driver does.
    rm -f "$WORK/rx.progress" "$WORK/rx.ready"
    start_receiver --wait-timeout 300
    local linux_id wine_id
    linux_id=$(output_id)
    wine_run 120 "$WORK/app.exe" --list-outputs | tr -d '\r' >"$OUT/wine-outputs.txt" || true
    wine_id=$(awk -F'\t' -v name="$RECEIVER_NAME" 'index($2, name) { print $1 }' "$OUT/wine-outputs.txt")
    [ "$(echo "$wine_id" | wc -w)" = 1 ] || fail "Wine does not list the receiver once: $(cat "$OUT/wine-outputs.txt")"
    stop_receiver
    note "the receiver is output $linux_id on Linux, $wine_id under Wine"

    local round
    for round in $(seq 1 "$ROUNDS"); do
        one_run linux-updater "$round" timeout 300 "$APP" --autoupdate --outputid "$linux_id"
        one_run linux-minimal "$round" timeout 300 "$OUT/min-sender-alsa" "$RECEIVER_NAME" "$WORK/image.syx"
        one_run wine-updater "$round" wine_run 300 "$WORK/app.exe" --autoupdate --outputid "$wine_id"
        one_run wine-minimal "$round" wine_run 300 "$WORK/min-sender-winmm.exe" "$RECEIVER_NAME" 'image.syx'
    done

    local path updater minimal
    for path in linux wine; do
        updater=$(median_of "$path-updater")
        minimal=$(median_of "$path-minimal")
        note "$(printf '%-5s median of %s: updater %s s, minimal sender %s s, ratio %s' "$path" "$ROUNDS" \
            "$updater" "$minimal" "$(awk -v a="$updater" -v b="$minimal" 'BEGIN { printf "%.3f", a / b }')")" |
            tee -a "$OUT/summary.txt"
    done
}

e2e_main "$@"
