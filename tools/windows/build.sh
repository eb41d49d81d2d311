#!/usr/bin/env bash
# Cross-builds the Windows .exe from this tree and prints its path.
#
#   tools/windows/build.sh [BUILD_DIR]     (default: build-windows)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=$(realpath -m "${1:-$ROOT/build-windows}")
JUCE_DIR=${JUCE_DIR:-/usr/lib/x86_64-linux-gnu/cmake/JUCE-7.0.5}
BUILD_TYPE=${BUILD_TYPE:-Release}
JOBS=${JOBS:-2}

"$ROOT/tools/windows/build-deps.sh" "$BUILD_DIR" >&2

# juce_core.cpp uses __TIME__, and each build folder has its own paths:
# without these ccache would never hit across folders or rebuilds.
export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-time_macros}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$ROOT}

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja \
          -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
          -DCMAKE_BUILD_TYPE="$BUILD_TYPE" \
          -DJUCE_DIR="$JUCE_DIR" >&2
fi
# The program, and its Windows unit tests (run by tests/windows/unit-wine.sh).
cmake --build "$BUILD_DIR" --target NimboSwUpdaterApp NimboWindowsTests -j "$JOBS" >&2

EXE="$BUILD_DIR/app/NimboSwUpdaterApp_artefacts/$BUILD_TYPE/NimboSwUpdater.exe"
if [ ! -f "$EXE" ]; then
    echo "build finished but $EXE is missing" >&2
    exit 1
fi
echo "$EXE"
