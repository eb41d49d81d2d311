#!/bin/bash
# Runs each fuzz target from its seeds (fuzz/corpus/<target>/) for a bounded
# time or number of executions, one after the other, and prints one line per
# target. New inputs and any crash are kept in BUILD/fuzz-work/<target>/, so a
# later run goes on from there.
#
#   fuzz/run.sh BUILD_DIR [--seconds N | --runs N] [TARGET...]
#
# Exit status 1 if any target crashed, leaked, timed out or broke one of its
# checks; its log ends with the report and names the input that did it.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$(cd "$1" && pwd)
shift
LIMIT=(-max_total_time=60)
case "${1:-}" in
    --seconds) LIMIT=(-max_total_time="$2"); shift 2 ;;
    --runs) LIMIT=(-runs="$2"); shift 2 ;;
esac
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(image_check upload_worker command_line file_loader)

failed=0
for target in "${TARGETS[@]}"; do
    work=$BUILD/fuzz-work/$target
    mkdir -p "$work/corpus" "$work/artifacts"
    options=(-timeout=10 -print_final_stats=1 -artifact_prefix="$work/artifacts/")
    # Each accepted image takes 15 ms per message to send; larger inputs only
    # add F0 bytes that the target skips.
    [ "$target" != upload_worker ] || options+=(-max_len=2048)
    rc=0
    "$BUILD/fuzz/fuzz_$target" "${LIMIT[@]}" "${options[@]}" "$work/corpus" "$HERE/corpus/$target" \
        >"$work/log.txt" 2>&1 || rc=$?
    stat() { awk -v k="stat::$1:" '$1 == k { print $2 }' "$work/log.txt"; }
    line="$target: $(stat number_of_executed_units | tail -1) runs, $(stat average_exec_per_sec | tail -1) per second, corpus $(ls "$work/corpus" | wc -l) inputs"
    if [ $rc = 0 ]; then
        echo "fuzz: $line: ok"
    else
        echo "fuzz: $line: FAILED (status $rc), log $work/log.txt:"
        grep -E '^(==|SUMMARY|fuzz: broken|artifact_prefix|Test unit written|.*ERROR)' "$work/log.txt" | head -20 || tail -20 "$work/log.txt"
        failed=1
    fi
done
exit $failed
