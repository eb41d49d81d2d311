#!/bin/bash
# The built-in image to a USB pedal that takes only 20000 bytes a second
# (it passes them on at that speed and pushes back on the host meanwhile):
# all 495 messages intact, 15 ms or more from one send to the next, and each
# send waiting until the pedal has taken its message.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

guest_test() { check_slow_pedal 20000 120; }

usb_main "$@"
