#!/usr/bin/env bash
# The older Debian root the release is built and tested in: Debian 11
# "bullseye" (glibc 2.31, gcc 10, CMake 3.18) with the i386 libraries for the
# 32-bit build. What is linked there loads on every newer system too, which is
# the whole point: glibc symbols are versioned, and a program needs the versions
# of the glibc it was linked against. It also packs the .deb and .rpm packages
# (rpm) and has the manual pages' tools the package tests use (man-db).
#
# The same script makes and enters a second root, "bookworm": a plain Debian 12
# that the packages are installed into by scripts/test-packages.sh, with only
# what the tests built in the release root need to run there.
#
# Each root is made once from Debian's package registry with mmdebstrap and
# kept in build/ (build/release-root, build/package-root); it is made again
# only when its package list below changes. Commands run in it in a mount
# namespace of their own, so /proc, /dev, /sys, /tmp and the source tree are
# never mounted where anything else sees them, and they go away with the
# namespace even if the run is killed.
#
# Usage:
#   scripts/release-root.sh [COMMAND...]   runs COMMAND (default: a shell) in the release root
#   WEDGESIM_ROOT=bookworm scripts/release-root.sh [COMMAND...]   the same in the other root
#   . scripts/release-root.sh              defines the release_root_* functions
#                                          (release_root_use bookworm picks the other root)
# Inside, the source tree is read-only at /src and build/release is writable at
# /out. Exit status 3 means the root cannot be made here (not root, no network,
# no mount namespaces); anything else is COMMAND's.

release_root_source=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
release_root_out=$release_root_source/build/release
release_root_mirror=http://deb.debian.org/debian

# Picks the root the other functions make and enter.
release_root_use() {
  release_root_name=$1
  case $1 in
    release)
      release_root_dir=$release_root_source/build/release-root
      release_root_suite=bullseye
      release_root_packages=(
        build-essential g++ g++-multilib cmake ninja-build
        libx11-dev libx11-xcb-dev libxcb1-dev libxtst-dev
        libx11-dev:i386 libx11-xcb-dev:i386 libxcb1-dev:i386 libxtst-dev:i386
        googletest libcli11-dev libstb-dev iso-codes nlohmann-json3-dev
        libpugixml-dev libpugixml-dev:i386
        xvfb openbox qemu-user rpm man-db
      )
      # CLI11 (header-only, for the command) first came with Debian 12: that one
      # package is taken from there, nothing else. Debian 12's source packages are
      # listed too: the command's image libraries are built from them
      # (scripts/release-deps.sh).
      release_root_newer_suite=bookworm
      release_root_from_newer=libcli11-dev
      ;;
    bookworm)
      # What the packages depend on is here before they are installed, so that
      # removing them must give back exactly the tree there was; the rest runs
      # the tests built in the release root (ctest, nm, an X server, both widths'
      # runtime libraries, qemu-i386 where the kernel refuses i386 programs).
      release_root_dir=$release_root_source/build/package-root
      release_root_suite=bookworm
      release_root_packages=(
        libc6 libgcc-s1 libx11-6 libxcb1 libxtst6 libstdc++6
        libc6:i386 libgcc-s1:i386 libx11-6:i386 libxcb1:i386 libxtst6:i386 libstdc++6:i386
        man-db cmake binutils xvfb openbox qemu-user
      )
      release_root_newer_suite=
      release_root_from_newer=
      ;;
    *)
      release_root_say "no root called $1 (release, bookworm)"
      return 2
      ;;
  esac
}

release_root_say() { echo "release-root: $*" >&2; }

# Serialises the runs that share build/release and the root (two people, or a
# person and CI, in one tree). Scripts started under the lock inherit it.
release_root_lock() {
  [ -n "${WEDGESIM_RELEASE_LOCKED:-}" ] && return 0
  mkdir -p "$release_root_source/build"
  exec 9>>"$release_root_source/build/release.lock"
  if ! flock -n 9; then
    release_root_say "waiting for another release run in this tree"
    flock 9
  fi
  export WEDGESIM_RELEASE_LOCKED=1
}

# What the root is made from; a root made from anything else is made again.
release_root_recipe() {
  printf 'suite %s\nmirror %s\narchitectures amd64,i386\npackages %s\n' \
    "$release_root_suite" "$release_root_mirror" "${release_root_packages[*]}"
  [ -z "$release_root_newer_suite" ] ||
    printf 'from %s: %s\nsources %s\n' \
      "$release_root_newer_suite" "$release_root_from_newer" "$release_root_newer_suite"
}

release_root_ready() {
  [ -f "$release_root_dir/.wedgesim-root" ] &&
    [ "$(cat "$release_root_dir/.wedgesim-root")" = "$(release_root_recipe)" ]
}

# True when nothing is mounted at or below the directory (so deleting it cannot
# reach through a mount into the source tree or the host's /dev).
release_root_unmounted() {
  ! findmnt -rn -o TARGET | grep -q -e "^$1\$" -e "^$1/"
}

