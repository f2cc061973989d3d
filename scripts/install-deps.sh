#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian 12
# machine. Safe to run again: apt skips what is already there.
set -euo pipefail

script_args=("$@")
need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then exec sudo -E bash "$0" "${script_args[@]}"; fi
    echo "install-deps.sh: run as root (or with sudo) to install packages" >&2
    exit 1
  fi
}

packages=(
  build-essential g++ g++-multilib cmake ninja-build pkg-config
  libx11-dev libx11-xcb-dev libxcb1-dev libxtst-dev
  libx11-dev:i386 libx11-xcb-dev:i386 libxcb1-dev:i386 libxtst-dev:i386
  googletest libgtest-dev libbenchmark-dev libcli11-dev clang-format clang-tidy
  nlohmann-json3-dev libpugixml-dev libpugixml-dev:i386
  xvfb openbox x11-utils x11-apps imagemagick iso-codes jq man-db groff-base fish zsh
  mmdebstrap rpm
  libzxing-dev libzxing-dev:i386 libstb-dev libstb-dev:i386 poppler-utils
  # amd64 only: Debian 12's libzint-dev installs /usr/lib/libzint.so, so installing
  # libzint-dev:i386 would remove it (the x86 build leaves labels out).
  libzint-dev
)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

install() {
  need_root
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "$@"
}

missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
[ ${#missing[@]} -eq 0 ] || install "${missing[@]}"

# Some kernels build i386 programs but refuse to start them ("Exec format
# error"); the 32-bit tests then run under qemu-i386 (cmake/I386Runner.cmake).
starts_i386() {
  local probe
  probe=$(mktemp -d)
  echo 'int main(void) { return 0; }' >"$probe/probe.c"
  gcc -m32 -o "$probe/probe" "$probe/probe.c" 2>/dev/null && "$probe/probe" 2>/dev/null
  local status=$?
  rm -rf "$probe"
  return $status
}
forced=${WEDGESIM_I386_EMULATOR:-}
if ! installed qemu-user && [ "$forced" != 0 ] && { [ -n "$forced" ] || ! starts_i386; }; then
  install qemu-user
fi
