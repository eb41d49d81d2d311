#!/bin/bash
# Builds the Debian package, unpacks it into a throw-away root and checks what
# a user installing it gets: the files, a valid menu entry, computed runtime
# dependencies, and a program that starts and shows its main window. Then
# `cmake --install` into a prefix owned by an ordinary user, as that user.
set -euo pipefail

BUILD=$(cd "$1" && pwd)
WORK=$(mktemp -d)
APP_PID=""
trap '[ -n "$APP_PID" ] && kill $APP_PID 2>/dev/null; rm -rf "$WORK"' EXIT
source "$(dirname "$0")/../support/lib.sh"

(cd "$BUILD" && cpack -G DEB -B "$WORK/out" > "$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log"; fail "cpack"; }
DEB=$(ls "$WORK"/out/nimbo-sw-updater_1.0.0_*.deb) || fail "no package"
echo "package: $(basename "$DEB") ($(stat -c %s "$DEB") bytes)"

[ "$(dpkg-deb -f "$DEB" Package)" = nimbo-sw-updater ] || fail "package name"
[ "$(dpkg-deb -f "$DEB" Version)" = 1.0.0 ] || fail "version"
[ -n "$(dpkg-deb -f "$DEB" Maintainer)" ] || fail "no maintainer"
[ -n "$(dpkg-deb -f "$DEB" Description)" ] || fail "no description"
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
echo "depends: $DEPENDS"
for lib in libasound2 libc6 libfreetype6 libstdc++6; do
    grep -q "$lib" <<< "$DEPENDS" || fail "Depends lacks $lib"
done

ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT"
for f in usr/bin/NimboSwUpdater usr/share/applications/nimbo-sw-updater.desktop \
         usr/share/icons/hicolor/16x16/apps/nimbo-sw-updater.png \
         usr/share/icons/hicolor/48x48/apps/nimbo-sw-updater.png \
         usr/share/icons/hicolor/256x256/apps/nimbo-sw-updater.png; do
    [ -e "$ROOT/$f" ] || fail "missing /$f"
done
[ "$(identify -format '%wx%h' "$ROOT/usr/share/icons/hicolor/48x48/apps/nimbo-sw-updater.png")" = 48x48 ] || fail "icon size"
VALIDATION=$(desktop-file-validate "$ROOT/usr/share/applications/nimbo-sw-updater.desktop" 2>&1) || fail "desktop entry: $VALIDATION"
[ -z "$VALIDATION" ] || fail "desktop entry: $VALIDATION"
grep -q '^Exec=NimboSwUpdater$' "$ROOT/usr/share/applications/nimbo-sw-updater.desktop" || fail "Exec"

# The installed program starts and shows its main window.
APP_LOG=$WORK/app.out
"$ROOT/usr/bin/NimboSwUpdater" > "$APP_LOG" 2>&1 &
APP_PID=$!
W=$(find_window "^$MAIN_TITLE\$" 15)
kill "$APP_PID"; wait "$APP_PID" 2>/dev/null || true; APP_PID=""

# An ordinary user installs into a prefix of their own.
PREFIX=$WORK/prefix
mkdir -p "$PREFIX" && chown nobody "$PREFIX" && chmod 755 "$WORK"
# CMake records what it installed in the build folder, which that user would
# own; everything else it writes must go to the prefix.
MANIFEST=$BUILD/install_manifest.txt
touch "$MANIFEST" && chown nobody "$MANIFEST"
trap '[ -n "$APP_PID" ] && kill $APP_PID 2>/dev/null; chown root "$MANIFEST"; rm -rf "$WORK"' EXIT
runuser -u nobody -- cmake --install "$BUILD" --prefix "$PREFIX" > "$WORK/install.log" 2>&1 \
    || { cat "$WORK/install.log"; fail "cmake --install as an ordinary user"; }
[ -x "$PREFIX/bin/NimboSwUpdater" ] || fail "no executable in the prefix"
[ -f "$PREFIX/share/applications/nimbo-sw-updater.desktop" ] || fail "no desktop entry in the prefix"
echo "package: ok"