# Returns 3, with the reason, when this machine cannot make or enter the root.
release_root_can_make() {
  if [ "$(id -u)" -ne 0 ]; then
    release_root_say "must run as root: it makes a Debian root with mmdebstrap and enters it with chroot"
    return 3
  fi
  if ! unshare --mount --propagation private true 2>/dev/null; then
    release_root_say "cannot make a mount namespace here (unshare --mount failed): the root needs one"
    return 3
  fi
  # Proxies are apt's business; without one, the registry must answer directly.
  if [ -z "${http_proxy:-}${HTTP_PROXY:-}" ] && ! release_root_ready; then
    local host=${release_root_mirror#http://}
    host=${host%%/*}
    if ! timeout 20 bash -c "exec 3<>/dev/tcp/$host/80" 2>/dev/null; then
      release_root_say "no network: $host does not answer, so the $release_root_suite root cannot be made"
      return 3
    fi
  fi
}

# Makes the root if it is missing or was made from another recipe.
release_root_ensure() {
  release_root_can_make || return
  release_root_ready && return 0
  if ! command -v mmdebstrap >/dev/null; then
    release_root_say "installing mmdebstrap"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends mmdebstrap >/dev/null ||
      { release_root_say "cannot install mmdebstrap"; return 1; }
  fi
  local staging=$release_root_dir.new
  local dir
  for dir in "$staging" "$release_root_dir"; do
    release_root_unmounted "$dir" || { release_root_say "$dir has mounts below it; not touching it"; return 1; }
  done
  release_root_say "making the $release_root_suite root in $release_root_dir (once; a few minutes)"
  rm -rf "$staging"
  local include
  include=$(IFS=,; echo "${release_root_packages[*]}")
  mkdir -p "$release_root_source/build"
  local sources=("deb $release_root_mirror $release_root_suite main") newer=()
  if [ -n "$release_root_newer_suite" ]; then
    printf 'Package: %s\nPin: release n=%s\nPin-Priority: 500\n\nPackage: *\nPin: release n=%s\nPin-Priority: -1\n' \
      "$release_root_from_newer" "$release_root_newer_suite" "$release_root_newer_suite" \
      >"$staging.pins"
    newer=(--setup-hook="mkdir -p \"\$1/etc/apt/preferences.d\" && cp '$staging.pins' \"\$1/etc/apt/preferences.d/wedgesim\"")
    sources+=("deb $release_root_mirror $release_root_newer_suite main"
      "deb-src $release_root_mirror $release_root_newer_suite main")
  fi
  # A namespace of its own, so whatever mmdebstrap mounts in the tree is gone
  # with it, even when it is killed half way.
  if ! unshare --mount --propagation private -- mmdebstrap --quiet --mode=root --variant=apt \
      --architectures=amd64,i386 --aptopt='APT::Install-Recommends "false"' \
      --aptopt='Acquire::Retries "3"' --include="$include" "${newer[@]}" \
      "$release_root_suite" "$staging" "${sources[@]}"; then
    release_root_say "mmdebstrap failed; the root was not made"
    rm -rf "$staging" "$staging.pins"
    return 1
  fi
  # Only a root that was made completely is marked, and only a marked one is used.
  rm -f "$staging.pins"
  release_root_recipe >"$staging/.wedgesim-root"
  rm -rf "$release_root_dir"
  mv "$staging" "$release_root_dir"
}

# The part that runs inside the private mount namespace.
release_root_enter() {
  local root=$release_root_dir
  local mounted=()
  release_root_release() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
      umount -R "${mounted[i]}" 2>/dev/null || umount -R -l "${mounted[i]}" 2>/dev/null || true
    done
    mounted=()
  }
  trap release_root_release EXIT
  trap 'exit 130' INT TERM HUP
  attach() {
    mount "$@" || return
    mounted+=("${!#}")
  }
  mkdir -p "$root/src" "$root/out" "$release_root_out"
  attach -t proc proc "$root/proc"
  attach --rbind /sys "$root/sys"
  attach --rbind /dev "$root/dev"
  # The host's /tmp, so X servers in the root and outside it pick different
  # display numbers (both see each other's lock files and sockets).
  attach --bind /tmp "$root/tmp"
  attach --bind "$release_root_source" "$root/src"
  mount -o remount,bind,ro "$root/src"
  attach --bind "$release_root_out" "$root/out"
  local status=0
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    ${WEDGESIM_I386_EMULATOR+WEDGESIM_I386_EMULATOR="$WEDGESIM_I386_EMULATOR"} \
    "$@" || status=$?
  release_root_release
  trap - EXIT
  return $status
}

# Runs a command in the root (which must exist: release_root_ensure).
release_root_run() {
  unshare --mount --propagation private -- \
    bash "$release_root_source/scripts/release-root.sh" --enter "$release_root_name" "$@"
}

release_root_use "${WEDGESIM_ROOT:-release}" || exit

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  if [ "${1:-}" = --enter ]; then
    release_root_use "$2"
    shift 2
    release_root_enter "$@"
    exit
  fi
  release_root_lock
  release_root_ensure || exit
  [ $# -gt 0 ] || set -- bash
  release_root_run "$@"
fi
