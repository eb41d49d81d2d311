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
# The exit status of a program started with --autoupdate whose main window was
# closed before the upload had completed.
AUTOUPDATE_CLOSED_STATUS=9

TEST_TAG=usb

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
    exec "$E2E_DIR/vm-run" -v --timeout "${USB_VM_TIMEOUT:-270}" --share "$ART" -- bash "$USB_DIR/$TEST_NAME.sh" "$app" "$ART"
}

usb_guest() {
    WORK=$(mktemp -d /tmp/nimbo-usb.XXXXXX)
    trap usb_guest_cleanup EXIT
    start_display "$WORK/xvfb.log" -noreset
    guest_test
}

usb_guest_cleanup() {
    local rc=$?
    # What the screen showed when a test failed is most of the story.
    [ $rc = 0 ] || [ -z "${DISPLAY:-}" ] || screenshot "$OUT/at-failure.png" 2>/dev/null || true
    # The display server's own account, for a program that could not connect.
    [ $rc = 0 ] || cp "$WORK/xvfb.log" "$OUT/" 2>/dev/null || true
    # The kernel's view of plugging, unplugging and the MIDI driver, with its
    # timestamps (the same clock as the pedal's and the trace's).
    [ $rc = 0 ] || dmesg >"$OUT/dmesg-at-failure.txt" 2>/dev/null || true
    [ -z "${APP_PID:-}" ] || kill -KILL "$APP_PID" 2>/dev/null || true
    # Stopped properly, so that its report is written; one stuck in the
    # kernel is left to the VM's power-off.
    if [ -n "${PEDAL_PID:-}" ]; then
        kill -TERM "$PEDAL_PID" 2>/dev/null || true
        if wait_until 10 eval '! kill -0 "$PEDAL_PID" 2>/dev/null'; then wait "$PEDAL_PID" 2>/dev/null || true; fi
    fi
}

# usb_stack: loads the USB stack (the host's driver and the dummy controller
# the pedal plugs into), once
usb_stack() {
    mountpoint -q /dev/gadget 2>/dev/null && return
    modprobe snd-seq-midi && modprobe dummy_hcd is_high_speed=0 is_super_speed=0 &&
        modprobe snd-usb-audio && modprobe gadgetfs || fail "cannot load the USB modules"
    mkdir -p /dev/gadget
    mount -t gadgetfs none /dev/gadget || fail "cannot mount gadgetfs"
}

# plug_pedal NAME [PEDAL OPTION...]: starts a pedal, which plugs itself in,
# and waits until the host has configured it. It records into $OUT/NAME.raw,
# NAME.report and NAME.stamps; its live count is in $WORK/rx.progress.
plug_pedal() {
    local name=$1
    shift
    usb_stack
    rm -f "$WORK/pedal.ready" "$WORK/rx.progress"
    "$PEDAL" --raw "$OUT/$name.raw" --report "$OUT/$name.report" --stamps "$OUT/$name.stamps" \
        --progress "$WORK/rx.progress" --ready-file "$WORK/pedal.ready" "$@" 2>"$OUT/$name.log" &
    PEDAL_PID=$! PEDAL_LOG=$OUT/$name.log
    wait_until 30 test -s "$WORK/pedal.ready" || fail "the host did not take the pedal: $(cat "$OUT/$name.log")"
}

pedal_port_listed() { grep -q "\"$PEDAL_PORT\"" /proc/asound/seq/clients; }

# wait_pedal_port: until the host has made the pedal a sound card with a sequencer port
wait_pedal_port() {
    wait_until 30 pedal_port_listed || fail "the pedal has no sequencer port"
    note "pedal plugged in: $(amidi -l | grep -F "$PEDAL_PORT" | tr -s ' ')"
}

# usb_plug_in [PEDAL OPTION...]: a pedal that records into $OUT/rx.raw and
# $OUT/rx.report, with its sequencer port there
usb_plug_in() {
    plug_pedal rx "$@"
    wait_pedal_port
}

# unplug_pedal: unplugs it at once (wherever it is in a message) and waits
# until the host has let go of its sound card
unplug_pedal() {
    kill -USR1 "$PEDAL_PID"
    wait_pedal
    wait_until 30 eval '! pedal_port_listed' || fail "the host kept the pedal's sequencer port"
}

