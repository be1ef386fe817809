#!/usr/bin/env bash
# Installs every Debian package Lumbrex needs to build, run and test. Safe to run again.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libxlsxwriter-dev zlib1g-dev libpcre2-dev libarchive-dev
  xvfb xauth x11-apps imagemagick xdotool fonts-liberation
  unzip gzip zstd python3 bc ripgrep grep time xdg-utils
  dbus dbus-daemon at-spi2-core python3-pyatspi gir1.2-atspi-2.0 python3-xlib
  lintian desktop-file-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
