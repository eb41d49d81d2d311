#!/bin/bash
# Installs the Debian packages that building and testing the updater needs.
# Idempotent: asks apt for nothing when every package is already installed.
#
#   tools/install-deps.sh [extra-package ...]
set -euo pipefail

PACKAGES=(
    juce-modules-source cmake ninja-build g++ pkg-config ccache
    libgtest-dev
    xvfb xauth x11-utils xdotool imagemagick
    clang-format
    desktop-file-utils dpkg-dev file
    "$@"
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" != 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root: apt-get install ${missing[*]}" >&2
    exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