# pedal_rawmidi: the pedal's rawmidi device, e.g. /dev/snd/midiC1D0
pedal_rawmidi() {
    amidi -l | awk -v name="$PEDAL_PORT" '!found && index($0, name) { split($2, a, /[:,]/); print "/dev/snd/midiC" a[2] "D" a[3]; found = 1 }'
}

# pedal_rawmidi_status: the kernel's view of that device's output (its
# driver's byte count, and the owner and fill of an open substream)
pedal_rawmidi_status() {
    amidi -l | awk -v name="$PEDAL_PORT" '!found && index($0, name) { split($2, a, /[:,]/); print "/proc/asound/card" a[2] "/midi" a[3]; found = 1 }'
}

# pedal_bytes: how many bytes the pedal has read
pedal_bytes() { awk '{ print $4 }' "$WORK/rx.progress" 2>/dev/null || echo 0; }

# wait_pedal: waits until the pedal has ended by itself (all bytes, idle or
# unplugged). Every caller waits once the upload is over or under way, so a
# pedal that has not ended 60 s later is stuck, and is told with where each
# of its threads waits in the kernel.
wait_pedal() {
    wait_until 60 eval '! kill -0 "$PEDAL_PID" 2>/dev/null' ||
        fail "the pedal had not ended 60 s later: $(threads_of "$PEDAL_PID") (its log: $(tail -n 3 "$PEDAL_LOG" | paste -sd' '))"
    wait "$PEDAL_PID" || true
    PEDAL_PID=
}

# threads_of PID: each thread's name, state, and the kernel calls it waits in
threads_of() {
    local t
    for t in /proc/"$1"/task/*; do
        echo "[${t##*/} $(cat "$t/comm" 2>/dev/null) $(sed 's/.*) //' "$t/stat" 2>/dev/null | cut -d' ' -f1):" \
             "$(awk '{ print $2 }' "$t/stack" 2>/dev/null | paste -sd' ')]"
    done | paste -sd' '
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
    trace_label_texts
    : >"$TRACING/trace"
}

