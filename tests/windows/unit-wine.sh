#!/usr/bin/env bash
# Runs the Windows unit tests (tests/windows/CMakeLists.txt, built by
# tools/windows/build.sh) under Wine on a private X display. On the build
# machine Wine's exit status is the program's own, so it is the verdict.
#
#   tests/windows/unit-wine.sh [BUILD_DIR]     (default: build-windows)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=$(realpath -m "${1:-$ROOT/build-windows}")
TESTS=$BUILD_DIR/tests/windows/NimboWindowsTests.exe
[ -f "$TESTS" ] || { echo "unit-wine: $TESTS not found (tools/windows/build.sh builds it)" >&2; exit 1; }

OUT=$BUILD_DIR/wine-unit
source "$ROOT/tests/windows/wine-env.sh"
wine_prefix "$OUT/prefix"

status=0
xvfb-run -a wine "$TESTS" --gtest_color=no 2>"$OUT/stderr.log" || status=$?
wineserver -k 2>/dev/null || true
[ "$status" -eq 0 ] || { echo "unit-wine: the Windows unit tests failed (exit status $status; Wine's messages in $OUT/stderr.log)" >&2; exit 1; }
echo "unit-wine: passed"
