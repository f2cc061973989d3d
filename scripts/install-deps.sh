#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian 12
# machine. Safe to run again: apt skips what is already there.
set -euo pipefail

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then exec sudo -E bash "$0" "$@"; fi
    echo "install-deps.sh: run as root (or with sudo) to install packages" >&2
    exit 1
  fi
}

packages=(
  build-essential g++ g++-multilib cmake ninja-build pkg-config
  libx11-dev libx11-xcb-dev libxcb1-dev libxtst-dev
  libx11-dev:i386 libx11-xcb-dev:i386 libxcb1-dev:i386 libxtst-dev:i386
  googletest libgtest-dev libbenchmark-dev libcli11-dev clang-format clang-tidy
  xvfb openbox x11-utils x11-apps imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

need_root "$@"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
