#!/bin/bash
# Installs what the end-to-end harness needs and fetches Debian's stock kernel
# package into the cache, so the VM can boot offline afterwards. Safe to run
# again: it installs nothing that is already there and keeps a cached kernel.
#
#   tests/e2e/install-deps.sh          packages + kernel
#   tests/e2e/install-deps.sh --check  only report what is missing (exit 1 if anything)
set -euo pipefail

CACHE=${NIMBO_E2E_CACHE:-/var/tmp/nimbo-e2e}
PACKAGES=(qemu-system-x86 busybox-static alsa-utils libasound2-dev gcc xz-utils kmod
          cpio xvfb xauth xdotool imagemagick x11-utils python3 binutils gdb)

check_only=0
[ "${1:-}" = --check ] && check_only=1

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
kernel_debs=("$CACHE"/linux-image-*.deb)

if [ $check_only = 1 ]; then
    rc=0
    [ ${#missing[@]} = 0 ] || { echo "missing packages: ${missing[*]}"; rc=1; }
    [ -e "${kernel_debs[0]}" ] || { echo "no kernel package in $CACHE"; rc=1; }
    exit $rc
fi

apt_updated=0
apt_update() {
    [ $apt_updated = 1 ] && return
    apt-get update -qq
    apt_updated=1
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    apt_update
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ ! -e "${kernel_debs[0]}" ]; then
    mkdir -p "$CACHE"
    # linux-image-amd64 is a metapackage; the versioned image it depends on is
    # the file we want. A package list that was never fetched knows neither.
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    if [ -z "$pkg" ]; then
        apt_update
        pkg=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    fi
    [ -n "$pkg" ] || { echo "install-deps: cannot find Debian's kernel package" >&2; exit 1; }
    echo "install-deps: downloading $pkg into $CACHE"
    (cd "$CACHE" && apt-get download -qq -o APT::Sandbox::User=root "$pkg")
fi
echo "install-deps: ok (kernel: $(basename "$(ls "$CACHE"/linux-image-*.deb | head -1)"))"
