#!/usr/bin/env bash
# Installs what cross-building and Wine-testing the Windows .exe needs, and
# builds static libpng and libjpeg-turbo for MinGW-w64 into a sysroot.
#
#   tools/windows/build-deps.sh [BUILD_DIR]     (default: build-windows)
#
# Debian's JUCE is built to use the system's zlib/png/jpeg instead of its own
# bundled copies, and Debian ships no MinGW builds of libpng or libjpeg, so
# they are built here from Debian's own sources. Safe to run again: installs
# nothing that is present and rebuilds nothing that is built.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=$(realpath -m "${1:-$ROOT/build-windows}")
DEPS=$BUILD_DIR/deps
SYSROOT=$DEPS/sysroot
TOOLCHAIN=$ROOT/cmake/mingw-w64-x86_64.cmake
JOBS=${JOBS:-2}

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

log() { printf '[windows-deps] %s\n' "$*"; }

# --- packages --------------------------------------------------------------
PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
          wine wine64 xvfb xauth x11-utils xdotool imagemagick
          dpkg-dev cmake ninja-build python3)
missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${db:Status-Status}\n' "$p" 2>/dev/null | grep -qx installed; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    log "installing: ${missing[*]}"
    $SUDO apt-get update -qq
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
else
    log "packages present"
fi

# --- static libpng / libjpeg-turbo -----------------------------------------
STAMP=$SYSROOT/.complete
if [ -f "$STAMP" ] && [ -f "$SYSROOT/lib/libpng.a" ] && [ -f "$SYSROOT/lib/libjpeg.a" ] \
   && [ -f "$SYSROOT/include/jpegint.h" ]; then
    log "sysroot present: $SYSROOT"
    exit 0
fi
rm -rf "$SYSROOT" "$DEPS/src" "$DEPS/build"
mkdir -p "$SYSROOT" "$DEPS/src" "$DEPS/build"

# A private apt set-up so the system's sources, lists and caches stay as they
# are. The mirror is the one the system already uses for bookworm.
APTDIR=$DEPS/apt
mkdir -p "$APTDIR/lists/partial" "$APTDIR/cache/archives/partial" "$APTDIR/sources.list.d"
MIRROR=$(apt-get indextargets --format '$(SITE) $(RELEASE) $(COMPONENT)' 2>/dev/null \
         | awk '$2 == "bookworm" && $3 == "main" && !found { print $1; found = 1 }' || true)
if [ -z "$MIRROR" ]; then
    # No package lists downloaded yet: read the source entries themselves.
    MIRROR=$(python3 - <<'PY'
import glob, re
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    for block in re.split(r"\n\s*\n", open(path).read()):
        f = dict((k.lower(), v.split()) for k, v in re.findall(r"^([A-Za-z-]+):[ \t]*(.*)$", block, re.M))
        if "deb" in f.get("types", []) and "bookworm" in f.get("suites", []) \
                and "main" in f.get("components", []) and f.get("uris"):
            print(f["uris"][0]); raise SystemExit
for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
    try:
        lines = open(path).read().splitlines()
    except OSError:
        continue
    for line in lines:
        words = re.sub(r"\[[^]]*\]", "", line.split("#")[0]).split()
        if len(words) >= 4 and words[0] == "deb" and words[2] == "bookworm" and "main" in words[3:]:
            print(words[1]); raise SystemExit
PY
)
fi
if [ -z "$MIRROR" ]; then
    echo "no apt source for bookworm main found in the system's apt set-up" >&2
    exit 1
fi
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $MIRROR bookworm main" \
    > "$APTDIR/sources.list"
APT_PRIVATE=(-o "Dir::Etc::SourceList=$APTDIR/sources.list"
             -o "Dir::Etc::SourceParts=$APTDIR/sources.list.d"
             -o "Dir::State::Lists=$APTDIR/lists"
             -o "Dir::Cache=$APTDIR/cache"
             -o "APT::Sandbox::User=root")
log "fetching Debian sources of libpng1.6 and libjpeg-turbo"
$SUDO apt-get "${APT_PRIVATE[@]}" update -qq
(cd "$DEPS/src" && $SUDO apt-get "${APT_PRIVATE[@]}" source --download-only -qq libpng1.6 libjpeg-turbo)
(cd "$DEPS/src" && for dsc in libpng1.6_*.dsc libjpeg-turbo_*.dsc; do
     dpkg-source --no-check -x "$dsc" >/dev/null
 done)
PNG_SRC=$(find "$DEPS/src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -1)
JPEG_SRC=$(find "$DEPS/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)
[ -d "$PNG_SRC" ] && [ -d "$JPEG_SRC" ] || { echo "source unpack failed" >&2; exit 1; }

COMMON=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$SYSROOT" -DCMAKE_POSITION_INDEPENDENT_CODE=OFF)

log "building libpng ($(basename "$PNG_SRC"))"
cmake -S "$PNG_SRC" -B "$DEPS/build/libpng" "${COMMON[@]}" -Wno-dev \
      -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
      -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXECUTABLES=ON -DSKIP_INSTALL_FILES=ON \
      -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
      -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include >/dev/null
cmake --build "$DEPS/build/libpng" -j "$JOBS" >/dev/null
cmake --install "$DEPS/build/libpng" >/dev/null
# libpng installs libpng16.a and, on some hosts, no plain libpng.a alias.
[ -f "$SYSROOT/lib/libpng.a" ] || cp "$SYSROOT/lib/libpng16.a" "$SYSROOT/lib/libpng.a"

log "building libjpeg-turbo ($(basename "$JPEG_SRC"))"
# WITH_SIMD=OFF: the SIMD code needs nasm, and decoding speed does not
# matter for a few small images.
cmake -S "$JPEG_SRC" -B "$DEPS/build/libjpeg-turbo" "${COMMON[@]}" -Wno-dev \
      -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF >/dev/null
cmake --build "$DEPS/build/libjpeg-turbo" -j "$JOBS" >/dev/null
cmake --install "$DEPS/build/libjpeg-turbo" >/dev/null

# JUCE's JPEG loader includes the library's internal header, which is not
# installed.
cp "$JPEG_SRC/jpegint.h" "$SYSROOT/include/"

# jconfig.h for Windows skips its 'boolean' typedef when <rpcndr.h> was read
# first. JUCE includes jpeglib.h inside a namespace after the Windows
# headers, so the type would then be missing there; make it unconditional
# (repeating an identical typedef is legal).
python3 - "$SYSROOT/include/jconfig.h" <<'PY'
import re, sys
path = sys.argv[1]
text = open(path).read()
fixed, n = re.subn(r'#ifndef __RPCNDR_H__[^\n]*\n(typedef unsigned char boolean;)\n#endif[^\n]*\n',
                   r'\1\n', text)
if n != 1 and 'typedef unsigned char boolean;' not in text:
    sys.exit('jconfig.h: boolean typedef not found')
open(path, 'w').write(fixed)
PY

touch "$STAMP"
log "sysroot ready: $SYSROOT"
