#!/bin/bash
# The static checks: every C++ source of the project formatted as .clang-format
# says, includes that point down the layers only, and the program's own code
# clang-tidy clean with the checks listed (and justified) in .clang-tidy.
# clang-tidy reads the compile commands of a finished build (default: build),
# which also holds the generated headers.
#
#   tools/static-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}

mapfile -t sources < <(find app firmware midi protocol ui tests bench fuzz -name '*.cpp' -o -name '*.h' | sort)
echo "static-check: clang-format on ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

# Includes point down the layers: app -> ui -> protocol -> midi, firmware.
# A lower layer that reached up would tie what it does to one user interface.
echo "static-check: includes point down the layers"
upward=$( { grep -Hn '#include "\(ui\|app\)/' -r firmware midi protocol || true
            grep -Hn '#include "app/' -r ui || true
            grep -Hn '#include "protocol/' -r firmware midi || true; } )
if [ -n "$upward" ]; then
    echo "$upward"
    echo "static-check: these includes point up a layer"
    exit 1
fi

[ -f "$BUILD/compile_commands.json" ] || { echo "static-check: no $BUILD/compile_commands.json: build first" >&2; exit 1; }
echo "static-check: clang-tidy on the program's code"
if ! run-clang-tidy-14 -p "$BUILD" -quiet -j "${JOBS:-2}" "^$PWD/(app|firmware|midi|protocol|ui)/" \
    >"$BUILD/clang-tidy.log" 2>&1; then
    grep -E 'warning:|error:' "$BUILD/clang-tidy.log" | sort -u
    echo "static-check: clang-tidy found problems (all of its output is in $BUILD/clang-tidy.log)"
    exit 1
fi
echo "static-check: clean"
