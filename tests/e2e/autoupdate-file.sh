#!/bin/bash
# --file with another valid image: exactly that file's bytes arrive.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

host_prepare() {
    # 20 SysEx messages of 3..599 bytes; content unlike the built-in image.
    local i j n s b
    for ((i = 0; i < 20; i++)); do
        n=$(((i * 211) % 597 + 1))
        s='\xf0\x7d'
        for ((j = 1; j < n; j++)); do
            printf -v b '\\x%02x' $(((i * 13 + j * 29) & 0x7f))
            s+=$b
        done
        printf '%b' "$s\\xf7"
    done >"$OUT/other.syx"
}

guest_test() {
    start_receiver --wait-timeout 120
    local id rc=0
    id=$(output_id) || exit 1
    timeout 120 "$APP" --autoupdate --outputid "$id" --file "$OUT/other.syx" >"$OUT/app.log" 2>&1 || rc=$?
    [ $rc = 0 ] || fail "the program exited with $rc"
    wait_receiver
    check_delivery "$OUT/other.syx" 20
}

e2e_main "$@"
