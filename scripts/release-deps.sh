#!/usr/bin/env bash
# Runs inside the release root (scripts/release-build.sh calls it): static,
# position-independent builds of the image engine's libraries for both widths,
# from Debian 12's source packages, with the root's own toolchain (gcc 10, so
# they keep the glibc floor), into
#   /opt/wedgesim-image/x64  and  /opt/wedgesim-image/x86   (lib/, include/)
# Made once and kept in the root: a later run rebuilds only when this script
# changes. Each library is built with hidden visibility, so nothing of it is
# seen outside the command that links it.
#
#   zint 2.11.1       labels (no PNG, no Qt: the command writes PNG with stb)
#   zxing-cpp 1.4.0   reading; when the package registry does not serve its
#                     source, the command is built without reading, and says so
# A source that could not be fetched is not asked for again until this script
# changes: remove build/release-root/opt/wedgesim-image to try again.
set -euo pipefail

prefix=/opt/wedgesim-image
sources=$prefix/src
zint_version=2.11.1-1
zxing_version=1.4.0-3
recipe="$(sha256sum "$0" | cut -d' ' -f1) zint=$zint_version zxing-cpp=$zxing_version"
jobs=$(nproc)

say() { echo "release-deps: $*"; }

if [ -f "$prefix/recipe" ] && [ "$(cat "$prefix/recipe")" = "$recipe" ]; then
  exit 0
fi
rm -rf "$prefix"
mkdir -p "$sources"
start=$(date +%s)

# Fetches and unpacks (Debian's patches applied) a source package; false when
# the registry does not serve it.
fetch() {
  local package=$1 version=$2
  (cd "$sources" && apt-get source -q "$package=$version" >"$sources/$package.log" 2>&1) ||
    { say "cannot fetch $package $version's source: $(grep -m1 -E '^E:' "$sources/$package.log" || tail -1 "$sources/$package.log")"; return 1; }
}

flags="-O2 -fPIC -fvisibility=hidden -fvisibility-inlines-hidden -DNDEBUG"

toolchain() {
  [ "$1" = x86 ] && echo "-DCMAKE_TOOLCHAIN_FILE=/src/cmake/i386.cmake"
  return 0
}

build_zint() {
  local width=$1 tree build
  tree=$(find "$sources" -maxdepth 1 -type d -name 'zint-*' | head -1)
  build=$sources/build-zint-$width
  # zint's own CMake builds its static library beside the shared one; only the
  # static one is built and kept.
  # Flags through the environment: a CMAKE_C_FLAGS would drop the toolchain's -m32.
  CFLAGS="${flags/-fvisibility-inlines-hidden/}" cmake -S "$tree" -B "$build" -G Ninja \
    $(toolchain "$width") -DCMAKE_BUILD_TYPE=Release -DZINT_STATIC=ON -DZINT_USE_PNG=OFF \
    -DZINT_USE_QT=OFF >"$build.log" 2>&1 || { tail -20 "$build.log"; return 1; }
  cmake --build "$build" --target zint-static -j "$jobs" >>"$build.log" 2>&1 || { tail -20 "$build.log"; return 1; }
  install -D -m 644 "$build/backend/libzint-static.a" "$prefix/$width/lib/libzint-static.a"
  install -D -m 644 "$tree/backend/zint.h" "$prefix/$width/include/zint.h"
}

build_zxing() {
  local width=$1 tree build
  tree=$(find "$sources" -maxdepth 1 -type d -name 'zxing-cpp-*' | head -1)
  build=$sources/build-zxing-$width
  # As Debian builds it (C++17), so the release reads as the regular builds do;
  # NDEBUG drops the asserts host/image works around.
  CXXFLAGS="$flags" cmake -S "$tree" -B "$build" -G Ninja $(toolchain "$width") \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
    -DBUILD_READERS=ON -DBUILD_WRITERS=ON -DBUILD_EXAMPLES=OFF -DBUILD_BLACKBOX_TESTS=OFF \
    -DBUILD_UNIT_TESTS=OFF -DBUILD_PYTHON_MODULE=OFF -DCMAKE_INSTALL_PREFIX="$prefix/$width" \
    >"$build.log" 2>&1 || { tail -20 "$build.log"; return 1; }
  cmake --build "$build" -j "$jobs" >>"$build.log" 2>&1 || { tail -20 "$build.log"; return 1; }
  cmake --install "$build" >>"$build.log" 2>&1
}

# mmdebstrap leaves the root without package lists.
apt-get update -q >"$sources/apt-update.log" 2>&1 || { tail -5 "$sources/apt-update.log"; exit 1; }
fetch zint "$zint_version"
have_zxing=0
fetch zxing-cpp "$zxing_version" && have_zxing=1
for width in x64 x86; do
  say "zint $zint_version, $width"
  build_zint "$width"
  if [ $have_zxing = 1 ]; then
    say "zxing-cpp $zxing_version, $width"
    build_zxing "$width"
  fi
done
[ $have_zxing = 1 ] || say "the release command is built without reading barcodes (no zxing-cpp source)"
echo "$recipe" >"$prefix/recipe"
say "done in $(($(date +%s) - start)) s"
