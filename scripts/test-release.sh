#!/usr/bin/env bash
# Tests what we ship: builds the release archive (scripts/release.sh), unpacks
# it, verifies it, puts its libraries through the portability gate, and runs the
# contract and X11 suites against them, here with the tests of the regular
# builds and once more inside the Debian 11 root (glibc 2.31) with tests built
# there, so the libraries are proven on an older system, not only built on one.
#
# Usage: scripts/test-release.sh [x64=BUILD_DIR] [x86=BUILD_DIR]
#   each BUILD_DIR is a regular build of that width with its tests built
#   (scripts/test.sh passes build/x64 and build/x86).
# Exit status: 0 passed, 1 failed, 3 the root cannot be made here (said why).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/release-root.sh

release_root_lock
status=0
bash scripts/release.sh || status=$?
if [ $status -eq 3 ]; then
  echo "test-release: the older root could not be made here (see above): the release is not built or tested"
  exit 3
fi
[ $status -eq 0 ] || exit $status

version=$(cat build/release/x64/release-version)
name=wedgesim-$version-linux-x86
shipped=build/release/shipped
declare -A library=([x64]=x86-64/libwedgesim64.so [x86]=x86/libwedgesim32.so)

echo "== the archive as a user gets it"
rm -rf "$shipped"
mkdir -p "$shipped"
(cd dist && sha256sum --quiet -c "$name.tar.gz.sha256")
tar -xzf "dist/$name.tar.gz" -C "$shipped"
(cd "$shipped/$name" && sha256sum --quiet -c SHA256SUMS) && echo "SHA256SUMS verifies"
bash scripts/check-portability.sh "$shipped/$name/${library[x64]}" "$shipped/$name/${library[x86]}" \
  --command "$shipped/$name/x86-64/wedgesim" "$shipped/$name/x86/wedgesim" || status=1

# (The tests that make allocations fail through the test program's own
# operator new skip themselves: a library with libstdc++ linked in never calls
# it. They test the regular builds.)
suite=(-L 'contract|x11' --timeout 180 --output-on-failure)
jobs=$(nproc)

for pair in "$@"; do
  width=${pair%%=*}
  build=${pair#*=}
  tested=$PWD/$shipped/$name/${library[$width]}
  # The gate must refuse what the regular build links against this system.
  own=$build/$(basename "$tested")
  if [ -f "$own" ] && bash scripts/check-portability.sh "$own" >/dev/null; then
    echo "test-release: the gate passed $own, linked against this system's libstdc++"
    status=1
  fi
  echo "== release tests on $(ldd --version | head -1 | sed 's/.* /glibc /') (Debian $(cat /etc/debian_version)): $width"
  (cd "$build" && WEDGESIM_TEST_LIBRARY=$tested ctest "${suite[@]}" -j $((jobs + 2))) || status=1
done

release_root_run bash /src/scripts/release-build.sh test \
  "x64=/out/shipped/$name/${library[x64]}" "x86=/out/shipped/$name/${library[x86]}" \
  -- "${suite[@]}" || status=1
exit $status
