#!/bin/bash
# Without a display the program explains itself, with status 2, instead of
# crashing: DISPLAY unset, and DISPLAY naming a display no X server serves
# (ssh without X forwarding, a display that is gone), with and without
# --autoupdate.
set -uo pipefail
source "$(dirname "$0")/../support/lib.sh"
APP=$1

# A display number with neither a socket nor a lock file: nobody serves it.
N=4711
while [ -e /tmp/.X11-unix/X$N ] || [ -e /tmp/.X$N-lock ]; do N=$((N + 1)); done

check() { # check LABEL ENV-ARGS... -- APP-ARGS...
    local label=$1 out rc t0 ms
    shift
    local envargs=()
    while [ "$1" != -- ]; do envargs+=("$1"); shift; done
    shift
    t0=$(date +%s%N)
    out=$(timeout 10 env "${envargs[@]}" "$APP" "$@" 2>&1)
    rc=$?
    ms=$((($(date +%s%N) - t0) / 1000000))
    echo "$label: status $rc after $ms ms: $out"
    [ "$rc" = 2 ] || fail "$label: exit status $rc, 2 expected (above 128 is a signal, 124 a hang)"
    [ "$ms" -lt 2000 ] || fail "$label: took $ms ms"
    grep -q "xvfb-run" <<<"$out" || fail "$label: no hint about a virtual display"
    echo "$out" >"$RESULT"
}

RESULT=$(mktemp)
trap 'rm -f "$RESULT"' EXIT
check "DISPLAY unset" -u DISPLAY --
grep -q "DISPLAY is not set" "$RESULT" || fail "the message does not say DISPLAY is not set"
check "DISPLAY unset, --autoupdate" -u DISPLAY -- --autoupdate
check "DISPLAY=:$N with no server" DISPLAY=:$N -- --autoupdate --outputid 2
grep -q "no X server answers on DISPLAY=:$N" "$RESULT" || fail "the message does not name the display"
echo "no display: ok"
