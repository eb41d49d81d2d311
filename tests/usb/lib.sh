# Sourced by the USB pedal tests. A test is one bash file that defines
#   guest_test     runs inside the VM, with a display, once the pedal is built
# and ends with `usb_main "$@"`. Called as:  TEST.sh APP ARTIFACT_DIR
# Like the end-to-end tests (tests/e2e/lib.sh, whose helpers these use), the
# same file runs twice: here, where it builds the pedal and boots the VM
# (tests/e2e/vm-run), and inside the VM, where it plugs the pedal in with
# usb_plug_in and does the test. Results stay in ARTIFACT_DIR/<test name>/.
#
# The pedal (usb-pedal.c) is a real USB MIDI device on the VM's dummy USB
# controller, with flow control: snd-usb-audio makes it a sound card, so the
# updater sees a hardware port, and a pedal that reads slowly makes the host
# wait instead of taking everything.

USB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$USB_DIR/../e2e/lib.sh"
PEDAL_PORT="Nimbo Test Pedal MIDI 1"
TRACING=/sys/kernel/tracing

note() { echo "usb: $*"; }

usb_main() {
    [ $# -eq 2 ] || { echo "usage: $0 APP ARTIFACT_DIR" >&2; exit 2; }
    APP=$1
    ART=$2
    TEST_NAME=$(basename "$0" .sh)
    OUT=$ART/$TEST_NAME
    PEDAL=$ART/usb-pedal
    if [ -z "${NIMBO_E2E_VM:-}" ]; then
        usb_host
    else
        usb_guest
    fi
}

usb_host() {
    [ -x "$APP" ] || fail "no program at $APP"
    "$E2E_DIR/install-deps.sh" --check >&2 || fail "the harness is not installed: run tests/e2e/install-deps.sh"
    mkdir -p "$ART"
    ART=$(cd "$ART" && pwd -P)
    OUT=$ART/$TEST_NAME
    PEDAL=$ART/usb-pedal
    (
        flock 9
        if [ ! -x "$PEDAL" ] || [ "$USB_DIR/usb-pedal.c" -nt "$PEDAL" ]; then
            gcc -O2 -Wall -Wextra -o "$PEDAL.new" "$USB_DIR/usb-pedal.c" -lpthread -lm && mv "$PEDAL.new" "$PEDAL"
        fi
    ) 9>"$ART/.usb-pedal.lock" || fail "cannot build the pedal"
    rm -rf "$OUT"
    mkdir -p "$OUT"
    local app
    app=$(cd "$(dirname "$APP")" && pwd -P)/$(basename "$APP")
    exec "$E2E_DIR/vm-run" -v --timeout "${USB_VM_TIMEOUT:-300}" --share "$ART" -- bash "$USB_DIR/$TEST_NAME.sh" "$app" "$ART"
}

usb_guest() {
    WORK=$(mktemp -d /tmp/nimbo-usb.XXXXXX)
    trap usb_guest_cleanup EXIT
    start_display
    guest_test
}

usb_guest_cleanup() {
    [ -z "${APP_PID:-}" ] || kill -KILL "$APP_PID" 2>/dev/null || true
    # Stopped properly, so that its report is written.
    if [ -n "${PEDAL_PID:-}" ]; then
        kill -TERM "$PEDAL_PID" 2>/dev/null || true
        wait "$PEDAL_PID" 2>/dev/null || true
    fi
}

# usb_plug_in [PEDAL OPTION...]: loads the USB stack, starts the pedal (it
# plugs itself in) and waits until the host has made it a sound card with a
# sequencer port. The pedal records into $OUT/rx.raw and $OUT/rx.report.
usb_plug_in() {
    modprobe snd-seq-midi && modprobe dummy_hcd is_high_speed=0 is_super_speed=0 &&
        modprobe snd-usb-audio && modprobe gadgetfs || fail "cannot load the USB modules"
    mkdir -p /dev/gadget
    mount -t gadgetfs none /dev/gadget || fail "cannot mount gadgetfs"
    "$PEDAL" --raw "$OUT/rx.raw" --report "$OUT/rx.report" --progress "$WORK/rx.progress" \
        --ready-file "$WORK/pedal.ready" "$@" 2>"$OUT/pedal.log" &
    PEDAL_PID=$!
    wait_until 30 test -s "$WORK/pedal.ready" || fail "the host did not take the pedal: $(cat "$OUT/pedal.log")"
    wait_until 30 grep -q "\"$PEDAL_PORT\"" /proc/asound/seq/clients || fail "the pedal has no sequencer port"
    note "pedal plugged in: $(amidi -l | grep -F "$PEDAL_PORT" | tr -s ' ')"
}

# wait_pedal: waits until the pedal has ended by itself (all bytes, idle or unplugged)
wait_pedal() {
    wait "$PEDAL_PID" || true
    PEDAL_PID=
}

# pedal_output_id: the number --outputid takes for the pedal, from --list-outputs
pedal_output_id() {
    "$APP" --list-outputs >"$OUT/outputs.txt" 2>"$OUT/list-outputs.err" || fail "--list-outputs failed: $(cat "$OUT/list-outputs.err")"
    local n
    n=$(awk -F'\t' -v name="$PEDAL_PORT" '$2 == name { print $1 }' "$OUT/outputs.txt")
    [ "$(echo "$n" | wc -w)" = 1 ] || fail "the pedal is listed $(echo "$n" | wc -w) times in: $(cat "$OUT/outputs.txt")"
    echo "$n"
}

# The kernel's trace of the program's writes, ioctls and polls, and of the upload
# worker's clock reads (a uprobe on juce::Time::getMillisecondCounterHiRes:
# the send start it paces from), on the CLOCK_MONOTONIC clock the pedal
# stamps with. The sender's side of the timing, without touching the program.
trace_prepare() {
    mountpoint -q "$TRACING" || mount -t tracefs nodev "$TRACING" || fail "no tracefs"
    echo 0 >"$TRACING/tracing_on"
    echo mono >"$TRACING/trace_clock"
    echo 8192 >"$TRACING/buffer_size_kb"
    echo 1 >"$TRACING/options/event-fork"
    local e offset
    for e in sys_enter_write sys_exit_write sys_enter_ioctl sys_exit_ioctl sys_enter_poll sys_exit_poll; do
        echo 1 >"$TRACING/events/syscalls/$e/enable"
    done
    offset=$(/usr/bin/python3 "$USB_DIR/sender-trace.py" --offset "$APP" 'juce::Time::getMillisecondCounterHiRes()') ||
        fail "cannot find the worker's clock in $APP"
    echo "p:nimbo/clock $APP:$offset" >"$TRACING/uprobe_events" || fail "cannot set the uprobe"
    echo 1 >"$TRACING/events/nimbo/clock/enable"
    : >"$TRACING/trace"
}

# start_update [OPTION...]: the program with --autoupdate to the pedal, traced
start_update() {
    local id
    id=$(pedal_output_id) || exit 1
    note "pedal is output $id of: $(tr '\t\n' ' ;' <"$OUT/outputs.txt")"
    trace_prepare
    "$APP" --autoupdate --outputid "$id" "$@" >"$OUT/app.log" 2>&1 &
    APP_PID=$!
    # Threads the program starts from now on are traced too (event-fork);
    # the upload's thread comes seconds later.
    echo "$APP_PID" >"$TRACING/set_event_pid"
    echo 1 >"$TRACING/tracing_on"
    APP_T0=$SECONDS
}

# wait_app SEC: waits up to SEC s for the program to end; sets APP_RC to its
# exit status, or to "running"
wait_app() {
    APP_RC=running
    if wait_until "$1" eval '! kill -0 "$APP_PID" 2>/dev/null'; then
        APP_RC=0
        wait "$APP_PID" || APP_RC=$?
        APP_PID=
    fi
}

# check_rawmidi_sending: while the upload runs, the program must hold the
# pedal's rawmidi device open, and JUCE must not hold its sequencer port
# (that would show as a subscription to the port). Sets SENDING_PROBLEM to
# what is wrong, or leaves it empty, so that a test can go on and show what
# the pedal got all the same.
check_rawmidi_sending() {
    SENDING_PROBLEM=
    if ! wait_until 60 eval 'ls -l /proc/$APP_PID/fd 2>/dev/null | grep -q /dev/snd/midiC'; then
        SENDING_PROBLEM="the program did not open the pedal's rawmidi device"
        note "$SENDING_PROBLEM"
        return
    fi
    note "the program writes to $(ls -l /proc/"$APP_PID"/fd | grep -o '/dev/snd/midiC[0-9]*D[0-9]*')"
    cp /proc/asound/seq/clients "$OUT/seq-clients.txt"
    awk -v port="\"$PEDAL_PORT\"" 'index($0, port) { inport = 1; next } /^  Port|^Client/ { inport = 0 } inport && /Connected From/ { found = 1 } END { exit found }' \
        "$OUT/seq-clients.txt" || SENDING_PROBLEM="the pedal's sequencer port is subscribed while the program sends (see seq-clients.txt)"
}

# trace_finish: stops the trace and writes $OUT/sender.report from it
trace_finish() {
    echo 0 >"$TRACING/tracing_on"
    cp "$TRACING/trace" "$OUT/sender.trace"
    /usr/bin/python3 "$USB_DIR/sender-trace.py" "$OUT/sender.trace" >"$OUT/sender.report" || fail "cannot read the trace"
}

# kernel_overruns: how often the sequencer's MIDI bridge dropped data; the
# kernel rate-limits the message, so suppressed ones count too
kernel_overruns() {
    dmesg >"$OUT/dmesg.txt"
    awk '/MIDI output buffer overrun/ { n++ }
         /dump_midi: [0-9]+ callbacks suppressed/ { for (i = 1; i < NF; i++) if ($(i + 1) == "callbacks") n += $i }
         END { print n + 0 }' "$OUT/dmesg.txt"
}

# check_full_update RATE SEC: the whole built-in image, with the pedal
# reading RATE bytes/s, must arrive intact, paced and without any loss; the
# program must quit by itself within SEC s. Prints the figures first, so a
# failing run still shows what arrived.
check_full_update() {
    local rate=$1 limit=$2 overruns s=$OUT/sender.report r=$OUT/rx.report
    usb_plug_in --rate "$rate" --expect "$BUILTIN_IMAGE" --wait-timeout "$limit" --idle-timeout 10
    start_update
    check_rawmidi_sending
    wait_app "$limit"
    local took=$((SECONDS - APP_T0))
    trace_finish
    wait_pedal
    overruns=$(kernel_overruns)
    note "the program $([ "$APP_RC" = running ] && echo "was still running after $limit s" || echo "exited with $APP_RC after $took s")"
    note "pedal at $rate B/s: $(report_value intact "$r")/495 messages intact, $(report_value bytes "$r") of 295325 bytes," \
         "first->last byte $(report_value first_to_last_s "$r") s, $(report_value average_bytes_per_s "$r") B/s on average"
    note "sender: $(report_value sends "$s") sends, first->last $(report_value first_to_last_s "$s") s," \
         "start-to-start gap ms min/median/max $(report_value gap_ms_min "$s")/$(report_value gap_ms_median "$s")/$(report_value gap_ms_max "$s")," \
         "$(report_value gaps_below_15ms "$s") below 15 ms; a send took $(report_value send_ms_median "$s") ms (median), at most $(report_value send_ms_max "$s") ms"
    note "kernel: $overruns MIDI output buffer overruns"
    [ "$APP_RC" = 0 ] || fail "the program did not quit by itself with 0 after the update"
    check_delivery "$BUILTIN_IMAGE" 495
    [ "$(report_value intact "$r")" = 495 ] || fail "$(report_value intact "$r") of 495 messages arrived intact"
    [ "$overruns" = 0 ] || fail "the kernel dropped MIDI data $overruns times: $(grep -i midi "$OUT/dmesg.txt" | tail -3)"
    [ -z "$SENDING_PROBLEM" ] || fail "$SENDING_PROBLEM"
    [ "$(report_value sends "$s")" = 495 ] || fail "$(report_value sends "$s") sends to the rawmidi device, 495 expected"
    [ "$(report_value send_result "$s")" = ok ] || fail "a send ended $(report_value send_result "$s")"
    [ "$(report_value gaps_below_15ms "$s")" = 0 ] || fail "$(report_value gaps_below_15ms "$s") start-to-start gaps below 15 ms"
}

# check_slow_pedal RATE TIMEOUT: the whole image to a pedal reading RATE bytes/s.
check_slow_pedal() {
    local RATE=$1
    check_full_update $RATE "$2"
    local average median need
    average=$(report_value average_bytes_per_s "$OUT/rx.report")
    awk -v a="$average" -v r=$RATE 'BEGIN { exit !(a <= r * 1.02) }' || fail "the pedal read $average bytes/s, more than $RATE"
    # A 599-byte message keeps the pedal busy this long; a send that returned
    # sooner would have left the bytes for someone else to drop.
    median=$(report_value send_ms_median "$OUT/sender.report")
    need=$(awk -v r=$RATE 'BEGIN { printf "%.1f", 599 / r * 1000 }')
    awk -v m="$median" -v n="$need" 'BEGIN { exit !(m >= 0.5 * n) }' ||
        fail "a send took $median ms (median), but the pedal needs $need ms for a 599-byte message"
    note "a 599-byte message needs $need ms at $RATE B/s; the whole image $(awk -v r=$RATE 'BEGIN { printf "%.1f", 295325 / r }') s"
}
