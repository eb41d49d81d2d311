#!/bin/bash
# Unplugging the pedal in the middle of an --autoupdate upload: the send that
# is under way fails at once, the upload stops there (nothing more is sent),
# and within 1 s the panel shows the failure: the caption tells of it (and
# still does 5 s later), the output list is usable again and shows
# "(Disconnected)", the update button is light red and disabled (both as a
# run of the program started without options shows them at first), the
# progress bar is empty. The program neither crashes nor quits as it would
# after "Update completed", and it still ends when asked to.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

# A point inside the progress bar (in BAR_AREA), with the window at 0,0
# (JUCE draws the title bar inside it).
FAILED_LIMIT=1.0
BAR_X=22 BAR_Y=268
UNPLUG_AFTER=400 # of 495 messages

guest_test() {
    local w s=$OUT/sender.report r=$OUT/rx.report during during_at after unplugged failed arrow_during
    # The pedal unplugs itself: on a loaded emulated machine this script
    # reached a point it chose only after the upload was over.
    usb_plug_in --expect "$BUILTIN_IMAGE" --wait-timeout 120 --unplug-after $UNPLUG_AFTER
    start_panel_reference "$(pedal_output_id)"
    # Long before the upload: it takes seconds to start on the emulated CPU.
    # It also says what the bar and the list showed once the upload was
    # under way (at its 20th message).
    watch_start_panel "$OUT/panel-after-unplug.txt" --window "$MAIN_TITLE" --answer-at 20 "$WORK/rx.progress"
    start_update
    check_rawmidi_sending
    [ -z "$SENDING_PROBLEM" ] || fail "$SENDING_PROBLEM"
    w=$(find_window "^$MAIN_TITLE\$" 60) || exit 1
    window_to_origin "$w"
    wait_until 60 received_at_least 1 || fail "nothing arrived within 60 s"
    watch_button_disabled
    wait_pedal
    check_button_stayed_disabled
    read -r during during_at <<<"$(panel_answer bar "$OUT/panel-after-unplug.txt")"
    read -r arrow_during _ <<<"$(panel_answer arrow "$OUT/panel-after-unplug.txt")"
    [ -n "$during" ] && within "$during_at" "$(report_value unplugged_at "$r")" ||
        fail "the screen watch did not see the window during the upload: $(paste -sd' ' "$OUT/panel-after-unplug.txt")"
    note "the pedal was unplugged after $(report_value complete "$r") complete messages," \
         "$(report_value intact "$r") intact, $(report_value bytes "$r") bytes"
    wait_start_panel_shown "$(report_value unplugged_at "$r")" "$OUT/panel-after-unplug.txt" 30
    check_failure_shown "$(report_value unplugged_at "$r")" "$OUT/panel-after-unplug.txt" $FAILED_LIMIT
    # Time enough for a crash, a hang in the send, or a wrong "completed"
    # and the quit that follows it.
    sleep 5
    screenshot "$OUT/2-unplugged.png"
    after=$(pixel $BAR_X $BAR_Y "$OUT/2-unplugged.png")
    kill -0 "$APP_PID" 2>/dev/null || {
        wait_app 1
        fail "the program ended after the unplug, status $APP_RC: $(tail -5 "$OUT/app.err")"
    }
    [ "$(captions | tail -1 | cut -f2)" = "$FAILED_TEXT" ] ||
        fail "the caption did not keep the failure: it reads \"$(captions | tail -1 | cut -f2)\""
    trace_finish
    note "sender: $(report_value sends "$s") sends, the one under way at the unplug $(report_value send_result "$s")," \
         "$(report_value sends_after_failure "$s") sends after it; the progress bar's empty look $during while uploading;" \
         "the bar $after after the unplug"

    [ "$(report_value intact "$r")" = "$(report_value complete "$r")" ] ||
        fail "$(report_value intact "$r") of the $(report_value complete "$r") complete messages arrived intact"
    [ "$(report_value complete "$r")" -lt 495 ] || fail "the upload was over before the unplug"
    # The send under way fails with an error, or gives up without one when
    # poll reports the device gone; a send that hung would leave the panel
    # as it was, which the checks of the screenshots below catch.
    case $(report_value send_result "$s") in
        failed-* | unfinished) ;;
        *) fail "no send failed after the unplug: $(report_value send_result "$s")" ;;
    esac
    [ "$(report_value sends_after_failure "$s")" = 0 ] || fail "$(report_value sends_after_failure "$s") sends after the failed one"
    unplugged=$(report_value unplugged_at "$r")
    failed=$(report_value failed_at "$s")
    note "the send failed $(awk -v u="$unplugged" -v f="$failed" 'BEGIN { printf "%.3f", f - u }') s after the unplug"
    awk -v u="$unplugged" -v f="$failed" 'BEGIN { exit !(f - u < 2) }' || fail "the send failed only $(awk -v u="$unplugged" -v f="$failed" 'BEGIN { print f - u }') s after the unplug"
    # "left": the area did not look as it did at start-up.
    [ "$during" = left ] || fail "the progress bar was empty during the upload"
    [ "${after^^}" = FFFFFF ] || fail "the progress bar was not reset after the failure: $after (see 2-unplugged.png)"
    [ "$arrow_during" = left ] || fail "the output list drew its arrows during the upload, as a usable list does"

    # A script learns of it from the outcome line at once and from the
    # status once the window is closed.
    outcome_lines "$OUT/app.log" | grep -q ' outcome=send-failed status=8 ' ||
        fail "no send-failed outcome line: $(outcome_lines "$OUT/app.log")"
    close_main_window "$MAIN_TITLE"
    wait_app 10
    [ "$APP_RC" = 8 ] || fail "the program ended with status $APP_RC after the failed upload, 8 expected"
    note "outcome line: $(outcome_lines "$OUT/app.log" | cut -c1-60)...; status $APP_RC once closed"
}

usb_main "$@"