# start_update [OPTION...]: the program with --autoupdate to the pedal, traced
start_update() {
    local id
    id=$(pedal_output_id) || exit 1
    note "pedal is output $id of: $(tr '\t\n' ' ;' <"$OUT/outputs.txt")"
    trace_prepare
    # stdout alone: the outcome line must be a line of its own to a script.
    "$APP" --autoupdate --outputid "$id" "$@" >"$OUT/app.log" 2>"$OUT/app.err" &
    APP_PID=$!
    # Threads the program starts from now on are traced too (event-fork);
    # the upload's thread comes seconds later.
    trace_app "$APP_PID"
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

# trace_label_texts: the texts the program gives its labels, with the label
# (juce::Label::setText: the label in rdi, the String, whose first field
# points to its UTF-8 text, in rsi), into the same trace. For the status
# caption and the time it changes, without reading the screen.
trace_label_texts() {
    local offset
    offset=$(/usr/bin/python3 "$USB_DIR/sender-trace.py" --offset "$APP" 'juce::Label::setText(juce::String const&, juce::NotificationType)') ||
        fail "cannot find juce::Label::setText in $APP"
    echo "p:nimbo/label $APP:$offset label=%di text=+0(+0(%si)):string" >>"$TRACING/uprobe_events" || fail "cannot set the label uprobe"
    echo 1 >"$TRACING/events/nimbo/label/enable"
}

# trace_app PID: from now on, that process and the threads it starts
trace_app() {
    echo "$1" >"$TRACING/set_event_pid"
    echo 1 >"$TRACING/tracing_on"
}

# label_texts [TRACE]: every text the program gave a label, from the trace,
# one a line: CLOCK_MONOTONIC time, TAB, the text
label_texts() {
    sed -n 's/^.* \([0-9]*\.[0-9]*\): label: .* text="\(.*\)"$/\1\t\2/p' "${1:-$TRACING/trace}"
}

# captions [TRACE]: the status captions among them
captions() { label_texts "$@" | grep -P '^[^\t]*\tUpdate progress:' || true; }

# label_set_at TEXT SINCE: when a label was first given TEXT after SINCE.
# Like every awk here that reads a pipe, it reads to the end: leaving at the
# first match would end the writer with SIGPIPE, a failure under pipefail.
label_set_at() { label_texts | awk -F'\t' -v t="$2" -v s="$1" '!found && $1 > t && $2 == s { print $1; found = 1 }'; }

# grab_start_panel: for a program just started without options, its window
# at 0,0: keeps what the output list and the update button show before
# anything is chosen ("(Disconnected)", light red and disabled), for
# panel_as_at_start
grab_start_panel() {
    wait_until 20 button_is_red || fail "the update button is not red at start (see at-failure.png)"
    screenshot "$OUT/start.png"
    /usr/bin/python3 "$SCREEN" grab "$SELECTOR_AREA" "$OUT/selector.ref" "$BUTTON_AREA" "$OUT/button.ref" \
        "$BAR_AREA" "$OUT/bar.ref" "$ARROW_AREA" "$OUT/arrow.ref"
}

# grab_ready_button: with the pedal chosen and the button green, keeps how
# the enabled button looks, for watch_button_disabled
grab_ready_button() {
    /usr/bin/python3 "$SCREEN" grab "$BUTTON_AREA" "$OUT/button-ready.ref"
}

# watch_button_disabled / check_button_stayed_disabled: from an upload's
# first bytes to near its end the update button must never look enabled
watch_button_disabled() {
    WATCH_T0=$(/usr/bin/python3 -c 'import time; print(time.monotonic())')
    /usr/bin/python3 "$SCREEN" never-match 600 enabled="$BUTTON_AREA=$OUT/button-ready.ref" >"$OUT/button-watch.txt" &
    BUTTON_WATCH=$!
}
check_button_stayed_disabled() {
    kill "$BUTTON_WATCH" 2>/dev/null || true
    wait "$BUTTON_WATCH" 2>/dev/null || true
    # It prints only when it has seen the button enabled. Once the upload has
    # ended the button is usable again, and the caption that says so is set
    # before the window shows the button: a sighting counts only before that.
    if [ -s "$OUT/button-watch.txt" ]; then
        local seen ended
        seen=$(cut -d' ' -f2 "$OUT/button-watch.txt")
        ended=$(captions | awk -F'\t' -v t="$WATCH_T0" '!found && $1 > t && $2 !~ /^Update progress: ?(Uploading firmware)?$/ { print $1; found = 1 }')
        [ -n "$ended" ] && awk -v s="$seen" -v e="$ended" 'BEGIN { exit !(s >= e) }' ||
            fail "the update button was enabled during the upload (seen at $seen, the upload ended at ${ended:-no time yet}, $(received_messages) messages in)"
    fi
    note "the update button stayed disabled during the upload"
}

# start_panel_reference ROW: grab_start_panel and grab_ready_button (with
# entry ROW of the list chosen) for a test whose program starts with
# --autoupdate, from a run of its own
start_panel_reference() {
    local pid w
    "$APP" >"$OUT/reference-app.log" 2>&1 &
    pid=$!
    w=$(find_window "^$MAIN_TITLE\$" 60) || exit 1
    window_to_origin "$w"
    grab_start_panel
    choose_output "$1"
    xdotool mousemove --window "$w" 300 40
    wait_until 10 button_is_green || fail "the update button did not turn green in the reference run"
    grab_ready_button
    kill -TERM "$pid"
    wait "$pid" || true
}

# panel_as_at_start SEC: waits up to SEC s until the list and the button look
# as grab_start_panel saw them; prints "selector T" and "button T" with the
# CLOCK_MONOTONIC time each first did, or what differs
panel_as_at_start() {
    /usr/bin/python3 "$SCREEN" wait-match "$1" selector="$SELECTOR_AREA=$OUT/selector.ref" \
        button="$BUTTON_AREA=$OUT/button.ref" && return 0
    # What differed, beside what was expected, to be looked at.
    seen_png selector "$SELECTOR_AREA"
    seen_png button "$BUTTON_AREA"
    return 1
}

# seen_png NAME AREA: NAME.ref and what wait-match last saw instead, as
# NAME-expected.png and NAME-seen.png
seen_png() {
    local size
    size=$(echo "$2" | awk -F, '{ print $3 "x" $4 }')
    [ -f "$OUT/$1.ref.seen" ] || return 0
    convert -size "$size" -depth 8 "rgb:$OUT/$1.ref" "$OUT/$1-expected.png" 2>/dev/null || true
    convert -size "$size" -depth 8 "rgb:$OUT/$1.ref.seen" "$OUT/$1-seen.png" 2>/dev/null || true
}

# watch_start_panel FILE [OPTION...]: from now on, writes to FILE when the
# list, the button, the empty progress bar and the list's arrows come to
# look as grab_start_panel saw them, and when they stop (see screen.py
# watch-match, which also takes the options); returns once it is looking.
# Its pid: PANEL_WATCH.
watch_start_panel() {
    local file=$1
    shift
    /usr/bin/python3 "$SCREEN" watch-match 600 "$@" selector="$SELECTOR_AREA=$OUT/selector.ref" \
        button="$BUTTON_AREA=$OUT/button.ref" bar="$BAR_AREA=$OUT/bar.ref" arrow="$ARROW_AREA=$OUT/arrow.ref" >"$file" &
    PANEL_WATCH=$!
    wait_until 60 grep -q '^ready ' "$file" || fail "the screen watch did not start within 60 s"
}

# panel_answer NAME FILE: what NAME showed when watch_start_panel's FILE
# answered (--answer-at): "shows" or "left", and the time
panel_answer() { awk -v n="$1" '$1 == n && $2 == "is" { print $3, $4 }' "$2"; }

# shown_since NAME SINCE FILE: when NAME of watch_start_panel's FILE last
# came to show its reference after SINCE, if it still does
shown_since() {
    awk -v n="$1" -v t="$2" '$1 == n && $2 != "is" && $3 > t { at = ($2 == "shows") ? $3 : "" } END { print at }' "$3"
}

# wait_start_panel_shown SINCE FILE SEC: waits up to SEC s for both to show
start_panel_shown() { [ -n "$(shown_since selector "$1" "$2")" ] && [ -n "$(shown_since button "$1" "$2")" ]; }
wait_start_panel_shown() {
    local shown=0
    wait_until "$3" start_panel_shown "$1" "$2" && shown=1
    kill "$PANEL_WATCH" 2>/dev/null || true
    wait "$PANEL_WATCH" 2>/dev/null || true
    [ $shown = 1 ] || fail "the list and the button did not come back as at start-up within $3 s: $(paste -sd' ' "$2")"
}

# failure_caption SINCE: the first status caption set after SINCE (CLOCK_MONOTONIC)
# that tells of a failure, as "TIME<TAB>TEXT"
failure_caption() {
    captions | awk -F'\t' -v t="$1" '!found && $1 > t && index($2, "Update progress: Update failed:") == 1 { print; found = 1 }'
}

# seconds FROM TO: TO - FROM, with three decimals; within T LIMIT: T <= LIMIT
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
within() { awk -v t="$1" -v l="$2" 'BEGIN { exit !(t <= l) }'; }

# check_failure_shown UNPLUGGED_AT WATCH_OUTPUT LIMIT: after the unplug, the
# caption told of the failure, and the list and the button were back as at
# start-up (WATCH_OUTPUT of watch_start_panel), each within LIMIT s
check_failure_shown() {
    local t=$1 watch=$2 limit=$3 caption t_caption t_selector t_button t_set
    caption=$(failure_caption "$t")
    [ -n "$caption" ] || fail "no failure caption after the unplug; the last captions: $(captions | tail -3 | cut -f2 | paste -sd'|')"
    t_caption=${caption%%$'\t'*}
    FAILED_TEXT=${caption#*$'\t'}
    within "$(awk '$1 == "ready" { print $2 }' "$watch")" "$t" || fail "the screen watch started only after the unplug"
    t_selector=$(shown_since selector "$t" "$watch")
    t_button=$(shown_since button "$t" "$watch")
    [ -n "$t_selector" ] && [ -n "$t_button" ] || fail "the panel did not come back as at start-up: $(paste -sd' ' "$watch") (see at-failure.png)"
    t_set=$(label_set_at "(Disconnected)" "$t")
    [ -z "$t_set" ] || t_set="after $(seconds "$t" "$t_set") s"
    note "after the unplug: the caption \"$FAILED_TEXT\" after $(seconds "$t" "$t_caption") s," \
         "the list given \"(Disconnected)\" ${t_set:-never} and showing it after $(seconds "$t" "$t_selector") s," \
         "the light red disabled button after $(seconds "$t" "$t_button") s"
    within "$(seconds "$t" "$t_caption")" "$limit" || fail "the failure caption came later than $limit s after the unplug"
    within "$(seconds "$t" "$t_selector")" "$limit" || fail "\"(Disconnected)\" came later than $limit s after the unplug"
    within "$(seconds "$t" "$t_button")" "$limit" || fail "the light red disabled button came later than $limit s after the unplug"
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
