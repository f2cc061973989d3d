#!/usr/bin/env bash
# Installs what is needed, builds both libraries (and the sanitizer builds)
# and runs the whole suite. Each X11 test starts its own Xvfb and openbox.
# "release" builds the release archive and packages in a Debian 11 root and
# tests them (the packages also installed into a Debian 12 root).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
presets=(x64 x86 asan tsan release)
[ -n "${WEDGESIM_PRESETS:-}" ] && read -r -a presets <<<"$WEDGESIM_PRESETS"

for preset in "${presets[@]}"; do
  [ "$preset" = release ] && continue  # built in the older root by scripts/test-release.sh
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  if [ "$preset" = x86 ]; then
    sed -n 's/^WEDGESIM_I386_RUNNER:INTERNAL=/32-bit tests run /p' build/x86/CMakeCache.txt
  fi
  cmake --build --preset "$preset" -j "$jobs"
done

status=0
if [ -f build/x64/compile_commands.json ]; then
  echo "== lint"
  bash scripts/lint.sh || status=1
fi
for preset in "${presets[@]}"; do
  echo "== test: $preset"
  if [ "$preset" = release ]; then
    # The release libraries, also under the tests of the regular builds made above.
    regular=()
    for width in x64 x86; do
      [[ " ${presets[*]} " == *" $width "* ]] && regular+=("$width=build/$width")
    done
    released=0
    bash scripts/test-release.sh "${regular[@]}" || released=$?
    # 3: no older root can be made here (no network); test-release.sh said so.
    [ $released -eq 0 ] || [ $released -eq 3 ] || status=1
    # The .deb and .rpm packages, installed as users install them.
    if [ $released -ne 3 ]; then
      packaged=0
      bash scripts/test-packages.sh || packaged=$?
      [ $packaged -eq 0 ] || [ $packaged -eq 3 ] || status=1
    fi
    continue
  fi
  # X11 tests wait on a server more than they compute: run a few more than the cores.
  if ! ctest --preset "$preset" -j $((jobs + 2)) --timeout 180; then
    status=1
  fi
done
if [[ " ${presets[*]} " == *" x64 "* && " ${presets[*]} " == *" x86 "* ]]; then
  echo "== test: a 32-bit host scanned by the 64-bit command"
  bash scripts/cross-width.sh || status=1
fi
exit $status
