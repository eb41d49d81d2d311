#!/bin/bash
# Without a display the program explains itself instead of crashing.
set -uo pipefail
APP=$1
OUT=$(env -u DISPLAY "$APP" 2>&1)
RC=$?
echo "$OUT"
[ "$RC" -ne 0 ] && [ "$RC" -lt 128 ] || { echo "FAIL: exit code $RC" >&2; exit 1; }
grep -q "xvfb-run" <<< "$OUT" || { echo "FAIL: no hint about a virtual display" >&2; exit 1; }
echo "no display: ok"
