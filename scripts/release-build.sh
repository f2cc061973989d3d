#!/usr/bin/env bash
# Runs inside the release root (scripts/release-root.sh puts the source at /src
# and build/release at /out): the release build of both widths, and its tests.
#
#   release-build.sh        the library, the command and their documents (the
#                           gzipped manual page, the copyright file), in /out/x64
#                           and /out/x86 (first the command's static libraries,
#                           once: release-deps.sh)
#   release-build.sh suites also the programs of the contract and X11 suites,
#                           built but not run (scripts/test-packages.sh runs them)
#   release-build.sh test x64=LIB x86=LIB -- CTEST_ARGUMENTS...
#                           also the tests, then ctest against the libraries named
set -euo pipefail

jobs=$(nproc)
widths=(x64 x86)

# The image engine's libraries, static, made once and kept in the root.
bash /src/scripts/release-deps.sh

configure() {
  local width=$1
  local toolchain=()
  [ "$width" = x86 ] && toolchain=(-DCMAKE_TOOLCHAIN_FILE=/src/cmake/i386.cmake)
  cmake -S /src -B "/out/$width" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DWEDGESIM_RELEASE=ON -DWEDGESIM_IMAGE_PREFIX="/opt/wedgesim-image/$width" \
    -DWEDGESIM_BUILD_TESTS=ON -DWEDGESIM_BUILD_BENCH=OFF >"/out/$width.configure.log" ||
    { cat "/out/$width.configure.log"; return 1; }
}

# Builds the tests of a width: all of them, or the targets named.
build_tests() {
  local width=$1 targets=()
  shift
  [ $# -eq 0 ] || targets=(--target "$@")
  configure "$width"
  cmake --build "/out/$width" "${targets[@]}" -j "$jobs" >"/out/$width.tests-build.log" ||
    { tail -40 "/out/$width.tests-build.log"; return 1; }
}

if [ $# -eq 0 ]; then
  for width in "${widths[@]}"; do
    echo "== release build: $width"
    configure "$width"
    cmake --build "/out/$width" --target wedgesim_addin wedgesim_cli wedgesim_docs -j "$jobs" \
      >"/out/$width.build.log" || { tail -40 "/out/$width.build.log"; exit 1; }
  done
  exit 0
fi

if [ "$1" = suites ]; then
  for width in "${widths[@]}"; do
    echo "== release build of the contract and X11 suites: $width"
    build_tests "$width" wedgesim_addin contract_tests x11_tests shared_x_server || exit 1
  done
  exit 0
fi

[ "$1" = test ] || { echo "usage: release-build.sh [suites | test WIDTH=LIB... -- CTEST_ARGUMENTS...]" >&2; exit 2; }
shift
libraries=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  libraries+=("$1")
  shift
done
[ $# -gt 0 ] && shift
status=0
for pair in "${libraries[@]}"; do
  width=${pair%%=*}
  library=${pair#*=}
  echo "== release tests on $(ldd --version | head -1 | sed 's/.* /glibc /') (Debian $(cat /etc/debian_version)): $width"
  build_tests "$width" || { status=1; continue; }
  sed -n 's/^WEDGESIM_I386_RUNNER:INTERNAL=/32-bit tests run /p' "/out/$width/CMakeCache.txt"
  # CMake 3.18's ctest has no --test-dir.
  (cd "/out/$width" && WEDGESIM_TEST_LIBRARY=$library ctest "$@" -j $((jobs + 2))) || status=1
done
exit $status
