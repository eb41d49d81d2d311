#!/usr/bin/env bash
# Checks the built Windows .exe: version info, icon group, manifest, and that
# it needs no MinGW runtime DLLs.
#
#   tests/windows/check-resources.sh [EXE]
#     (default: build-windows/app/NimboSwUpdaterApp_artefacts/Release/NimboSwUpdater.exe)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
EXE=${1:-$ROOT/build-windows/app/NimboSwUpdaterApp_artefacts/Release/NimboSwUpdater.exe}

if [ ! -f "$EXE" ]; then
    echo "FAIL: $EXE not found (build it with tools/windows/build.sh)" >&2
    exit 1
fi

status=0
python3 "$ROOT/tests/windows/pe_resources.py" "$EXE" || status=1

# A second, independent reading of the import table by binutils.
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
    dlls=$(x86_64-w64-mingw32-objdump -p "$EXE" | sed -n 's/^[[:space:]]*DLL Name: //p')
    if [ -z "$dlls" ]; then
        echo "FAIL: objdump found no imported DLLs"; status=1
    elif bad=$(grep -iE '^(libstdc\+\+|libgcc_s|libwinpthread|zlib1|libpng|libjpeg)' <<<"$dlls"); then
        echo "FAIL: objdump: imports runtime DLLs: $(echo $bad)"; status=1
    else
        echo "ok  : objdump: no MinGW runtime DLL imports"
    fi
fi

exit $status
