#!/bin/bash
# The Help button shows and hides the help window, centred at 550 x 400; the
# help window's own close button only hides it.
source "$(dirname "$0")/lib.sh"

start_app
W=$(find_window "^$MAIN_TITLE\$")
read -r _ _ WW _ < <(window_geometry "$W")
PW=$((WW - 2 * PANEL_X))
SCREEN_W=$(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1] }')
SCREEN_H=$(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[2] }')

press_when_lit "$W" $((PW - 57)) 85
H=$(find_window "^$HELP_TITLE\$" 5)
read -r HX HY HW HH < <(window_geometry "$H")
[ "$HW $HH" = "550 400" ] || fail "help window is $HW x $HH"
[ $((HX + HW / 2 - SCREEN_W / 2)) -ge -1 ] && [ $((HX + HW / 2 - SCREEN_W / 2)) -le 1 ] || fail "not centred: x=$HX"
[ $((HY + HH / 2 - SCREEN_H / 2)) -ge -1 ] && [ $((HY + HH / 2 - SCREEN_H / 2)) -le 1 ] || fail "not centred: y=$HY"
sleep 0.3
screenshot "$ARTIFACTS/help-window.png"

# A second click hides it. The help window now covers the middle of the main
# window and most of the Help button: click its uncovered right end.
click_panel "$W" $((PW - 20)) 85
sleep 0.5
window_gone "^$HELP_TITLE\$" || fail "second click did not hide the help window"

# Shown again, then closed with its own close button: hidden, program runs on.
click_panel "$W" $((PW - 57)) 85
H=$(find_window "^$HELP_TITLE\$" 5)
read -r _ _ HW _ < <(window_geometry "$H")
click "$H" $((HW - 21)) 16
sleep 0.5
window_gone "^$HELP_TITLE\$" || fail "close button did not hide the help window"
kill -0 "$APP_PID" || fail "program ended with the help window"

close_main_window "$W"
wait_exit 5
[ "$RC" = 0 ] || fail "exit: $RC"
echo "help window: ok"
